#include "cradle/net/ExchangeReceipt.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace kv::cradle {

namespace {

QStringList texts(const QJsonValue& value) {
    QStringList list;
    for (const QJsonValue& v : value.toArray())
        if (v.isString()) list << v.toString();
    return list;
}

qint64 count(const QJsonValue& value) {
    const double d = value.toDouble(0);
    return d >= 0 && d < 9.0e15 ? qint64(d) : 0;
}

} // namespace

ExchangeReceipt ExchangeReceipt::fromJson(const QByteArray& text, bool* ok) {
    ExchangeReceipt r;
    const QJsonDocument doc = QJsonDocument::fromJson(text);
    *ok = doc.isObject();
    const QJsonObject o = doc.object();
    r.id = o.value(QStringLiteral("exchange")).toString();
    r.device = count(o.value(QStringLiteral("device")));
    r.imported = texts(o.value(QStringLiteral("imported")));
    r.existing = texts(o.value(QStringLiteral("existing")));
    for (const QJsonValue& v : o.value(QStringLiteral("refused")).toArray()) {
        const QJsonObject d = v.toObject();
        if (d.value(QStringLiteral("key")).isString())
            r.refused.append({d.value(QStringLiteral("key")).toString(), d.value(QStringLiteral("reason")).toString()});
    }
    for (const QJsonValue& v : o.value(QStringLiteral("tables")).toArray()) {
        const QJsonObject t = v.toObject();
        if (t.value(QStringLiteral("table")).isString())
            r.tables.append({t.value(QStringLiteral("table")).toString(), count(t.value(QStringLiteral("rows")))});
    }
    return r;
}

QJsonObject ExchangeReceipt::toJson() const {
    QJsonArray refusedArray, tableArray;
    for (const Refused& d : refused)
        refusedArray.append(QJsonObject{{QStringLiteral("key"), d.key}, {QStringLiteral("reason"), d.reason}});
    for (const Table& t : tables)
        tableArray.append(QJsonObject{{QStringLiteral("table"), t.table}, {QStringLiteral("rows"), t.rows}});
    return QJsonObject{{QStringLiteral("exchange"), id},
                       {QStringLiteral("device"), device},
                       {QStringLiteral("sent"), documents},
                       {QStringLiteral("imported"), QJsonArray::fromStringList(imported)},
                       {QStringLiteral("existing"), QJsonArray::fromStringList(existing)},
                       {QStringLiteral("refused"), refusedArray},
                       {QStringLiteral("tables"), tableArray},
                       {QStringLiteral("bytesSent"), bytesSent},
                       {QStringLiteral("bytesReceived"), bytesReceived}};
}

} // namespace kv::cradle
