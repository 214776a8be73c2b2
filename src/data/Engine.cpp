#include "data/Engine.h"

namespace kv {

std::optional<Engine> engineForProvider(const QString& provider) {
    const QString p = provider.trimmed();
    if (p.compare(ProviderSqlServer, Qt::CaseInsensitive) == 0) return Engine::SqlServer;
    if (p.startsWith(QStringLiteral("OraOLEDB.Oracle"), Qt::CaseInsensitive)) return Engine::Oracle;
    if (p.startsWith(QStringLiteral("Microsoft.Jet.OLEDB"), Qt::CaseInsensitive)) return Engine::Jet;
    return std::nullopt;
}

std::optional<Engine> engineForName(const QString& name) {
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("sqlserver")) return Engine::SqlServer;
    if (n == QLatin1String("oracle")) return Engine::Oracle;
    if (n == QLatin1String("postgresql")) return Engine::PostgreSql;
    if (n == QLatin1String("sqlite")) return Engine::Sqlite;
    return std::nullopt;
}

QString engineName(Engine e) {
    switch (e) {
    case Engine::SqlServer: return QStringLiteral("sqlserver");
    case Engine::Oracle: return QStringLiteral("oracle");
    case Engine::PostgreSql: return QStringLiteral("postgresql");
    case Engine::Sqlite: return QStringLiteral("sqlite");
    case Engine::Jet: return QStringLiteral("jet");
    }
    return QString();
}

} // namespace kv
