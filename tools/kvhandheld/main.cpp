#include "Kvhandheld.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kvhandheld"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return kv::handheld::runKvhandheld(app.arguments().mid(1), out, err);
}
