#include "cradle/CradleRefusals.h"

#include "app/RunTimeError.h"
#include "cradle/HandheldGuard.h"
#include "cradle/HotSync.h"
#include "store/StoreFile.h"

#include <cctype>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

namespace kv::cradle {

QByteArray json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

CradleAnswer busy(const QString& error, const QString& message, const QByteArray& retryAfter) {
    CradleAnswer a = CradleService::refusal(503, error, message);
    a.headers.emplaceBack("Retry-After", retryAfter);
    return a;
}

// A fault on the cradle's side: the client is told so, the log gets the reason (which may name
// the server's files).
CradleAnswer fault(const QString& detail) {
    CradleAnswer a = CradleService::refusal(
        500, QStringLiteral("cradle-fault"),
        QStringLiteral("The cradle failed on its side; nothing was copied. Its log says why."));
    a.outcome = QStringLiteral("cradle-fault (%1)").arg(detail);
    return a;
}

// The answer to a failed sync, by its error number. A refusal for the handheld names no file of
// the server; the log keeps the whole reason.
CradleAnswer failedSync(const RunTimeError& e) {
    CradleAnswer a;
    switch (e.number()) {
    case syncerr::SyncUnderWay:
        a = busy(QStringLiteral("sync-under-way"), QStringLiteral("Another sync is under way; try again when "
                                                                  "it has ended. Nothing was copied."));
        break;
    case syncerr::ConduitNotReady:
        a = CradleService::refusal(409, QStringLiteral("conduit-not-ready"),
                                   QStringLiteral("No send or receive waits for a sync (the conduit is not "
                                                  "registered or is disabled); the operator starts one in the "
                                                  "program. Nothing was copied."));
        break;
    case syncerr::WrongDevice:
        return CradleService::refusal(409, QStringLiteral("wrong-device"), e.description());
    case syncerr::SendIncomplete:
        return CradleService::refusal(409, QStringLiteral("send-incomplete"), e.description());
    case syncerr::SchemaRefused:
    case syncerr::ContentRefused:
    case syncerr::TooMuchWork:
    case syncerr::Stopped:
        return *contentRefusal(e);
    default:
        return fault(e.description());
    }
    a.outcome += QStringLiteral(" (%1)").arg(e.description());
    return a;
}

// A refusal of the handheld's file itself (not the program's fault): 422 with its reason, which
// speaks of "the handheld's file", never of where the service keeps it.
std::optional<CradleAnswer> contentRefusal(const RunTimeError& e) {
    switch (e.number()) {
    case storeerr::CannotOpen:
    case storeerr::FileNotFound:
        return CradleService::refusal(422, QStringLiteral("not-sqlite"), e.description());
    case syncerr::TablesMissing:
        return CradleService::refusal(422, QStringLiteral("tables-missing"), e.description());
    case syncerr::SchemaRefused:
        return CradleService::refusal(422, QStringLiteral("schema-refused"), e.description());
    case syncerr::ContentRefused:
        return CradleService::refusal(422, QStringLiteral("content-refused"), e.description());
    case syncerr::TooMuchWork:
        return CradleService::refusal(422, QStringLiteral("too-much-work"), e.description());
    case syncerr::Stopped:
        return busy(QStringLiteral("stopping"),
                    QStringLiteral("The cradle is stopping; sync again in a moment. Nothing was copied."));
    default:
        return std::nullopt;
    }
}

// The uploaded file checked on its own, before the sync lock is taken: an SQLite database whose
// store tables are real tables with every column a sync copies.
std::optional<CradleAnswer> checkUpload(const QString& path) {
    try {
        checkHandheldFile(path);
    } catch (const RunTimeError& e) {
        if (std::optional<CradleAnswer> refused = contentRefusal(e)) return refused;
        return fault(e.description());
    }
    return std::nullopt;
}

QByteArray newSyncId() {
    QByteArray raw(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(raw.data()), raw.size() / 4);
    return raw.toHex();
}

QByteArray confirmedId(const QByteArray& path, const QByteArray& prefix) {
    static const QByteArray suffix = "/done";
    const QByteArray start = prefix + '/';
    if (!path.startsWith(start) || !path.endsWith(suffix) || path.size() <= start.size() + suffix.size())
        return {};
    const QByteArray id = path.mid(start.size(), path.size() - start.size() - suffix.size());
    for (char c : id)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
    return id;
}

} // namespace kv::cradle
