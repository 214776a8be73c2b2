#include "conduit/ConduitConfig.h"

#include "conduit/FileConduitConfig.h"

namespace kv {

namespace {
ConduitConfig* g_library = nullptr;

// The column of a pair: no blanks, control characters or the separators of the key list
// and of the registry file.
bool validColumn(const QString& column) {
    if (column.isEmpty()) return false;
    for (QChar c : column)
        if (c.isSpace() || c.category() == QChar::Other_Control || c == QLatin1Char(',') ||
            c == QLatin1Char(':') || c == QLatin1Char('|'))
            return false;
    return true;
}
} // namespace

std::optional<QList<KeyColumn>> parseKeySpec(const QString& keys) {
    if (keys.isEmpty()) return std::nullopt;
    QList<KeyColumn> columns;
    for (const QString& pair : keys.split(QLatin1Char(','))) {
        const int colon = pair.indexOf(QLatin1Char(':'));
        if (colon < 1 || colon > 9) return std::nullopt;
        const QString number = pair.left(colon);
        for (QChar c : number)
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
        const QString column = pair.mid(colon + 1);
        if (!validColumn(column)) return std::nullopt;
        columns << KeyColumn{number.toInt(), column};
    }
    return columns;
}

ConduitConfig& conduitConfig() {
    static FileConduitConfig applicationFolder;
    return g_library ? *g_library : applicationFolder;
}

void setConduitConfig(ConduitConfig* library) {
    g_library = library;
}

} // namespace kv
