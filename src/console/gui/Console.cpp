#include "console/gui/Console.h"

#include "app/AppHome.h"
#include "app/EscapedError.h"
#include "app/LaunchSource.h"
#include "app/LaunchString.h"
#include "app/Operator.h"
#include "app/Startup.h"
#include "app/gui/WindowOperator.h"
#include "console/ConsoleCommands.h"
#include "console/SendCommand.h"
#include "console/gui/ConsoleSignals.h"
#include "console/gui/DeviceTile.h"
#include "console/gui/FrmControl.h"
#include "settings/gui/frmParam.h"
#include "sync/SyncRun.h"

#include <QApplication>
#include <QTextStream>
#include <cstring>

namespace kv {

namespace {

// Qt's own options that may be written with two dashes; they are Qt's to read.
bool isQtOption(const QString& name) {
    static const QStringList names{
        QStringLiteral("platform"),   QStringLiteral("platformpluginpath"), QStringLiteral("platformtheme"),
        QStringLiteral("plugin"),     QStringLiteral("qwindowgeometry"),    QStringLiteral("qwindowicon"),
        QStringLiteral("qwindowtitle"), QStringLiteral("reverse"),          QStringLiteral("session"),
        QStringLiteral("display"),    QStringLiteral("geometry"),           QStringLiteral("style"),
        QStringLiteral("stylesheet"), QStringLiteral("widgetcount"),        QStringLiteral("nograb"),
        QStringLiteral("dograb"),     QStringLiteral("sync")};
    return names.contains(name.section(QLatin1Char('='), 0, 0));
}

const char* const kUsageLine = "Usage: kvcontrol [--home DIR] [--launch-file FILE] LAUNCH STRING\n";

void printUsage(QTextStream& out) {
    out << kUsageLine
        << "  or:  kvcontrol --help | --version\n\n"
           "The handheld control console. The launch string (the rest of the command line)\n"
           "names the ERP connection: \"@Server=...;@DbName=...;@Usuario=...;@Password=...;"
           "@Motor=...;\".\nWithout a server the connection dialog asks for one.\n\n"
           "  --home DIR          application folder (default $KVCONTROL_HOME, else\n"
           "                      $XDG_DATA_HOME/kvcontrol or ~/.local/share/kvcontrol)\n"
           "  --launch-file FILE  the launch string from an owner-only file when none is given\n"
           "                      (else $KVCONTROL_LAUNCH); without @Password, $KVCONTROL_PASSWORD\n"
           "                      gives it\n"
           "  --                  what follows is launch string, even when it starts with \"--\"\n"
           "\n";
    out.flush();
}

// The procedure each toolbar command runs, named in its error message.
QString procedureOf(ConsoleCommand command) {
    switch (command) {
    case ConsoleCommand::Properties: return QStringLiteral("frmParam");
    case ConsoleCommand::Send: return QStringLiteral("EnviarDatosPalm");
    case ConsoleCommand::Receive: return QStringLiteral("ActualizaDatos_KVControl");
    case ConsoleCommand::None: break;
    }
    return QStringLiteral("frmControl");
}

} // namespace

void connectConsoleCommands(FrmControl& console) {
    console.setCommandHandler([&console](const QString& key, int device) {
        const ConsoleCommand command = commandForKey(key);
        try {
            switch (command) {
            case ConsoleCommand::Properties: {
                frmParam dialog(&console);
                dialog.pPalmNro = device;
                QObject::connect(&dialog, &frmParam::tileCaptionChanged, &console,
                                 [&console](int n, const QString& caption) {
                                     if (DeviceTile* t = console.tile(n - 1)) t->setCaption(caption);
                                 });
                dialog.exec();
                break;
            }
            case ConsoleCommand::Send: EnviarDatosPalm(device); break;
            case ConsoleCommand::Receive: ActualizaDatos_KVControl(device, true); break;
            case ConsoleCommand::None: break;
            }
        } catch (...) {
            // The command has no trap of its own: its error is shown and the console goes on.
            MostrarError(std::current_exception(), procedureOf(command));
        }
    });
}

void connectConsoleOperator(FrmControl& console, WindowOperator& person) {
    person.setParent(&console);
    QObject::connect(&console, &FrmControl::abandoned, &console, [&person] { person.abandon(); });
}

ConsoleCommandLine readConsoleCommandLine(const QStringList& arguments) {
    ConsoleCommandLine c;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == QLatin1String("--")) {
            c.launch << arguments.mid(i + 1);
            break;
        }
        if (a == QLatin1String("--home")) {
            if (i + 1 >= arguments.size()) {
                c.action = ConsoleCommandLine::Action::Mistyped;
                c.mistyped = QStringLiteral("--home needs a folder");
                return c;
            }
            c.home = arguments.at(++i);
        } else if (a == QLatin1String("--launch-file")) {
            if (i + 1 >= arguments.size()) {
                c.action = ConsoleCommandLine::Action::Mistyped;
                c.mistyped = QStringLiteral("--launch-file needs a file");
                return c;
            }
            c.launchFile = arguments.at(++i);
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            c.action = ConsoleCommandLine::Action::Help;
            return c;
        } else if (a == QLatin1String("--version")) {
            c.action = ConsoleCommandLine::Action::Version;
            return c;
        } else if (a.startsWith(QLatin1String("--")) && !isQtOption(a.mid(2))) {
            c.action = ConsoleCommandLine::Action::Mistyped;
            c.mistyped = QStringLiteral("unknown option %1").arg(a);
            return c;
        } else {
            c.launch << a;
        }
    }
    return c;
}

std::optional<int> answerConsoleCommandLine(const ConsoleCommandLine& c, QTextStream& out, QTextStream& err) {
    switch (c.action) {
    case ConsoleCommandLine::Action::Help: printUsage(out); return 0;
    case ConsoleCommandLine::Action::Version:
        out << "kvcontrol " << KV_VERSION_MAJOR << '.' << KV_VERSION_MINOR << '.' << KV_VERSION_PATCH << Qt::endl;
        return 0;
    case ConsoleCommandLine::Action::Mistyped:
        err << "kvcontrol: " << c.mistyped << " (see kvcontrol --help)\n" << kUsageLine << Qt::flush;
        return 2;
    case ConsoleCommandLine::Action::Open: break;
    }
    return std::nullopt;
}

int runConsole(const QStringList& arguments) {
    const ConsoleCommandLine line = readConsoleCommandLine(arguments);
    QTextStream out(stdout), err(stderr);
    if (const auto status = answerConsoleCommandLine(line, out, err)) return *status;
    if (!line.home.isEmpty()) AppHome::set(line.home);
    const ResolvedLaunch launch = resolveLaunch({launchStringFromArguments(line.launch), line.launchFile});
    if (!launch.error.isEmpty()) {
        err << "kvcontrol: " << launch.error << Qt::endl;
        return 1;
    }
    ConsoleSignals stop;
    WindowOperator person;
    setOperator(&person);
    try {
        if (!IniciarPrograma(launch.text)) {
            // No ERP connection: the program ends before any window is shown.
            setOperator(nullptr);
            if (person.declined() || stop.received()) {
                err << "kvcontrol: cancelled: no ERP connection was made" << Qt::endl;
                return 3; // cancelled
            }
            err << "kvcontrol: no ERP connection was made (check the launch string: @Server, @DbName, @Usuario, "
                   "@Password, @Motor)"
                << Qt::endl;
            return 1;
        }
    } catch (...) {
        MostrarError(std::current_exception(), QStringLiteral("IniciarPrograma"));
        setOperator(nullptr);
        return 1;
    }
    FrmControl console;
    connectConsoleOperator(console, person);
    connectConsoleCommands(console);
    stop.setConsole(&console);
    int status = 0;
    if (!stop.received()) {
        console.load();
        console.show();
        status = QApplication::exec();
    }
    setOperator(nullptr);
    if (const int s = stop.received()) {
        err << "kvcontrol: ended by signal " << s << " (" << strsignal(s) << ")" << Qt::endl;
        return 3; // cancelled
    }
    return status;
}

} // namespace kv
