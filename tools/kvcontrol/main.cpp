#include "console/gui/Console.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kvcontrol"));
    return kv::runConsole(app.arguments().mid(1));
}
