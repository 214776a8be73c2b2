#pragma once

#include <chrono>
#include <QString>

struct sqlite3;

namespace kv {
class RunTimeError;
}

namespace kv::cradle {

// What one sync may spend on a handheld's file: every statement on its connection counts
// against it, so a file that asks for endless work ends in a refusal instead of holding the sync
// lock. Two minutes is many times what the largest honest handheld needs.
inline constexpr std::chrono::seconds kDefaultWorkBudget{120};

// The largest a handheld's file may grow to when nothing else bounds it: the network cradle's
// default --max-size, which an unfiltered send of the largest ERP fits in.
inline constexpr qint64 kDefaultHandheldBytes = 64LL * 1024 * 1024;

// The work budget of one connection to a handheld's file, checked by the engine every thousand
// steps of any statement. A statement it ends fails as interrupted, and the engine
// rolls back the transaction it was in.
class WorkBudget {
public:
    explicit WorkBudget(std::chrono::seconds budget) { restart(budget); }

    // A budget of `budget` from now.
    void restart(std::chrono::seconds budget);
    // Whether a statement was ended because the budget ran out or the program is stopping.
    bool ended() const { return m_end != End::None; }
    // The error to report once ended(): TooMuchWork or Stopped, in the operator's words.
    RunTimeError error() const;

    // The engine's progress handler: non-zero ends the statement under way.
    static int check(void* budget);

private:
    enum class End { None, Spent, Stopped };
    std::chrono::seconds m_budget{};
    std::chrono::steady_clock::time_point m_deadline;
    End m_end = End::None;
};

// Puts a freshly opened connection, before it reads anything, in the state a handheld's file
// is read in: defensive, with an untrusted schema, no extensions, no views, the engine's limits
// cut to what a sync needs, and `budget` watching every statement. Throws RunTimeError when the
// engine does not take one of the settings (the file is then not opened at all).
void guardConnection(sqlite3* db, WorkBudget* budget);

// Whether an engine error (extended code) was caused by the values or rules the file holds: a
// CHECK, NOT NULL or UNIQUE constraint, a trigger's RAISE, a datatype mismatch, a value over the
// length limit.
bool refusedByContent(int extendedCode);

// The size a handheld's file of `bytes` may grow to when it is opened on its own: four times
// its size (a capture adds little), never less than kDefaultHandheldBytes.
qint64 defaultGrowthLimit(qint64 bytes);

// Ends the statements of every connection to a handheld's file at the budget's next check, as
// Stopped: for a server that is shutting down. Safe to call from any thread or a signal handler.
void stopHandheldWork() noexcept;

// Opens an uploaded handheld's file as a sync would and checks its tables. Throws RunTimeError:
// CannotOpen (not an SQLite database, damaged), TablesMissing, SchemaRefused, TooMuchWork, each
// message speaking of "the handheld's file" and ending "Nothing was copied."
void checkHandheldFile(const QString& path);

} // namespace kv::cradle
