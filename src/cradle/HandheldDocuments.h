#pragma once

#include <chrono>
#include <QMap>
#include <QString>
#include <QStringList>

namespace kv {

// The handheld file's side of an exchange. The file is the exchange's own copy of what the
// handheld sent, and untrusted: it is opened, limited and refused as a sync's handheld is
// (RunTimeError with the sync's numbers, the file left as it was).

// Makes a store at `storePath` with the store's tables and copies the handheld's document tables
// into it. The handheld must be device `device`'s (one that carries no number is taken as it).
void takeDocuments(const QString& handheldPath, const QString& storePath, qint32 device,
                   std::chrono::seconds workBudget);

// The numbers the ERP holds at a device's branch, by document type.
struct BranchNumbers {
    QString branch;
    QMap<QString, qint64> last;
};

// Makes the handheld's answer in its own file, in one transaction: every table the store fills
// becomes the store's, the document tables lose the documents whose keys are in `inErp` (those
// the ERP holds now), keeping every other one, and the handheld's last numbers are raised to the
// ERP's.
void answerHandheld(const QString& handheldPath, const QString& storePath, const QStringList& inErp,
                    const BranchNumbers& numbers, std::chrono::seconds workBudget);

} // namespace kv
