// bench console: the time from start to a shown console with 200 devices (start-up on an
// SQLite demo ERP, the tiles built and laid out, the window shown and painted). Prints the
// figures and, as its last line, seconds=S.
#include "DemoErp.h"
#include "app/Operator.h"
#include "app/SettingsFile.h"
#include "app/Startup.h"
#include "app/gui/WindowOperator.h"
#include "console/gui/FrmControl.h"
#include "data/DB_Dll.h"
#include "settings/DeviceSettings.h"
#include "store/StoreFile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

using namespace kv;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int devices = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 200;
    QTemporaryDir dir;
    qputenv("KVCONTROL_HOME", dir.path().toLocal8Bit());
    const QString erp = dir.filePath(QStringLiteral("erp.db"));
    erp::Options o;
    o.clients = 50;
    erp::createDemoErp(erp::Target::sqlite(erp), o);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
        db.setDatabaseName(erp);
        db.open();
        QSqlQuery(db).exec(
            QStringLiteral("UPDATE ta_configuracion SET VALOR = '%1' WHERE CLAVE = 'GM_CANT_DISPOSITIVOS'").arg(devices));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("setup"));
    createStore(dir.filePath(QStringLiteral("kvpalmsync.mdb")));
    for (int n = 1; n <= devices; ++n)
        settings::writeDevice(n, settings::Nombre, QStringLiteral("Ruta %1").arg(n));

    QTextStream out(stdout);
    QElapsedTimer t;
    t.start();
    WindowOperator person;
    setOperator(&person);
    if (!IniciarPrograma(QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;@Usuario=admin;").arg(erp))) return 1;
    const double startup = t.nsecsElapsed() / 1e9;
    FrmControl console;
    console.load();
    const double loaded = t.nsecsElapsed() / 1e9;
    console.show();
    console.repaint();
    QApplication::processEvents();
    const double shown = t.nsecsElapsed() / 1e9;
    out << "devices: " << console.tileCount() << Qt::endl;
    out << "start-up (ERP, store, lookup map): " << QString::number(startup, 'f', 3) << " s" << Qt::endl;
    out << "tiles built and laid out:          " << QString::number(loaded - startup, 'f', 3) << " s" << Qt::endl;
    out << "shown and painted:                 " << QString::number(shown - loaded, 'f', 3) << " s" << Qt::endl;
    out << "seconds=" << QString::number(shown, 'f', 3) << Qt::endl;
    setOperator(nullptr);
    return 0;
}
