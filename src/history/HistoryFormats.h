#pragma once

#include "history/HistoryFile.h"

#include <QByteArray>

namespace kv::history {

// The history for scripts. JSON: one array of objects, every field of the record, times in ISO
// 8601 with their offset, absent values as null. TSV: a header line, then one line per record;
// tabs and line breaks inside a value become blanks, lists are joined with "," (a table as
// TABLE=rows, a refused document as KEY=reason).
QByteArray historyJson(const QList<Record>& records);
QString historyTsv(const QList<Record>& records);

} // namespace kv::history
