#include "ErpFile.h"

#include "data/DB_Dll.h"

#include <gtest/gtest.h>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace kv::test {

void makeSqliteDatabase(const QString& path, const QStringList& statements) {
    const QString name = QStringLiteral("kvtest_setup");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        EXPECT_TRUE(db.open()) << path.toStdString();
        QSqlQuery q(db);
        for (const QString& s : statements)
            if (!q.exec(s)) {
                ADD_FAILURE() << s.toStdString() << ": " << q.lastError().text().toStdString();
                break;
            }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void connectErpFile(const QString& path) {
    DB_Dll& erp = ErpDb();
    erp.gMotor = Engine::Sqlite;
    erp.gDBName = path;
    erp.OpenServerADODB(false, 3, QString(), false);
    EXPECT_EQ(erp.gCnn.state(), 1) << "the ERP file did not open: " << path.toStdString();
}

} // namespace kv::test
