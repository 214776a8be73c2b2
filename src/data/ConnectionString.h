#pragma once

#include <QList>
#include <QPair>
#include <QString>

namespace kv {

// A "key=value;key=value" connection string. Keys are matched trimmed and without regard to
// case ("Data Source =" and "data source=" are the same key); values are trimmed.
class ConnectionString {
public:
    explicit ConnectionString(const QString& text = QString());
    QString value(const QString& key, const QString& fallback = QString()) const;
    bool contains(const QString& key) const;
    const QString& text() const { return m_text; }

private:
    QString m_text;
    QList<QPair<QString, QString>> m_items;
};

} // namespace kv
