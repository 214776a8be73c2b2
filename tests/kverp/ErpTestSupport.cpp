#include "ErpTestSupport.h"

#include "data/Recordset.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <QCryptographicHash>
#include <QDateTime>

namespace kv::test {

DemoErpDb::DemoErpDb(Engine engine, const erp::Options& options) {
    if (engine == Engine::PostgreSql) {
        m_pg = std::make_unique<TempPgDatabase>();
        if (!m_pg->available()) return;
        m_target = erp::Target::postgres(m_pg->connInfo());
    } else {
        m_target = erp::Target::sqlite(m_dir.filePath(QStringLiteral("erp.db")));
    }
    m_summary = erp::createDemoErp(m_target, options);
    erp::openErp(m_connection, m_target);
    m_available = true;
}

namespace {
// Dropped after the last test, while the application and the server are still there.
class SharedErps : public ::testing::Environment {
public:
    void TearDown() override { erps.clear(); }
    std::map<Engine, std::unique_ptr<DemoErpDb>> erps;
};
SharedErps* const shared = static_cast<SharedErps*>(::testing::AddGlobalTestEnvironment(new SharedErps));
} // namespace

DemoErpDb* sharedErp(Engine engine) {
    auto& slot = shared->erps[engine];
    if (!slot) slot = std::make_unique<DemoErpDb>(engine, erp::Options{});
    return slot->available() ? slot.get() : nullptr;
}

QList<QVariantList> rowsOf(Connection& c, const QString& sql) {
    Recordset rs;
    rs.open(sql, c);
    QList<QVariantList> rows;
    while (!rs.eof()) {
        QVariantList row;
        for (int i = 0; i < rs.fields().count(); ++i)
            row << rs[i].value();
        rows << row;
        rs.moveNext();
    }
    return rows;
}

QVariant scalar(Connection& c, const QString& sql) {
    const auto rows = rowsOf(c, sql);
    return rows.isEmpty() || rows.first().isEmpty() ? QVariant() : rows.first().first();
}

namespace {
QString neutral(const QVariant& v, erp::ColumnType type) {
    if (isNull(v)) return QStringLiteral("<null>");
    switch (type) {
    case erp::ColumnType::Text:
    case erp::ColumnType::Memo:
    case erp::ColumnType::Binary:
        return v.toString();
    case erp::ColumnType::Code: {
        QString s = v.toString();
        while (s.endsWith(QLatin1Char(' ')))
            s.chop(1);
        return s;
    }
    case erp::ColumnType::DateTime:
        return v.typeId() == QMetaType::QDateTime
                   ? v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                   : v.toString();
    default:
        return QString::number(v.toDouble(), 'f', 4);
    }
}
} // namespace

QMap<QString, QByteArray> fingerprint(Connection& c) {
    QMap<QString, QByteArray> prints;
    for (const erp::ErpObject& o : erp::erpObjects()) {
        if (o.isView()) continue;
        QStringList lines;
        for (const QVariantList& row : rowsOf(c, QStringLiteral("SELECT * FROM ") + o.name)) {
            QStringList cells;
            for (int i = 0; i < row.size(); ++i)
                cells << neutral(row.at(i), o.columns.at(i).type);
            lines << cells.join(QLatin1Char('|'));
        }
        std::sort(lines.begin(), lines.end());
        prints.insert(o.name, QCryptographicHash::hash(lines.join(QLatin1Char('\n')).toUtf8(),
                                                       QCryptographicHash::Sha1));
    }
    return prints;
}

} // namespace kv::test
