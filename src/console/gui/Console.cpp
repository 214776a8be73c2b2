#include "console/gui/Console.h"

#include "app/AppHome.h"
#include "app/LaunchString.h"
#include "app/Operator.h"
#include "app/Startup.h"
#include "app/gui/WindowOperator.h"
#include "console/ConsoleCommands.h"
#include "console/SendCommand.h"
#include "console/gui/DeviceTile.h"
#include "console/gui/FrmControl.h"
#include "settings/gui/frmParam.h"
#include "sync/SyncRun.h"

#include <QApplication>
#include <QTextStream>

namespace kv {

void connectConsoleCommands(FrmControl& console) {
    console.setCommandHandler([&console](const QString& key, int device) {
        switch (commandForKey(key)) {
        case ConsoleCommand::Properties: {
            frmParam dialog(&console);
            dialog.pPalmNro = device;
            QObject::connect(&dialog, &frmParam::tileCaptionChanged, &console, [&console](int n, const QString& caption) {
                if (DeviceTile* t = console.tile(n - 1)) t->setCaption(caption);
            });
            dialog.exec();
            break;
        }
        case ConsoleCommand::Send: EnviarDatosPalm(device); break;
        case ConsoleCommand::Receive: ActualizaDatos_KVControl(device, true); break;
        case ConsoleCommand::None: break;
        }
    });
}

void connectConsoleOperator(FrmControl& console, WindowOperator& person) {
    person.setParent(&console);
    QObject::connect(&console, &FrmControl::abandoned, &console, [&person] { person.abandon(); });
}

int runConsole(const QStringList& arguments) {
    QStringList launch;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == QLatin1String("--home") && i + 1 < arguments.size()) {
            AppHome::set(arguments.at(++i));
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            QTextStream(stdout) << "Usage: kvcontrol [--home DIR] LAUNCH STRING\n\n"
                                   "The handheld control console. The launch string (the rest of the command line)\n"
                                   "names the ERP connection: \"@Server=...;@DbName=...;@Usuario=...;@Password=...;"
                                   "@Motor=...;\".\nWithout a server the connection dialog asks for one.\n";
            return 0;
        } else {
            launch << a;
        }
    }
    WindowOperator person;
    setOperator(&person);
    if (!IniciarPrograma(launchStringFromArguments(launch))) {
        setOperator(nullptr);
        return 1; // no ERP connection: the program ends before any window is shown
    }
    FrmControl console;
    connectConsoleOperator(console, person);
    connectConsoleCommands(console);
    console.load();
    console.show();
    const int status = QApplication::exec();
    setOperator(nullptr);
    return status;
}

} // namespace kv
