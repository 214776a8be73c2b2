#pragma once

#include "cradle/HandheldGuard.h"

#include <chrono>
#include <functional>
#include <memory>
#include <QList>
#include <QString>

namespace kv::cradle {

class Database;

// Error numbers of a sync that is refused, having copied nothing.
namespace syncerr {
constexpr long SyncUnderWay = 70;    // another sync holds the sync lock
constexpr long ConduitNotReady = 91; // not registered, disabled, or its registry unreadable
constexpr long TablesMissing = 3078; // a database lacks a table or column the conduit carries
constexpr long SameFile = 3045;      // the handheld is the local sync store itself
constexpr long JournalMode = 3051;   // a database that cannot take part in a two-file commit
constexpr long WrongDevice = 92;     // the handheld is another device than the one waited for
constexpr long SendIncomplete = 95;  // the store's last send did not complete: nothing to hand out
// A store table of the handheld is a view or a virtual table, or carries a trigger: the file is
// refused before anything is read from those tables.
constexpr long SchemaRefused = 3079;
// The handheld's own content refused the copy: a value its store table or the local sync store
// does not take (a CHECK, NOT NULL or UNIQUE constraint, a RAISE, a datatype mismatch, a value
// over the length limit), or a copy that would grow a file past its limit (the handheld's own
// indexes or rows asked for it). The file is at fault, not the program: a network cradle answers
// 422.
constexpr long ContentRefused = 3317;
// The handheld's file asked for more work than the sync's budget (kDefaultWorkBudget unless
// the caller gives another): a file that would have held the sync lock without end.
constexpr long TooMuchWork = 3035;
// stopHandheldWork() ended the sync: the program is shutting down.
constexpr long Stopped = 3059;
} // namespace syncerr

// One table a sync copied.
struct TableCopy {
    QString table;
    qint32 transferCode = 0; // 4: from the store to the handheld, 5: from the handheld to the store
    qint64 rows = 0;         // rows the destination holds now
    QString keySpec;         // the registered key columns
    qint64 kept = 0;         // documents the handheld kept that the store does not hold (code 4)
};

struct SyncResult {
    QString handheld; // absolute paths
    QString store;
    QList<TableCopy> copies; // in registration order
    int untouched = 0;       // registered tables with code 0
    quint64 sequence = 0;    // the sync's number in the monitor's state file
    QString note;            // said to the person at the cradle besides the tables
};

// "store -> handheld" or "handheld -> store".
QString directionText(qint32 transferCode);

// The pieces of a sync that a handheld's exchange shares with it.
// The handheld's file opened as untrusted input; a file that is no SQLite database is refused as
// the other refusals are (RunTimeError, "Nothing was copied.").
std::unique_ptr<const Database> openHandheld(const QString& path, std::chrono::seconds workBudget);
// Attaches the store at `storePath` to the handheld's connection as schema "store", both files
// allowed to grow by `room` at most and both on a rollback journal.
void attachStore(const Database& handheld, const QString& storePath, qint64 room);
// Neither file may grow past twice the two together.
qint64 growthRoom(const QString& handheldPath, const QString& storePath);
// Empties the destination's table and fills it with the source's rows (code 4: from "store" to
// "main"; 5: the other way), refusing as a sync does; a document table copied to the handheld
// keeps the rows whose key the store does not hold. The rows the destination holds after.
qint64 copyTable(const Database& db, TableCopy& copy, qint64 room);

// One sync between the handheld file and the local sync store named by the settings file, as the
// person at the cradle starts it. Holds the sync lock from before the first read of the conduit's
// registration until everything is over, and records itself in the monitor's state file (begun
// under the registration's generation, then copied or refused), so every waiting program sees it
// however short it is. Under a registration no program waits for (a send that did not wait), a
// sync that copied records itself in the history and switches the conduit off.
//
// A registration for one device refuses another device's handheld, naming both numbers; a
// handheld made without a device number is taken, with a note. With code 4 the handheld's
// document tables keep every row whose key the store does not hold (documents captured since
// the last receive); every other row and table becomes exactly the store's.
//
// Every change to both files is made in one transaction over one connection (the store attached
// to a copy of the handheld beside it), and the copy replaces the handheld only once committed:
// both files end up copied, or neither changes, also when the process is killed or the disk
// fills up; the handheld is never left needing a journal beside it.
// `holdSeconds` keeps the transaction and the lock open after the rows are copied and before the
// commit, as a slow cradle would; `progress` hears about that moment.
//
// `device` is the device the caller vouches for (the network cradle's token says which device
// is syncing); 0 takes the number the handheld carries. A vouched device refuses a handheld that
// carries another number, and stands in for one that carries none.
//
// The handheld's file is untrusted (Trust::Untrusted): each of its store tables must be a real
// table without triggers, every statement on it counts against `workBudget`, and neither file
// may grow past twice their sizes together.
//
// Throws RunTimeError, having changed nothing, when another sync is under way, the conduit is not
// registered or is disabled, the handheld is another device's, a file is missing or lacks
// tables or columns, the handheld's tables are refused, the budget runs out, or a copy fails.
SyncResult hotSync(const QString& handheldPath, int holdSeconds = 0,
                   const std::function<void(const QString&)>& progress = {}, qint32 device = 0,
                   std::chrono::seconds workBudget = kDefaultWorkBudget);

// The same sync in two steps, for a handheld that is somewhere else (the network cradle): the
// copy is made and held uncommitted, with the sync lock, while the handheld is sent its file as
// it is after the copy; the sync counts only when commit() is called, once the handheld says it
// has stored that file. Dropped (or destroyed) instead, it changes nothing and the waiting
// program goes on waiting.
class PreparedSync {
public:
    // Everything hotSync does up to its commit, refusing as it does. `handheldPath` is the
    // caller's own copy of the handheld.
    static std::unique_ptr<PreparedSync> prepare(const QString& handheldPath, qint32 device,
                                                 std::chrono::seconds workBudget = kDefaultWorkBudget);
    ~PreparedSync();
    PreparedSync(const PreparedSync&) = delete;
    PreparedSync& operator=(const PreparedSync&) = delete;

    const SyncResult& result() const;
    // Writes the handheld's file as the commit will leave it to `path` (owner-only) and records
    // the sync as answered, awaiting the handheld's confirmation. Throws RunTimeError.
    void writeAnswer(const QString& path);
    // Commits both files, runs `beforeCounting` (the local cradle puts its copy in the handheld's
    // place there) and records the sync as copied. Throws RunTimeError, having changed nothing,
    // when the commit fails; when `beforeCounting` throws, the sync does not count.
    const SyncResult& commit(const std::function<void()>& beforeCounting = {});
    // Rolls back and records the sync as refused.
    void drop();

private:
    struct State;
    explicit PreparedSync(std::unique_ptr<State> state);
    std::unique_ptr<State> m;
};

} // namespace kv::cradle
