#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace kv::cradle {

// The handheld's receipt of one confirmed exchange: what it did, as the cradle reports it at
// its confirmation, with the client's own counts beside it.
struct ExchangeReceipt {
    struct Refused {
        QString key;
        QString reason;
    };
    struct Table {
        QString table;
        qint64 rows = 0;
    };
    QString id;
    qint64 device = 0;
    qint64 documents = 0; // the handheld's documents, as sent
    qint64 bytesSent = 0;
    qint64 bytesReceived = 0;
    QStringList imported; // written into the ERP by this exchange
    QStringList existing; // found in the ERP already
    QList<Refused> refused;
    QList<Table> tables; // master rows the handheld got

    // The cradle's report, read as a stranger's text: what is not of the expected shape is left
    // out, so a malformed report can only come out emptier, never wrong in type. Empty with
    // `ok` false when the text is no JSON object at all.
    static ExchangeReceipt fromJson(const QByteArray& text, bool* ok);
    QJsonObject toJson() const;
};

} // namespace kv::cradle
