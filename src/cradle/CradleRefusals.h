#pragma once

#include "cradle/CradleService.h"

#include <optional>

class QJsonObject;

namespace kv {
class RunTimeError;
}

namespace kv::cradle {

// The answers the cradle's syncs and exchanges share.

inline const QByteArray kSqliteType = "application/vnd.sqlite3";
inline const QByteArray kSyncHeader = "X-Kvcradle-Sync";
// Seconds a client is asked to wait before it tries again after a 503.
inline const QByteArray kRetryAfter = "5";

QByteArray json(const QJsonObject& object);
// 503 with Retry-After.
CradleAnswer busy(const QString& error, const QString& message, const QByteArray& retryAfter = kRetryAfter);
// A fault on the cradle's side: the client is told so, the log gets the reason (which may name
// the server's files).
CradleAnswer fault(const QString& detail);
// The answer to a failed sync, by its error number. A refusal for the handheld names no file of
// the server; the log keeps the whole reason.
CradleAnswer failedSync(const RunTimeError& e);
// A refusal of the handheld's file itself (not the program's fault): 422 with its reason, which
// speaks of "the handheld's file", never of where the service keeps it. nullopt for any other
// failure.
std::optional<CradleAnswer> contentRefusal(const RunTimeError& e);
// The uploaded file checked on its own, before anything is locked: an SQLite database whose
// store tables are real tables with every column a sync copies.
std::optional<CradleAnswer> checkUpload(const QString& path);
// A new sync or exchange id: 32 hex digits from the system's random source.
QByteArray newSyncId();
// "PREFIX/ID/done" → ID (hex digits only); empty for any other path.
QByteArray confirmedId(const QByteArray& path, const QByteArray& prefix);

} // namespace kv::cradle
