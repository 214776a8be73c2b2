#include "conduit/WaitLock.h"

#include "app/AppHome.h"
#include "app/Operator.h"

namespace kv {

QString waitLockName() {
    return QStringLiteral("kvwait.lock");
}

std::unique_ptr<FileLock> TomarEspera(const QString& procedure) {
    auto lock = FileLock::tryTake(AppHome::file(waitLockName()), procedure);
    if (!lock)
        op().messageBox(QStringLiteral("Hay otro envío o recepción de datos en curso en este equipo.\r"
                                       "Espere a que termine y vuelva a intentarlo."),
                        mb::Critical, QStringLiteral("Aviso al Usuario"));
    return lock;
}

} // namespace kv
