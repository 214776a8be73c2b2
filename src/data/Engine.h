#pragma once

#include <QString>
#include <optional>

namespace kv {

// The database engines a connection can stand on. SqlServer and Oracle are reached through
// ODBC; PostgreSql through Qt's native driver; Sqlite is an ERP database in a file; Jet is the
// local sync store (an SQLite file that stands in for the old Access file).
enum class Engine { SqlServer, Oracle, PostgreSql, Sqlite, Jet };

// Provider names as they appear in connection strings.
inline const QString ProviderSqlServer = QStringLiteral("SQLOLEDB");
inline const QString ProviderOracle = QStringLiteral("OraOLEDB.Oracle.1");
inline const QString ProviderJet = QStringLiteral("Microsoft.Jet.OLEDB.4.0");

// The engine a provider name stands for (any letter case); nullopt for an unknown provider.
std::optional<Engine> engineForProvider(const QString& provider);
// The "@Motor" launch value: sqlserver, oracle, postgresql, sqlite (any case); nullopt otherwise.
std::optional<Engine> engineForName(const QString& name);
QString engineName(Engine e);

} // namespace kv
