#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>

namespace kv::test {

// A fresh store file in a temporary folder, opened through Qt's SQLite driver as the program
// opens it.
class StoreFile {
public:
    StoreFile();
    ~StoreFile();
    QString path() const { return m_path; }
    QSqlDatabase& db() { return m_db; }

    // Inserts one row; returns the engine's message, empty when the row was stored.
    QString insert(const QString& table, const QVariantMap& values);
    // One value of the only row of a single-row query.
    QVariant value(const QString& sql);

private:
    QTemporaryDir m_dir;
    QString m_path;
    QString m_connection;
    QSqlDatabase m_db;
};

} // namespace kv::test
