#pragma once

#include <QString>

namespace kv {
class AtomicFileWriter;
}

namespace kv::cradle {

// What keeps an answer written to `file` from standing in for a handheld, as words that follow
// "The cradle's answer ..."; empty when nothing does. It must be as long as the server declared
// (`declaredLength`, -1 when it did not), start as an SQLite database does, and hold every page
// its header counts, so an answer cut short in transit never replaces a handheld.
QString sqliteImageProblem(const AtomicFileWriter& file, qint64 declaredLength);

} // namespace kv::cradle
