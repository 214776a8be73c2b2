#include "Command.h"

#include <QCoreApplication>
#include <unistd.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kvctl"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    QTextStream in(stdin);
    return kv::cli::runKvctl(app.arguments().mid(1), out, err, in, isatty(STDIN_FILENO));
}
