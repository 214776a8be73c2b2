#include "Kverp.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kverp"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return kv::erp::runKverp(app.arguments().mid(1), out, err);
}
