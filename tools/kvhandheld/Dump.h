#pragma once

#include <QString>
#include <QTextStream>

namespace kv::handheld {

constexpr long kUnknownTable = 3078;

// Writes one of the sixteen tables of a handheld (or of a local sync store: they hold the same
// tables) as tab-separated text: a line with the column names, then one line per row in the
// order of the table's key columns. Null is written \N; a backslash, tab, line feed or carriage
// return inside a text is written \\, \t, \n or \r, so an empty text and Null stay apart and
// every row is one line. Numbers are written in their shortest exact form ("12.5", "3").
// Throws RunTimeError for a missing file or a table that is not one of the sixteen.
void dumpTable(const QString& path, const QString& table, QTextStream& out);

// One value as dumpTable writes it.
QString dumpValue(const QVariant& value);

} // namespace kv::handheld
