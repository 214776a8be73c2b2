#include "Kverp.h"

#include "app/EscapedError.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kverp"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    try {
        return kv::erp::runKverp(app.arguments().mid(1), out, err);
    } catch (...) {
        return kv::ReportarError(err, std::current_exception(), QStringLiteral("kverp"));
    }
}
