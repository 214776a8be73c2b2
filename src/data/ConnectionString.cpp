#include "data/ConnectionString.h"

namespace kv {

ConnectionString::ConnectionString(const QString& text) : m_text(text) {
    for (const QString& item : text.split(QLatin1Char(';'))) {
        const int eq = item.indexOf(QLatin1Char('='));
        if (eq <= 0) continue;
        m_items.append({item.left(eq).trimmed().toLower(), item.mid(eq + 1).trimmed()});
    }
}

QString ConnectionString::value(const QString& key, const QString& fallback) const {
    const QString k = key.trimmed().toLower();
    for (const auto& [name, value] : m_items)
        if (name == k) return value;
    return fallback;
}

bool ConnectionString::contains(const QString& key) const {
    const QString k = key.trimmed().toLower();
    for (const auto& item : m_items)
        if (item.first == k) return true;
    return false;
}

} // namespace kv
