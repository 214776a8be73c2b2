#include "ConsoleErp.h"

#include "data/DB_Dll.h"

#include <QSqlDatabase>
#include <QSqlQuery>

namespace kv::test {

bool openConsoleErp(const TempHome& home, int devices) {
    const QString erp = home.file(QStringLiteral("erp.db"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
        db.setDatabaseName(erp);
        if (!db.open()) return false;
        QSqlQuery q(db);
        q.exec(QStringLiteral("CREATE TABLE TA_CONFIGURACION (CLAVE TEXT, VALOR TEXT, VALORAUX TEXT)"));
        q.exec(QStringLiteral("INSERT INTO TA_CONFIGURACION VALUES ('GM_CANT_DISPOSITIVOS', '%1', NULL)").arg(devices));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("setup"));
    resetProgramDatabases();
    ErpDb().gMotor = Engine::Sqlite;
    ErpDb().gDBName = erp;
    ErpDb().OpenServerADODB(false, 3, QString(), false);
    return ErpDb().gOpenFlag;
}

} // namespace kv::test
