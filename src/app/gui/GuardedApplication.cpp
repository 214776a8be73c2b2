#include "app/gui/GuardedApplication.h"

#include "app/EscapedError.h"

#include <QWidget>

namespace kv {

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        const auto* widget = qobject_cast<const QWidget*>(receiver);
        QString procedure = widget ? widget->window()->objectName() : receiver->objectName();
        if (procedure.isEmpty()) procedure = applicationName();
        MostrarError(std::current_exception(), procedure);
        return false;
    }
}

} // namespace kv
