#include "app/gui/GuardedApplication.h"
#include "console/gui/Console.h"
#include "ExitCodes.h"

#include <QTextStream>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

// Qt ends the program when it cannot open a display: the operator gets the reason and status 1.
void noDisplay(QtMsgType type, const QMessageLogContext&, const QString& message) {
    std::fprintf(stderr, "kvcontrol: %s\n", message.toLocal8Bit().constData());
    if (type == QtFatalMsg) {
        std::fflush(stderr);
        ::_exit(1);
    }
}

} // namespace

int main(int argc, char** argv) {
    // --help, --version and a mistyped option need no display: they are answered before the
    // application object (which opens the display) is made.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    {
        QTextStream out(stdout), err(stderr);
        const kv::ConsoleCommandLine line = kv::readConsoleCommandLine(arguments);
        if (const auto status = kv::answerConsoleCommandLine(line, out, err)) {
            if (line.action == kv::ConsoleCommandLine::Action::Help) out << kv::cli::exitcode::Table << Qt::endl;
            return *status;
        }
    }
    const QtMessageHandler previous = qInstallMessageHandler(noDisplay);
    kv::GuardedApplication app(argc, argv);
    qInstallMessageHandler(previous);
    QApplication::setApplicationName(QStringLiteral("kvcontrol"));
    return kv::runConsole(app.arguments().mid(1));
}
