#include "StoreTestSupport.h"

#include "store/StoreFile.h"
#include "store/StoreSchema.h"

#include <QSqlQuery>
#include <QStringList>
#include <QUuid>

namespace kv::test {

StoreFile::StoreFile()
    : m_path(m_dir.filePath(QStringLiteral("kvpalmsync.mdb"))),
      m_connection(QStringLiteral("store_") + QUuid::createUuid().toString(QUuid::Id128)) {
    createStore(m_path);
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    m_db.setDatabaseName(m_path);
    m_db.open();
}

StoreFile::~StoreFile() {
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
}

QString StoreFile::insert(const QString& table, const QVariantMap& values) {
    QStringList names, marks;
    for (auto it = values.begin(); it != values.end(); ++it) {
        names << quoteIdentifier(it.key());
        marks << QStringLiteral("?");
    }
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(quoteIdentifier(table), names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
    for (const QVariant& v : values)
        q.addBindValue(v);
    return q.exec() ? QString() : q.lastError().databaseText();
}

QVariant StoreFile::value(const QString& sql) {
    QSqlQuery q(m_db);
    if (!q.exec(sql) || !q.next()) return QVariant();
    return q.value(0);
}

} // namespace kv::test
