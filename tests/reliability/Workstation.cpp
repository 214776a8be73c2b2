#include "Workstation.h"

#include "DemoErp.h"
#include "export/ExportTasks.h"
#include "settings/DeviceSettings.h"
#include "store/StoreFile.h"

#include <gtest/gtest.h>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

namespace kv::test {

namespace {

// Rows of a query on an SQLite file, each row its values joined by "|".
QStringList sqliteRows(const QString& path, const QString& sql) {
    const QString name = QStringLiteral("workstation_") + QUuid::createUuid().toString(QUuid::Id128);
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        EXPECT_TRUE(db.open()) << path.toStdString();
        QSqlQuery q(db);
        EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
        while (q.next()) {
            QStringList values;
            for (int i = 0; i < q.record().count(); ++i)
                values << (q.value(i).isNull() ? QStringLiteral("<null>") : q.value(i).toString());
            rows << values.join(QLatin1Char('|'));
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

QStringList masterTableNames() {
    QStringList names;
    for (const ExportStep& s : exportSteps())
        if (!s.destination.isEmpty()) names << s.destination;
    return names;
}

} // namespace

Workstation::Workstation(Sizes sizes) {
    erpPath = home.file(QStringLiteral("erp.db"));
    erp::Options o;
    o.clients = sizes.clients;
    o.articles = sizes.articles;
    o.vendors = sizes.vendors;
    o.documents = 0;
    erp::createDemoErp(erp::Target::sqlite(erpPath), o);
    storePath = home.file(QStringLiteral("kvpalmsync.mdb"));
    createStore(storePath);
    handheldPath = home.file(QStringLiteral("handheld.db"));
    createStore(handheldPath);
}

QString Workstation::launch() const {
    return QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;@Usuario=admin;").arg(erpPath);
}

QStringList Workstation::kvctlArguments(const QStringList& command) const {
    return QStringList{QStringLiteral("--home"), home.path(), QStringLiteral("--launch"), launch()} + command;
}

ToolRun Workstation::kvctl(const QStringList& command, int timeoutMs) const {
    return runTool(QStringLiteral("kvctl"), kvctlArguments(command), timeoutMs);
}

void Workstation::setDevice(int device, const QString& key, const QString& value) const {
    settings::writeDevice(device, key, value);
}

QStringList Workstation::vendors() const {
    return erpRows(QStringLiteral("SELECT TRIM(IDVENDEDOR) FROM V_TA_VENDEDORES ORDER BY IDVENDEDOR"));
}

QStringList Workstation::erpRows(const QString& sql) const {
    return sqliteRows(erpPath, sql);
}

QMap<QString, QStringList> masterTables(const QString& storePath) {
    QMap<QString, QStringList> tables;
    for (const QString& t : masterTableNames()) {
        QStringList rows = sqliteRows(storePath, QStringLiteral("SELECT * FROM %1").arg(t));
        rows.sort();
        tables.insert(t, rows);
    }
    return tables;
}

QMap<QString, int> masterCounts(const QString& storePath) {
    QMap<QString, int> counts;
    for (const QString& t : masterTableNames())
        counts.insert(
            t, sqliteRows(storePath, QStringLiteral("SELECT COUNT(*) FROM %1").arg(t)).value(0).toInt());
    return counts;
}

QString integrity(const QString& path) {
    return sqliteRows(path, QStringLiteral("PRAGMA integrity_check")).join(QLatin1Char('\n'));
}

} // namespace kv::test
