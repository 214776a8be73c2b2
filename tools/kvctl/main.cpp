#include "Command.h"

#include "app/EscapedError.h"

#include <QCoreApplication>
#include <unistd.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kvctl"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    QTextStream in(stdin);
    try {
        return kv::cli::runKvctl(app.arguments().mid(1), out, err, in, isatty(STDIN_FILENO));
    } catch (...) {
        return kv::ReportarError(err, std::current_exception(), QStringLiteral("kvctl"));
    }
}
