#include "cradle/ExchangeReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace kv {

namespace {

QJsonArray refusedJson(const ExchangeReport& r) {
    QJsonArray a;
    for (const history::RefusedDocument& d : r.refused)
        a.append(QJsonObject{{QStringLiteral("key"), d.key}, {QStringLiteral("reason"), d.reason}});
    return a;
}

QJsonArray tablesJson(const ExchangeReport& r) {
    QJsonArray a;
    for (const history::TableRows& t : r.tables)
        a.append(QJsonObject{{QStringLiteral("table"), t.table},
                             {QStringLiteral("rows"), double(t.rows)},
                             {QStringLiteral("failed"), t.failed}});
    return a;
}

QStringList texts(const QJsonValue& v) {
    QStringList list;
    for (const QJsonValue& item : v.toArray())
        list << item.toString();
    return list;
}

} // namespace

QByteArray reportFile(const ExchangeReport& r) {
    const QJsonObject o{{QStringLiteral("device"), r.device},
                        {QStringLiteral("startedAt"), r.startedAt.toString(Qt::ISODateWithMs)},
                        {QStringLiteral("stage"), int(r.stage)},
                        {QStringLiteral("errorNumber"), double(r.errorNumber)},
                        {QStringLiteral("errorText"), r.errorText},
                        {QStringLiteral("imported"), QJsonArray::fromStringList(r.imported)},
                        {QStringLiteral("existing"), QJsonArray::fromStringList(r.existing)},
                        {QStringLiteral("refused"), refusedJson(r)},
                        {QStringLiteral("tables"), tablesJson(r)},
                        {QStringLiteral("failedSteps"), QJsonArray::fromStringList(r.failedSteps)},
                        {QStringLiteral("planilla"), r.planilla},
                        {QStringLiteral("importBegan"), r.importBegan}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<ExchangeReport> reportFromFile(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    const int stage = o.value(QStringLiteral("stage")).toInt(-1);
    if (stage < int(ExchangeReport::Stage::Answered) || stage > int(ExchangeReport::Stage::Answer)) return std::nullopt;
    ExchangeReport r;
    r.device = o.value(QStringLiteral("device")).toInt();
    r.startedAt = QDateTime::fromString(o.value(QStringLiteral("startedAt")).toString(), Qt::ISODateWithMs);
    r.stage = ExchangeReport::Stage(stage);
    r.errorNumber = long(o.value(QStringLiteral("errorNumber")).toDouble());
    r.errorText = o.value(QStringLiteral("errorText")).toString();
    r.imported = texts(o.value(QStringLiteral("imported")));
    r.existing = texts(o.value(QStringLiteral("existing")));
    for (const QJsonValue& v : o.value(QStringLiteral("refused")).toArray())
        r.refused.append({v[QStringLiteral("key")].toString(), v[QStringLiteral("reason")].toString()});
    for (const QJsonValue& v : o.value(QStringLiteral("tables")).toArray())
        r.tables.append({v[QStringLiteral("table")].toString(), qint64(v[QStringLiteral("rows")].toDouble()),
                         v[QStringLiteral("failed")].toBool()});
    r.failedSteps = texts(o.value(QStringLiteral("failedSteps")));
    r.planilla = o.value(QStringLiteral("planilla")).toString();
    r.importBegan = o.value(QStringLiteral("importBegan")).toBool();
    return r;
}

QByteArray reportForHandheld(const ExchangeReport& r, const QByteArray& id) {
    QJsonArray tables;
    for (const history::TableRows& t : r.tables)
        tables.append(QJsonObject{{QStringLiteral("table"), t.table}, {QStringLiteral("rows"), double(t.rows)}});
    const QJsonObject o{{QStringLiteral("exchange"), QString::fromLatin1(id)},
                        {QStringLiteral("device"), r.device},
                        {QStringLiteral("imported"), QJsonArray::fromStringList(r.imported)},
                        {QStringLiteral("existing"), QJsonArray::fromStringList(r.existing)},
                        {QStringLiteral("refused"), refusedJson(r)},
                        {QStringLiteral("tables"), tables}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace kv
