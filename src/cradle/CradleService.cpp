#include "cradle/CradleService.h"

#include "app/RunTimeError.h"
#include "conduit/Conducto.h"
#include "conduit/FileConduitConfig.h"
#include "cradle/AppFiles.h"
#include "cradle/CradleRefusals.h"
#include "cradle/CradleTokens.h"
#include "cradle/ExchangeService.h"
#include "cradle/HandheldGuard.h"
#include "cradle/HotSync.h"
#include "cradle/RequestFolder.h"
#include "cradle/SqliteFile.h"
#include "store/StoreFile.h"

#include <cctype>
#include <list>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

namespace kv::cradle {

QByteArray confirmedSyncId(const QByteArray& path) {
    return confirmedId(path, "/sync");
}

QByteArray confirmedExchangeId(const QByteArray& path) {
    return confirmedId(path, "/exchange");
}

CradleService::CradleService(CradleLimits limits)
    : m_limits(limits), m_app(std::make_unique<AppFiles>()),
      m_exchanges(std::make_unique<ExchangeService>(m_limits, ExchangeWorkersOptions{})) {}

void CradleService::offerExchanges(const ExchangeWorkersOptions& workers) {
    m_exchanges = std::make_unique<ExchangeService>(m_limits, workers);
}

void CradleService::setAppFolder(const QString& folder) {
    m_app = std::make_unique<AppFiles>(folder);
}

CradleService::~CradleService() = default;

CradleAnswer CradleService::refusal(int status, const QString& error, const QString& message) {
    CradleAnswer a;
    a.status = status;
    a.contentType = "application/json";
    a.body = json({{QStringLiteral("error"), error}, {QStringLiteral("message"), message}});
    a.outcome = error;
    return a;
}

std::optional<qint32> CradleService::deviceOf(const QByteArray& authorization) const {
    static const QByteArray scheme = "bearer ";
    if (!authorization.toLower().startsWith(scheme)) return std::nullopt;
    return CradleTokens().deviceFor(authorization.mid(scheme.size()).trimmed());
}

qint64 CradleService::bodyLimit(const CradleHead& head) const {
    return head.path == "/sync" || head.path == "/exchange" ? m_limits.maxBytes : 0;
}

std::optional<CradleAnswer> CradleService::checkHead(const CradleHead& head) const {
    qint32 who = 0;
    return checkHead(head, &who);
}

CradleAnswer CradleService::tooLarge(qint64 length, qint64 limit) const {
    if (limit == 0)
        return refusal(413, QStringLiteral("too-large"),
                       QStringLiteral("This request takes no body (%1 bytes were declared).").arg(length));
    return refusal(413, QStringLiteral("too-large"),
                   QStringLiteral("The handheld's file (%1 bytes) is over the cradle's limit of %2 bytes. "
                                  "Nothing was copied.")
                       .arg(length)
                       .arg(limit));
}

std::optional<CradleAnswer> CradleService::checkHead(const CradleHead& head, qint32* device) const {
    const bool confirmation = !confirmedSyncId(head.path).isEmpty() || !confirmedExchangeId(head.path).isEmpty();
    const bool upload = head.path == "/sync" || head.path == "/exchange";
    const qint64 limit = bodyLimit(head);
    if (head.path == "/status") {
        if (head.method != "GET")
            return refusal(405, QStringLiteral("method-not-allowed"), QStringLiteral("/status answers GET."));
        if (head.length.value_or(0) > limit || head.chunked) return tooLarge(head.length.value_or(0), limit);
        return std::nullopt;
    }
    if (AppFiles::handles(head.path)) {
        if (head.method != "GET" && head.method != "HEAD")
            return refusal(405, QStringLiteral("method-not-allowed"), QStringLiteral("/app/ answers GET."));
        if (head.length.value_or(0) > limit || head.chunked) return tooLarge(head.length.value_or(0), limit);
        return std::nullopt;
    }
    if (!upload && !confirmation)
        return refusal(404, QStringLiteral("not-found"),
                       QStringLiteral("The cradle answers GET /status, POST /sync, POST /sync/ID/done, POST "
                                      "/exchange, POST /exchange/ID/done and GET /app/."));
    if (head.method != "POST")
        return refusal(405, QStringLiteral("method-not-allowed"),
                       QStringLiteral("%1 answers POST.").arg(QString::fromUtf8(head.path)));
    if (head.authorization.isEmpty())
        return refusal(401, QStringLiteral("no-token"),
                       QStringLiteral("The request carries no device token (Authorization: Bearer TOKEN); "
                                      "kvctl cradle token N makes one."));
    std::optional<qint32> who;
    try {
        who = deviceOf(head.authorization);
    } catch (const RunTimeError& e) {
        return fault(e.description());
    }
    if (!who)
        return refusal(401, QStringLiteral("wrong-token"),
                       QStringLiteral("The device token is not one the cradle knows; kvctl cradle token N "
                                      "--renew makes a new one."));
    std::optional<CradleAnswer> refused;
    if (confirmation) {
        if (head.length.value_or(0) > limit || head.chunked) refused = tooLarge(head.length.value_or(0), limit);
    } else if (head.chunked || !head.length) {
        refused = refusal(411, QStringLiteral("length-required"),
                          QStringLiteral("Send the handheld's file with a Content-Length."));
    } else if (*head.length > limit) {
        refused = tooLarge(*head.length, limit);
    } else if (std::lock_guard guard(m_mutex); m_stopping) {
        refused = busy(QStringLiteral("stopping"),
                       QStringLiteral("The cradle is stopping; sync again in a moment. Nothing was copied."));
    }
    if (refused) refused->device = *who;
    else *device = *who;
    return refused;
}

CradleAnswer CradleService::answer(const CradleHead& head, const QString& bodyFile) {
    qint32 who = 0;
    if (std::optional<CradleAnswer> refused = checkHead(head, &who)) return *refused;
    if (head.path == "/status") return status();
    if (AppFiles::handles(head.path)) return m_app->answer(head.path);
    CradleAnswer a;
    if (const QByteArray id = confirmedSyncId(head.path); !id.isEmpty()) {
        a = confirm(who, id);
    } else if (const QByteArray exchange = confirmedExchangeId(head.path); !exchange.isEmpty()) {
        a = m_exchanges->confirm(who, exchange);
    } else if (head.path == "/exchange") {
        a = m_exchanges->exchange(who, bodyFile);
    } else {
        {
            std::lock_guard guard(m_mutex);
            if (m_syncing || !m_pending.empty()) {
                CradleAnswer refused =
                    busy(QStringLiteral("sync-under-way"),
                         QStringLiteral("Another sync is under way; try again when it has ended. Nothing was "
                                        "copied."));
                refused.device = who;
                return refused;
            }
            m_syncing = true;
        }
        try {
            a = sync(who, bodyFile);
        } catch (...) {
            std::lock_guard guard(m_mutex);
            m_syncing = false;
            throw;
        }
        std::lock_guard guard(m_mutex);
        m_syncing = false;
    }
    a.device = who;
    return a;
}

CradleAnswer CradleService::sync(qint32 device, const QString& bodyFile) {
    // The body that came is what counts, whatever was declared.
    if (const qint64 size = QFileInfo(bodyFile).size(); size > m_limits.maxBytes)
        return tooLarge(size, m_limits.maxBytes);
    if (std::optional<CradleAnswer> refused = checkUpload(bodyFile)) return *refused;
    // The copy and its journals live in a folder of the service's own until the sync is confirmed
    // or dropped; the request's folder goes when the request does.
    auto folder = std::make_unique<RequestFolder>();
    if (!folder->isValid())
        return fault(QStringLiteral("cannot make a temporary folder: %1").arg(folder->errorString()));
    const QString handheld = folder->filePath(QStringLiteral("handheld.db"));
    if (!QFile::rename(bodyFile, handheld) && !QFile::copy(bodyFile, handheld))
        return fault(QStringLiteral("cannot keep the uploaded file in %1").arg(handheld));
    const QString answerFile = folder->filePath(QStringLiteral("answer.db"));
    std::unique_ptr<PreparedSync> prepared;
    try {
        prepared = PreparedSync::prepare(handheld, device, m_limits.workBudget);
        prepared->writeAnswer(answerFile);
    } catch (const RunTimeError& e) {
        return failedSync(e);
    }
    const QByteArray id = newSyncId();
    CradleAnswer a;
    a.contentType = kSqliteType;
    a.file = answerFile;
    a.headers.emplaceBack(kSyncHeader, id);
    a.outcome = QStringLiteral("answered %1 tables, sync %2 awaits its confirmation")
                    .arg(prepared->result().copies.size())
                    .arg(QString::fromLatin1(id));
    std::lock_guard guard(m_mutex);
    m_pending.add(id, {device, std::chrono::steady_clock::now() + m_limits.confirmWithin,
                       HeldSync{std::move(prepared), std::move(folder)}});
    return a;
}

CradleAnswer CradleService::confirm(qint32 device, const QByteArray& id) {
    std::optional<AwaitingConfirmation<HeldSync>::Entry> pending;
    {
        std::lock_guard guard(m_mutex);
        pending = m_pending.take(id, device);
        if (!pending) {
            if (const std::optional<QByteArray> answered = m_pending.confirmedAnswer(id, device)) {
                CradleAnswer again;
                again.contentType = "application/json";
                again.body = *answered;
                again.outcome = QStringLiteral("sync %1 confirmed already").arg(QString::fromLatin1(id));
                return again;
            }
            return refusal(404, QStringLiteral("unknown-sync"),
                           QStringLiteral("No sync %1 of this device awaits its confirmation: it was not "
                                          "confirmed within %2 s and was dropped, or never was. Sync again.")
                               .arg(QString::fromLatin1(id))
                               .arg(m_limits.confirmWithin.count()));
        }
    }
    qsizetype tables = 0;
    try {
        tables = pending->item.sync->commit().copies.size();
    } catch (const RunTimeError& e) {
        return fault(e.description());
    }
    CradleAnswer a;
    a.contentType = "application/json";
    a.body = json({{QStringLiteral("confirmed"), true}, {QStringLiteral("tables"), double(tables)}});
    a.outcome = QStringLiteral("copied %1 tables, sync %2 confirmed").arg(tables).arg(QString::fromLatin1(id));
    std::lock_guard guard(m_mutex);
    m_pending.confirmed(id, device, a.body);
    return a;
}

QStringList CradleService::expire() {
    std::list<std::pair<QByteArray, AwaitingConfirmation<HeldSync>::Entry>> overdue;
    {
        std::lock_guard guard(m_mutex);
        overdue = m_pending.takeOverdue(std::chrono::steady_clock::now());
    }
    QStringList lines = m_exchanges->expire();
    for (auto& [id, pending] : overdue) {
        pending.item.sync->drop();
        lines << QStringLiteral("sync %1 of device %2 dropped: not confirmed within %3 s; nothing was copied")
                     .arg(QString::fromLatin1(id))
                     .arg(pending.device)
                     .arg(m_limits.confirmWithin.count());
    }
    return lines;
}

void CradleService::stop() {
    m_exchanges->stop();
    std::lock_guard guard(m_mutex);
    m_stopping = true;
}

bool CradleService::idle() const {
    if (!m_exchanges->idle()) return false;
    std::lock_guard guard(m_mutex);
    return !m_syncing && m_pending.empty();
}

std::optional<std::chrono::steady_clock::time_point> CradleService::nextDeadline() const {
    std::optional<std::chrono::steady_clock::time_point> next = m_exchanges->nextDeadline();
    std::lock_guard guard(m_mutex);
    const std::optional<std::chrono::steady_clock::time_point> mine = m_pending.nextDeadline();
    if (mine && (!next || *mine < *next)) next = mine;
    return next;
}

CradleAnswer CradleService::status() const {
    FileConduitConfig library;
    ConduitRegistration conduit;
    const qint32 code = library.ReadConduit(kConduitName, &conduit);
    QJsonObject o{{QStringLiteral("conduit"), kConduitName},
                  {QStringLiteral("registered"), code == uc::Ok},
                  {QStringLiteral("enabled"), code == uc::Ok && conduit.enabled},
                  {QStringLiteral("maxBytes"), double(m_limits.maxBytes)},
                  {QStringLiteral("confirmWithin"), double(m_limits.confirmWithin.count())}};
    if (code == uc::Ok) {
        bool receives = false;
        for (const RegisteredTable& t : conduit.tables)
            receives = receives || t.transferCode == transfer::FromHandheld;
        o.insert(QStringLiteral("direction"), receives ? QStringLiteral("receive") : QStringLiteral("send"));
        o.insert(QStringLiteral("device"), conduit.device);
    } else if (code != uc::ConduitNotFound) {
        o.insert(QStringLiteral("problem"), MensajeConducto(code));
    }
    m_exchanges->describe(o);
    CradleAnswer a;
    a.contentType = "application/json";
    a.body = json(o);
    a.outcome = QStringLiteral("status");
    return a;
}

} // namespace kv::cradle
