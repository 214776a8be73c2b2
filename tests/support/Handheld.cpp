#include "Handheld.h"

#include "store/StoreFile.h"

#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>

namespace kv::test {

QStringList captureOrders(const QString& handheld, int count, int lines, const QString& client, int first,
                          const QString& branch) {
    if (!QFile::exists(handheld)) createStore(handheld);
    const QString name = QUuid::createUuid().toString(QUuid::Id128);
    QStringList keys;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(handheld);
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("BEGIN"));
        for (int d = first; d < first + count; ++d) {
            const QString key = QStringLiteral("NP%1%2A").arg(branch).arg(d, 8, 10, QLatin1Char('0'));
            keys << key;
            q.prepare(QStringLiteral("INSERT INTO MV_CPTE (MV_CPTE_TSNL, MV_CPTE_IDCLIENTE, MV_CPTE_IMPORTE_S_IVA, "
                                     "MV_CPTE_IMPORTE_TOTAL) VALUES (?, ?, 10, 12.1)"));
            q.addBindValue(key);
            q.addBindValue(client);
            q.exec();
            for (int l = 1; l <= lines; ++l)
                q.exec(QStringLiteral("INSERT INTO MV_CPTE_DETALLE (MV_CPTE_DET_TSNL, MV_CPTE_DET_ITEM, "
                                      "MV_CPTE_DET_IDarticulo, MV_CPTE_DET_CANTIDAD, MV_CPTE_DET_UNIDAD) "
                                      "VALUES ('%1', %2, 'ART', 1, 'UN')")
                           .arg(key)
                           .arg(l));
        }
        q.exec(QStringLiteral("COMMIT"));
    }
    QSqlDatabase::removeDatabase(name);
    return keys;
}

ToolRun kvctlWithSync(const TempHome& home, const QStringList& args, const QString& handheld,
                      const std::function<void()>& beforePress) {
    QProcess kvctl;
    kvctl.start(programPath(QStringLiteral("kvctl")), QStringList{QStringLiteral("--home"), home.path()} + args);
    kvctl.closeWriteChannel();
    QByteArray seen;
    ToolRun r;
    if (waitForOutput(kvctl, seen, "Esperando Conex")) {
        if (beforePress) beforePress();
        runTool(QStringLiteral("kvhandheld"), home, {QStringLiteral("hotsync"), handheld});
    }
    r.crashed = !kvctl.waitForFinished(180000) || kvctl.exitStatus() != QProcess::NormalExit;
    if (kvctl.state() != QProcess::NotRunning) {
        kvctl.kill();
        kvctl.waitForFinished();
    }
    r.exitCode = r.crashed ? -1 : kvctl.exitCode();
    r.out = QString::fromUtf8(seen + kvctl.readAllStandardOutput());
    r.err = QString::fromUtf8(kvctl.readAllStandardError());
    return r;
}

} // namespace kv::test
