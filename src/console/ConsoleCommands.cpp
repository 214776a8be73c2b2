#include "console/ConsoleCommands.h"

namespace kv {

ConsoleCommand commandForKey(const QString& key) {
    if (key.compare(QStringLiteral("PROPIEDADES"), Qt::CaseInsensitive) == 0) return ConsoleCommand::Properties;
    if (key.compare(QStringLiteral("HOTSYNC-PALM"), Qt::CaseInsensitive) == 0) return ConsoleCommand::Send;
    if (key.compare(QStringLiteral("HOTSYNC-PC"), Qt::CaseInsensitive) == 0) return ConsoleCommand::Receive;
    return ConsoleCommand::None;
}

} // namespace kv
