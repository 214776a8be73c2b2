#include "cradle/CradleService.h"

#include "app/RunTimeError.h"
#include "conduit/Conducto.h"
#include "conduit/FileConduitConfig.h"
#include "cradle/CradleTokens.h"
#include "cradle/HotSync.h"
#include "cradle/SqliteFile.h"
#include "store/StoreFile.h"
#include "store/StoreSchema.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace kv::cradle {

namespace {

const QByteArray kSqliteType = "application/vnd.sqlite3";

QByteArray json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

// Which refusal a failed sync is, by its error number.
std::pair<int, QString> classify(long number) {
    switch (number) {
    case syncerr::SyncUnderWay:
        return {503, QStringLiteral("sync-under-way")};
    case syncerr::ConduitNotReady:
        return {409, QStringLiteral("conduit-not-ready")};
    case syncerr::WrongDevice:
        return {409, QStringLiteral("wrong-device")};
    default:
        return {500, QStringLiteral("sync-failed")};
    }
}

// The uploaded file checked on its own: an SQLite database with every table and column a sync
// copies. The message speaks of "the uploaded file", never of where the service keeps it.
std::optional<CradleAnswer> checkUpload(const QString& path) {
    try {
        const Database db(path, QStringLiteral("handheld"), Trust::Untrusted);
        QStringList gaps;
        for (const StoreGap& g : verifyStoreTables(db.handle()))
            gaps << g.text();
        if (!gaps.isEmpty())
            return CradleService::refusal(
                400, QStringLiteral("tables-missing"),
                QStringLiteral("The uploaded handheld lacks %1. Nothing was copied.")
                    .arg(gaps.join(QStringLiteral(", "))));
    } catch (const RunTimeError&) {
        return CradleService::refusal(400, QStringLiteral("not-sqlite"),
                                      QStringLiteral("The uploaded file is not an SQLite database. Nothing "
                                                     "was copied."));
    }
    return std::nullopt;
}

} // namespace

CradleService::CradleService(qint64 maxBytes) : m_maxBytes(maxBytes) {}

CradleAnswer CradleService::refusal(int status, const QString& error, const QString& message) {
    CradleAnswer a;
    a.status = status;
    a.contentType = "application/json";
    a.body = json({{QStringLiteral("error"), error}, {QStringLiteral("message"), message}});
    a.outcome = error;
    return a;
}

std::optional<qint32> CradleService::device(const QByteArray& authorization) const {
    static const QByteArray scheme = "bearer ";
    if (!authorization.toLower().startsWith(scheme)) return std::nullopt;
    return CradleTokens().deviceFor(authorization.mid(scheme.size()).trimmed());
}

std::optional<CradleAnswer> CradleService::checkHead(const CradleHead& head) const {
    qint32 who = 0;
    return checkHead(head, &who);
}

CradleAnswer CradleService::tooLarge(qint64 length) const {
    return refusal(413, QStringLiteral("too-large"),
                   QStringLiteral("The handheld's file (%1 bytes) is over the cradle's limit of %2 bytes. "
                                  "Nothing was copied.")
                       .arg(length)
                       .arg(m_maxBytes));
}

std::optional<CradleAnswer> CradleService::checkHead(const CradleHead& head, qint32* syncing) const {
    if (head.path == "/status") {
        if (head.method != "GET")
            return refusal(405, QStringLiteral("method-not-allowed"), QStringLiteral("/status answers GET."));
        return std::nullopt;
    }
    if (head.path != "/sync")
        return refusal(404, QStringLiteral("not-found"),
                       QStringLiteral("The cradle answers POST /sync and GET /status only."));
    if (head.method != "POST")
        return refusal(405, QStringLiteral("method-not-allowed"), QStringLiteral("/sync answers POST."));
    if (head.authorization.isEmpty())
        return refusal(401, QStringLiteral("no-token"),
                       QStringLiteral("The request carries no device token (Authorization: Bearer TOKEN); "
                                      "kvctl cradle token N makes one."));
    std::optional<CradleAnswer> refused;
    std::optional<qint32> who;
    try {
        who = device(head.authorization);
        if (!who)
            refused =
                refusal(401, QStringLiteral("wrong-token"),
                        QStringLiteral("The device token is not one the cradle knows; kvctl cradle token N "
                                       "--renew makes a new one."));
    } catch (const RunTimeError& e) {
        refused = refusal(500, QStringLiteral("tokens-unreadable"), e.description());
    }
    if (refused) return refused;
    if (head.chunked || !head.length)
        refused = refusal(411, QStringLiteral("length-required"),
                          QStringLiteral("Send the handheld's file with a Content-Length."));
    else if (*head.length > m_maxBytes)
        refused = tooLarge(*head.length);
    if (refused) refused->device = *who;
    else *syncing = *who;
    return refused;
}

CradleAnswer CradleService::answer(const CradleHead& head, const QByteArray& body) {
    qint32 who = 0;
    if (std::optional<CradleAnswer> refused = checkHead(head, &who)) return *refused;
    if (head.path == "/status") return status();
    // The length was checked on the head; the body that came is what counts.
    if (body.size() > m_maxBytes) {
        CradleAnswer refused = tooLarge(body.size());
        refused.device = who;
        return refused;
    }
    if (m_syncing.exchange(true)) {
        CradleAnswer busy = refusal(503, QStringLiteral("sync-under-way"),
                                    QStringLiteral("Another sync is under way; try again when it has ended. "
                                                   "Nothing was copied."));
        busy.device = who;
        return busy;
    }
    CradleAnswer a;
    try {
        a = sync(who, body);
    } catch (...) {
        m_syncing = false;
        throw;
    }
    m_syncing = false;
    a.device = who;
    return a;
}

CradleAnswer CradleService::sync(qint32 device, const QByteArray& body) {
    // A folder of its own, owner-only: the file and the journals SQLite writes beside it go when
    // the request is over.
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/kvcradle-XXXXXX"));
    if (!work.isValid())
        return refusal(500, QStringLiteral("sync-failed"),
                       QStringLiteral("Cannot make a temporary folder: %1").arg(work.errorString()));
    const QString path = work.filePath(QStringLiteral("handheld.db"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(body) != body.size() || !file.flush())
            return refusal(500, QStringLiteral("sync-failed"),
                           QStringLiteral("Cannot keep the uploaded file: %1").arg(file.errorString()));
    }
    if (std::optional<CradleAnswer> refused = checkUpload(path)) return *refused;
    SyncResult result;
    try {
        result = hotSync(path, 0, {}, device);
    } catch (const RunTimeError& e) {
        const auto [status, error] = classify(e.number());
        return refusal(status, error, e.description());
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refusal(500, QStringLiteral("sync-failed"),
                       QStringLiteral("Cannot read the handheld after the sync: %1").arg(file.errorString()));
    CradleAnswer a;
    a.contentType = kSqliteType;
    a.body = file.readAll();
    a.outcome = QStringLiteral("copied %1 tables").arg(result.copies.size());
    return a;
}

CradleAnswer CradleService::status() const {
    FileConduitConfig library;
    ConduitRegistration conduit;
    const qint32 code = library.ReadConduit(kConduitName, &conduit);
    QJsonObject o{{QStringLiteral("conduit"), kConduitName},
                  {QStringLiteral("registered"), code == uc::Ok},
                  {QStringLiteral("enabled"), code == uc::Ok && conduit.enabled},
                  {QStringLiteral("maxBytes"), double(m_maxBytes)}};
    if (code == uc::Ok) {
        bool receives = false;
        for (const RegisteredTable& t : conduit.tables)
            receives = receives || t.transferCode == transfer::FromHandheld;
        o.insert(QStringLiteral("direction"), receives ? QStringLiteral("receive") : QStringLiteral("send"));
        o.insert(QStringLiteral("device"), conduit.device);
    } else if (code != uc::ConduitNotFound) {
        o.insert(QStringLiteral("problem"), MensajeConducto(code));
    }
    CradleAnswer a;
    a.contentType = "application/json";
    a.body = json(o);
    a.outcome = QStringLiteral("status");
    return a;
}

} // namespace kv::cradle
