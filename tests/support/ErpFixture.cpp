#include "ErpFixture.h"

#include "DemoErp.h"
#include "app/Cfg.h"
#include "app/SettingsFile.h"
#include "app/Startup.h"
#include "data/DB_Dll.h"
#include "settings/DeviceSettings.h"
#include "store/StoreFile.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <gtest/gtest.h>

namespace kv::test {

namespace {
QStringList rowsOf(QSqlQuery& q) {
    QStringList rows;
    while (q.next()) {
        QStringList values;
        for (int i = 0; i < q.record().count(); ++i)
            values << (q.value(i).isNull() ? QStringLiteral("<null>") : q.value(i).toString());
        rows << values.join(QLatin1Char('|'));
    }
    return rows;
}

// A plain Qt SQL connection, independent of the program's objects, for setting up and checking.
QSqlDatabase plain(const QString& name, Engine engine, const QString& path, const TempPgDatabase* pg) {
    QSqlDatabase db = QSqlDatabase::database(name, false);
    if (db.isValid()) return db;
    if (engine == Engine::PostgreSql) {
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(pg->host());
        db.setPort(pg->port());
        db.setUserName(pg->user());
        db.setDatabaseName(pg->name());
    } else {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
    }
    db.open();
    return db;
}
} // namespace

std::string engineTestName(Engine e) {
    return engineName(e).toStdString();
}

ErpFixture::ErpFixture(Engine engine, Sizes sizes) {
    resetProgramDatabases();
    program() = ProgramValues();
    configTableName() = QStringLiteral("ta_configuracion");
    erp::Options options;
    options.clients = sizes.clients;
    options.articles = sizes.articles;
    options.vendors = sizes.vendors;
    options.documents = sizes.documents;
    DB_Dll& e = ErpDb();
    if (engine == Engine::PostgreSql) {
        m_pg = std::make_unique<TempPgDatabase>();
        if (!m_pg->available()) return;
        erp::createDemoErp(erp::Target::postgres(m_pg->connInfo()), options);
        e.gMotor = Engine::PostgreSql;
        e.gServidor = QStringLiteral("%1,%2").arg(m_pg->host()).arg(m_pg->port());
        e.gDBName = m_pg->name();
        e.gUsuario = m_pg->user();
    } else {
        m_erpPath = home.file(QStringLiteral("erp.db"));
        erp::createDemoErp(erp::Target::sqlite(m_erpPath), options);
        e.gMotor = Engine::Sqlite;
        e.gDBName = m_erpPath;
        e.gUsuario = QStringLiteral("admin");
    }
    e.OpenServerADODB(false, 3, QString(), true);
    storePath = home.file(QStringLiteral("kvpalmsync.mdb"));
    createStore(storePath);
    DB_Dll& local = LocalDb();
    local.gDBName = storePath;
    local.gProveedor = DB_Dll::pJETOLEDB40();
    local.OpenLocalADODB();
    m_available = e.gCnn.state() && local.gCnn.state();
}

ErpFixture::~ErpFixture() {
    resetProgramDatabases();
    for (const char* name : {"fixture_erp", "fixture_store"}) {
        QSqlDatabase::database(QLatin1String(name), false).close();
        QSqlDatabase::removeDatabase(QLatin1String(name));
    }
}

QString ErpFixture::launch() const {
    if (!m_pg) return QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;@Usuario=admin;").arg(m_erpPath);
    return QStringLiteral("@Motor=postgresql;@Server=%1,%2;@DbName=%3;@Usuario=%4;@Password=;")
        .arg(m_pg->host())
        .arg(m_pg->port())
        .arg(m_pg->name(), m_pg->user());
}

QString ErpFixture::connInfo() const {
    return m_pg ? m_pg->connInfo() : QString();
}

void ErpFixture::erpExec(const QString& sql) {
    QSqlQuery q(plain(QStringLiteral("fixture_erp"), m_pg ? Engine::PostgreSql : Engine::Sqlite, m_erpPath, m_pg.get()));
    EXPECT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
}

void ErpFixture::storeExec(const QString& sql, const QVariantList& values) {
    QSqlQuery q(plain(QStringLiteral("fixture_store"), Engine::Sqlite, storePath, nullptr));
    q.prepare(sql);
    for (const QVariant& v : values) q.addBindValue(v);
    EXPECT_TRUE(q.exec()) << sql.toStdString() << ": " << q.lastError().text().toStdString();
}

QStringList ErpFixture::erpRows(const QString& sql) {
    QSqlQuery q(plain(QStringLiteral("fixture_erp"), m_pg ? Engine::PostgreSql : Engine::Sqlite, m_erpPath, m_pg.get()));
    EXPECT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
    return rowsOf(q);
}

QStringList ErpFixture::storeRows(const QString& sql) {
    QSqlQuery q(plain(QStringLiteral("fixture_store"), Engine::Sqlite, storePath, nullptr));
    EXPECT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
    return rowsOf(q);
}

bool makePrivateErp(PrivatePgServer& server, int clients, int articles) {
    if (!server.available() || !server.createDatabase(QStringLiteral("erp"))) return false;
    erp::Options o;
    o.clients = clients;
    o.articles = articles;
    o.documents = 0;
    erp::createDemoErp(erp::Target::postgres(server.connInfo(QStringLiteral("erp"))), o);
    return true;
}

void makeDemoSite(const QString& erpPath, const QString& store) {
    erp::Options o;
    o.clients = 40;
    o.articles = 20;
    o.documents = 0;
    erp::createDemoErp(erp::Target::sqlite(erpPath), o);
    createStore(store);
    GrabarIni(settings::File, settings::General, QStringLiteral("BaseDeDatos"), store);
    settings::writeDevice(1, settings::Reparto, QStringLiteral("2"));
}

} // namespace kv::test
