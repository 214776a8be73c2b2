#pragma once

#include "history/HistoryFile.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace kv {

// What one handheld's exchange did, as its worker process leaves it for the cradle: the documents
// it brought into the ERP, the ones it found there already and the ones the ERP refused, the rows
// the handheld got, and, when it did not get as far as an answer, at which stage it stopped and why.
struct ExchangeReport {
    enum class Stage {
        Answered, // the handheld's answer is ready
        File,     // the handheld's file was refused: nothing was read into the ERP
        Erp,      // the ERP failed (no connection, lost, its import lock not got in time)
        Export,   // an export step failed
        Answer,   // the answer could not be made
    };

    qint32 device = 0;
    QDateTime startedAt;
    Stage stage = Stage::Answered;
    long errorNumber = 0; // the failure that stopped it (Stage other than Answered)
    QString errorText;
    QStringList imported; // written into the ERP by this exchange
    QStringList existing; // found in the ERP already
    QList<history::RefusedDocument> refused;
    QList<history::TableRows> tables; // master rows the handheld got, per export step
    QStringList failedSteps;
    QString planilla;     // the control sheet of the import, when one was drawn
    bool importBegan = false;

    bool operator==(const ExchangeReport&) const = default;
};

// The report as the worker writes it and the cradle reads it back: every field.
QByteArray reportFile(const ExchangeReport& r);
std::optional<ExchangeReport> reportFromFile(const QByteArray& json);

// What the handheld is told once it confirms: the documents and rows, nothing of the server.
QByteArray reportForHandheld(const ExchangeReport& r, const QByteArray& id);

} // namespace kv
