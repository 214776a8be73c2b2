#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

namespace kv {

// The lookup map file ("consultas.hxw"): fixed records of 1202 bytes telling the lookups which
// columns to show for a table or view.
struct LookupMapRecord {
    QString name;    // 100 bytes
    QString source;  // 100 bytes: the table or view
    QString columns; // 500 bytes: "|COL1|COL2|"
    QString extra;   // 500 bytes: a filter
};

constexpr int LookupMapRecordSize = 1202;

// The eight records written when the file is missing.
const QList<LookupMapRecord>& defaultLookupMap();
// One record's bytes, each field filled with blanks, CR LF at the end (texts cut to their field).
QByteArray encodeLookupRecord(const LookupMapRecord& r);
// Writes the default records to a new file; never touches an existing one. Throws RunTimeError.
void GrabarMapaConsultas(const QString& path);
// Every whole record of the file (a trailing partial record is not a record). Throws
// RunTimeError when the file cannot be read.
QList<LookupMapRecord> readLookupMap(const QString& path, bool* partialTail = nullptr);
// The records of the file's bytes, as readLookupMap reads them.
QList<LookupMapRecord> parseLookupMap(QByteArrayView data, bool* partialTail = nullptr);

} // namespace kv
