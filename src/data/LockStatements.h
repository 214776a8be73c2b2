#pragma once

#include "data/Engine.h"
#include "data/EngineDriver.h"

#include <QString>

namespace kv {

// The statements with which a connection bounds its waits for locks other programs hold, and
// takes or gives back a lock of the whole database by name. Pure text per engine, so each
// engine's statements are checked without its server.

// How long a statement waits for a row, table or file lock before it fails: PostgreSQL
// lock_timeout, SQL Server LOCK_TIMEOUT, SQLite its busy time-out. Oracle has no setting for
// row locks (empty: there the command time-out bounds the wait).
QString lockTimeoutStatement(Engine e, int seconds);

// Takes the named lock, held by the session across commits, without waiting: one row whose
// first column is 1 when it was taken, 0 when another session holds it. On Oracle the block
// fails with ORA-20901 instead of returning 0 (a block returns no row). Empty on SQLite, which
// has no named locks: there every group of the import takes the file's write lock.
QString tryLockStatement(Engine e, const QString& name);
QString unlockStatement(Engine e, const QString& name);
// The Oracle error the try-lock block raises when another session holds the lock.
constexpr qint32 kOracleLockBusy = 20901;

// Whether a failure is a lock wait that ran out: another program held what the statement needed.
bool isLockTimeout(Engine e, const ProviderError& error);

// The reason as the operator reads it: which database was locked, how long the program waited
// and where that bound is set, then the engine's own words.
QString lockedDescription(Engine e, int waitedSeconds, const QString& engineText);

// The bound of lock waits when the settings name none, and of a wait for another import.
constexpr int kDefaultLockTimeoutSeconds = 10;
constexpr int kDefaultImportLockTimeoutSeconds = 120;

} // namespace kv
