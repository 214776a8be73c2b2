#pragma once

#include "TestEnv.h"

#include <QMap>
#include <QProcess>
#include <QStringList>
#include <QVariantList>

namespace kv::test {

// Runs statements on a database file (a handheld or a store).
void execSql(const QString& path, const QString& sql);
// Each row of a query as a list of values (Null as a null QVariant).
QList<QVariantList> query(const QString& path, const QString& sql, const QVariantList& binds = {});

// Fills every one of the sixteen tables with `rows` rows whose values are marked with `tag`
// (text, long text with a line break and non-ASCII letters, doubles, integers, Booleans, dates,
// and Null in every third nullable column), so two files filled with other tags differ in every
// table.
void fillAllTables(const QString& path, int rows, const QString& tag);

// Every table's rows (or those of `tables` only), as a digest of their values and types in a
// fixed order ("missing" for a table the file lacks): equal digests, equal tables.
QMap<QString, QString> snapshot(const QString& path, const QStringList& tables = {});

// A handheld with the master data a send brings: clients with and without price lists, articles
// with VAT rates, two price lists (one with VAT included) and tasks, one exempt.
void seedMasters(const QString& path);

} // namespace kv::test
