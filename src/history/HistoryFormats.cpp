#include "history/HistoryFormats.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace kv::history {

namespace {

QJsonValue orNull(const std::optional<qint32>& n) {
    return n ? QJsonValue(*n) : QJsonValue(QJsonValue::Null);
}

QString isoTime(const QDateTime& t) {
    return t.isValid() ? t.toString(Qt::ISODate) : QString();
}

QJsonObject jsonRecord(const Record& r) {
    QJsonArray tables;
    for (const TableRows& t : r.tables)
        tables.append(QJsonObject{{QStringLiteral("table"), t.table},
                                  {QStringLiteral("rows"), t.rows},
                                  {QStringLiteral("failed"), t.failed}});
    QJsonArray refused;
    for (const RefusedDocument& d : r.refused)
        refused.append(QJsonObject{{QStringLiteral("key"), d.key}, {QStringLiteral("reason"), d.reason}});
    return QJsonObject{
        {QStringLiteral("id"), r.id},
        {QStringLiteral("started"), isoTime(r.startedAt)},
        {QStringLiteral("ended"), isoTime(r.endedAt)},
        {QStringLiteral("device"), r.device},
        {QStringLiteral("deviceName"), r.deviceName},
        {QStringLiteral("direction"), directionWord(r.direction)},
        {QStringLiteral("operator"), r.operatorName},
        {QStringLiteral("outcome"), outcomeWord(r.outcome)},
        {QStringLiteral("failedSteps"), QJsonArray::fromStringList(r.failedSteps)},
        {QStringLiteral("detail"), r.detail},
        {QStringLiteral("tables"), tables},
        {QStringLiteral("imported"), orNull(r.imported)},
        {QStringLiteral("skipped"), orNull(r.skipped)},
        {QStringLiteral("importedKeys"), QJsonArray::fromStringList(r.importedKeys)},
        {QStringLiteral("skippedKeys"), QJsonArray::fromStringList(r.skippedKeys)},
        {QStringLiteral("controlSheet"), r.planilla},
        {QStringLiteral("refused"), refused},
    };
}

// A value on one TSV line: the separators a reader splits on cannot occur inside it.
QString cell(QString text) {
    for (const QChar c : {QLatin1Char('\t'), QLatin1Char('\r'), QLatin1Char('\n')}) text.replace(c, QLatin1Char(' '));
    return text;
}

QString number(const std::optional<qint32>& n) {
    return n ? QString::number(*n) : QString();
}

} // namespace

QByteArray historyJson(const QList<Record>& records) {
    QJsonArray all;
    for (const Record& r : records) all.append(jsonRecord(r));
    return QJsonDocument(all).toJson(QJsonDocument::Indented);
}

QString historyTsv(const QList<Record>& records) {
    QString text = QStringLiteral(
        "started\tended\tdevice\tdevice_name\tdirection\toperator\toutcome\tfailed_steps\tdetail\t"
        "rows\timported\tskipped\timported_keys\tskipped_keys\tcontrol_sheet\trefused\n");
    for (const Record& r : records) {
        QStringList rows;
        for (const TableRows& t : r.tables)
            rows << t.table + QLatin1Char('=') + (t.failed ? QStringLiteral("failed") : QString::number(t.rows));
        QStringList refused;
        for (const RefusedDocument& d : r.refused) refused << d.key + QLatin1Char('=') + d.reason;
        const QStringList cells{isoTime(r.startedAt), isoTime(r.endedAt),  QString::number(r.device),
                                r.deviceName,         directionWord(r.direction), r.operatorName,
                                outcomeWord(r.outcome), r.failedSteps.join(QLatin1Char(',')), r.detail,
                                rows.join(QLatin1Char(',')), number(r.imported), number(r.skipped),
                                r.importedKeys.join(QLatin1Char(',')), r.skippedKeys.join(QLatin1Char(',')),
                                r.planilla, refused.join(QLatin1Char(','))};
        QStringList clean;
        for (const QString& c : cells) clean << cell(c);
        text += clean.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}

} // namespace kv::history
