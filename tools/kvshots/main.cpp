// kvshots: opens the console's windows on a demo and saves a picture of each, as the operator
// sees them under the window manager, decorations included: the whole screen as the console
// first opens (nothing resized), the console with a tile selected, the device parameters, a
// client lookup, the step list after an export, and the status window while it waits for a sync.
#include "app/AppHome.h"
#include "app/Startup.h"
#include "app/gui/StatusDialog.h"
#include "app/gui/WindowOperator.h"
#include "console/ExportFilters.h"
#include "console/gui/DeviceTile.h"
#include "console/gui/FrmControl.h"
#include "data/DB_Dll.h"
#include "export/ExportRunner.h"
#include "lookup/Lib_ClsCons3.h"
#include "lookup/LookupSession.h"
#include "lookup/gui/Lib_FrmCons3.h"
#include "progress/gui/FrmStatus.h"
#include "settings/gui/frmParam.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QScreen>
#include <QTextStream>
#include <QThread>
#include <QToolButton>

using namespace kv;

namespace {

void settle() {
    for (int i = 0; i < 10; ++i) {
        QApplication::processEvents();
        QThread::msleep(20);
    }
}

// Waits until the window manager has framed the window (a few seconds at most).
void framed(QWidget* w) {
    QElapsedTimer t;
    t.start();
    while (w->frameGeometry() == w->geometry() && t.elapsed() < 5000) settle();
    settle();
}

// The screen's pixels: the window with the frame the window manager drew, or the whole screen.
bool save(QWidget* w, const QString& dir, const QString& name, bool wholeScreen = false) {
    QWidget* window = w->window();
    framed(window);
    QScreen* screen = window->screen();
    const QRect area = wholeScreen ? screen->geometry() : window->frameGeometry();
    const QString path = QDir(dir).filePath(name);
    const bool ok = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(path);
    QTextStream(stdout) << (ok ? "saved " : "could not save ") << path << '\n';
    return ok;
}

template <class T>
T* shown() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) return t;
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString out = QStringLiteral("docs/screenshots");
    QString launch;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--home") && i + 1 < args.size()) AppHome::set(args[++i]);
        else if (args[i] == QLatin1String("--out") && i + 1 < args.size()) out = args[++i];
        else if (args[i] == QLatin1String("--launch") && i + 1 < args.size()) launch = args[++i];
        else if (args[i] == QLatin1String("--help")) {
            QTextStream(stdout) << "Usage: kvshots --home DIR --launch \"LAUNCH STRING\" [--out DIR]\n"
                                   "Saves PNG pictures of the console's windows on the given demo.\n";
            return 0;
        }
    }
    QDir().mkpath(out);
    WindowOperator person;
    setOperator(&person);
    if (!IniciarPrograma(launch)) {
        QTextStream(stderr) << "kvshots: no ERP connection (check --launch)\n";
        return 1;
    }
    bool ok = true;

    FrmControl console;
    person.setParent(&console);
    console.load();
    console.show();
    ok &= save(&console, out, QStringLiteral("console-first-start.png"), true);
    console.tile(0)->selectionButton()->click();
    ok &= save(&console, out, QStringLiteral("console.png"));

    {
        frmParam params(&console);
        params.pPalmNro = 1;
        params.show();
        ok &= save(&params, out, QStringLiteral("device-parameters.png"));
    }

    {
        Lib_ClsCons3& lookup = Lib_ClsCons3::instance();
        LookupSession session;
        session.SQL = lookup.ArmarSentencia(QStringLiteral("VT_CLIENTES")).sql;
        session.CampoDevuelto = QStringLiteral("CODIGO");
        session.CheckBoxes = true;
        Lib_FrmCons3 dialog(session, &console);
        dialog.show();
        session.load();
        if (!session.rows().isEmpty()) session.setTicked(1, true);
        ok &= save(&dialog, out, QStringLiteral("client-lookup.png"));
    }

    {
        const ExportFilters filters = buildExportFilters(1);
        EjecutarExportacion(LocalDb().gDBName, filters.client, filters.priceList);
        if (FrmStatus* steps = shown<FrmStatus>()) {
            ok &= save(steps, out, QStringLiteral("export-steps.png"));
            steps->close();
        } else {
            ok = false;
        }
    }

    {
        StatusWindow& status = person.statusWindow();
        status.open(QStringLiteral("Syncronizacion de Datos"), true);
        status.offerCancel(true);
        status.showTexts(QStringLiteral("Esperando Conexión"), QStringLiteral("Si Aún no lo ha hecho, Pulse el Botón de HotSync"),
                         QStringLiteral("Del Dispositivo Móvil"));
        if (StatusDialog* d = shown<StatusDialog>()) ok &= save(d, out, QStringLiteral("sync-wait.png"));
        else ok = false;
        status.close();
    }
    setOperator(nullptr);
    return ok ? 0 : 1;
}
