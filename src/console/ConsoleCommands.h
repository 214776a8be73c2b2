#pragma once

#include <QString>

namespace kv {

// The three commands of a tile's toolbar, by their button keys (any letter case).
enum class ConsoleCommand { Properties, Send, Receive, None };
ConsoleCommand commandForKey(const QString& key);

} // namespace kv
