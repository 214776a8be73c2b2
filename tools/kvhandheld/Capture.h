#pragma once

#include <QDate>
#include <QList>
#include <QString>

namespace kv::handheld {

// Error numbers of a capture that is refused before anything is written.
namespace captureerr {
constexpr long NoClients = 3021;     // no send has reached the handheld yet
constexpr long NothingToSell = 3022; // no priced article, or no task for a work order
constexpr long NumbersExhausted = 6; // the eight digits of a document number are used up
} // namespace captureerr

// Document types a person records on the handheld.
inline const QString kOrder = QStringLiteral("NP");
inline const QString kDeliveryNote = QStringLiteral("RM");
inline const QString kQuote = QStringLiteral("PR");
inline const QString kWorkOrder = QStringLiteral("OT");
// The branch of a handheld made without a device number, and the document letter: the number
// part of its keys (each device's own branch: cradle::branchOf).
inline const QString kBranch = QStringLiteral("0001");
inline const QString kLetter = QStringLiteral("A");

struct CaptureRequest {
    int orders = 0;
    int deliveries = 0;
    int quotes = 0;
    int workOrders = 0;
    quint32 seed = 1;
};

struct CapturedDocument {
    QString key; // MV_CPTE_TSNL
    QString client;
    int items = 0;
    double total = 0; // MV_CPTE_IMPORTE_TOTAL
};

// "NP" + "0001" + "00000012" + "A".
QString documentKey(const QString& type, qint64 number, const QString& branch = kBranch);

// Records the documents in the handheld file, dated `today`, in one transaction: orders, then
// delivery notes, quotes and work orders, each type numbered on from the highest number the
// handheld already holds for it. The same seed over the same handheld records the same documents.
// Throws RunTimeError, writing nothing, when the handheld has no clients, or no priced articles
// or tasks for the types asked for.
QList<CapturedDocument> capture(const QString& handheldPath, const CaptureRequest& request,
                                const QDate& today);

} // namespace kv::handheld
