#include "cradle/ExchangeService.h"

#include "app/RunTimeError.h"
#include "cradle/CradleRefusals.h"
#include "cradle/RequestFolder.h"
#include "cradle/ExchangeHistory.h"
#include "history/JobHistory.h"

#include <list>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

namespace kv::cradle {

namespace {

// An ERP that cannot take documents now is usually back within a minute.
const QByteArray kErpRetryAfter = "30";
// A place among the exchanges frees within a second or so.
const QByteArray kBusyRetryAfter = "1";

using Stage = ExchangeReport::Stage;

CradleAnswer reportAnswer(const QByteArray& report) {
    CradleAnswer a;
    a.contentType = "application/json";
    a.body = report;
    return a;
}

} // namespace

ExchangeService::ExchangeService(const CradleLimits& limits, ExchangeWorkersOptions workers)
    : m_limits(limits), m_workers(std::move(workers)) {}

ExchangeService::~ExchangeService() = default;

CradleAnswer ExchangeService::exchange(qint32 device, const QString& bodyFile) {
    {
        std::lock_guard guard(m_mutex);
        if (m_stopping)
            return busy(QStringLiteral("stopping"),
                        QStringLiteral("The cradle is stopping; exchange again in a moment. Nothing was read."));
    }
    if (!m_workers.enabled())
        return CradleService::refusal(
            409, QStringLiteral("exchange-off"),
            QStringLiteral("This cradle takes no exchanges: it was started without the ERP's launch string "
                           "(--launch-file or KVCONTROL_LAUNCH). Nothing was read."));
    if (const qint64 size = QFileInfo(bodyFile).size(); size > m_limits.maxBytes)
        return CradleService::refusal(413, QStringLiteral("too-large"),
                                      QStringLiteral("The handheld's file (%1 bytes) is over the cradle's limit "
                                                     "of %2 bytes. Nothing was read.")
                                          .arg(size)
                                          .arg(m_limits.maxBytes));
    if (std::optional<CradleAnswer> refused = checkUpload(bodyFile)) return *refused;
    auto folder = std::make_unique<RequestFolder>();
    if (!folder->isValid())
        return fault(QStringLiteral("cannot make a temporary folder: %1").arg(folder->errorString()));
    const QString handheld = folder->filePath(QStringLiteral("handheld.db"));
    if (!QFile::rename(bodyFile, handheld) && !QFile::copy(bodyFile, handheld))
        return fault(QStringLiteral("cannot keep the uploaded file in %1").arg(handheld));

    ExchangeWorkers::Outcome run = m_workers.run(device, QFileInfo(handheld).absolutePath());
    if (run.busy)
        return busy(QStringLiteral("exchanges-busy"),
                    QStringLiteral("%1 exchanges are under way, the most this cradle runs at once; exchange "
                                   "again in a moment. Nothing was read.")
                        .arg(m_workers.limit()),
                    kBusyRetryAfter);
    if (!run.report) return fault(run.fault);
    if (run.report->stage != Stage::Answered) return stopped(*run.report);
    return answered(device, std::move(*run.report), std::move(folder));
}

// An exchange that stopped before its answer: the handheld keeps its file as it was; what was
// imported before the stop is in the ERP and recorded.
CradleAnswer ExchangeService::stopped(const ExchangeReport& report) {
    const RunTimeError error(report.errorNumber, report.errorText, QStringLiteral("exchange"));
    CradleAnswer a;
    switch (report.stage) {
    case Stage::File:
        return failedSync(error); // refused before anything was read into the ERP: no record
    case Stage::Erp:
        a = busy(QStringLiteral("erp-unavailable"),
                 QStringLiteral("The ERP cannot take the documents now (it cannot be reached, its connection "
                                "was lost or another import held it too long). The handheld keeps everything; "
                                "exchange again later."),
                 kErpRetryAfter);
        break;
    case Stage::Export:
        a = CradleService::refusal(500, QStringLiteral("export-failed"),
                                   QStringLiteral("The handheld's data could not be exported from the ERP (%1 "
                                                  "failed); the handheld keeps its data and its documents.")
                                       .arg(report.failedSteps.isEmpty() ? QStringLiteral("the export")
                                                                         : report.failedSteps.join(QStringLiteral(", "))));
        break;
    default:
        if (std::optional<CradleAnswer> refused = contentRefusal(error)) a = *refused;
        else a = fault(report.errorText);
        break;
    }
    a.outcome += QStringLiteral(" (%1)").arg(report.errorText);
    history::recordJob(exchangeRecord(report, history::Outcome::Failed, report.errorText));
    return a;
}

CradleAnswer ExchangeService::answered(qint32 device, ExchangeReport report, std::unique_ptr<RequestFolder> folder) {
    const QByteArray id = newSyncId();
    CradleAnswer a;
    a.contentType = kSqliteType;
    a.file = folder->filePath(QStringLiteral("handheld.db"));
    a.headers.emplaceBack(kSyncHeader, id);
    a.headers.emplaceBack("X-Kvcradle-Imported", QByteArray::number(report.imported.size() + report.existing.size()));
    a.headers.emplaceBack("X-Kvcradle-Refused", QByteArray::number(report.refused.size()));
    a.outcome = QStringLiteral("exchanged %1 documents in (%2 found already, %3 refused), %4 tables out; "
                               "exchange %5 awaits its confirmation")
                    .arg(report.imported.size())
                    .arg(report.existing.size())
                    .arg(report.refused.size())
                    .arg(report.tables.size())
                    .arg(QString::fromLatin1(id));
    std::lock_guard guard(m_mutex);
    m_pending.add(id, {device, std::chrono::steady_clock::now() + m_limits.confirmWithin,
                       HeldExchange{std::move(report), std::move(folder)}});
    return a;
}

CradleAnswer ExchangeService::confirm(qint32 device, const QByteArray& id) {
    std::optional<AwaitingConfirmation<HeldExchange>::Entry> pending;
    {
        std::lock_guard guard(m_mutex);
        pending = m_pending.take(id, device);
        if (!pending) {
            if (const std::optional<QByteArray> report = m_pending.confirmedAnswer(id, device)) {
                CradleAnswer again = reportAnswer(*report);
                again.outcome = QStringLiteral("exchange %1 confirmed already").arg(QString::fromLatin1(id));
                return again;
            }
            return CradleService::refusal(
                404, QStringLiteral("unknown-exchange"),
                QStringLiteral("No exchange %1 of this device awaits its confirmation: it was not confirmed "
                               "within %2 s and was dropped, or never was. Exchange again: documents already "
                               "in the ERP are not brought twice.")
                    .arg(QString::fromLatin1(id))
                    .arg(m_limits.confirmWithin.count()));
        }
    }
    const ExchangeReport& r = pending->item.report;
    history::recordJob(exchangeRecord(r, history::Outcome::Done, QString()));
    CradleAnswer a = reportAnswer(reportForHandheld(r, id));
    a.outcome = QStringLiteral("exchange %1 confirmed: %2 documents in, %3 refused")
                    .arg(QString::fromLatin1(id))
                    .arg(r.imported.size() + r.existing.size())
                    .arg(r.refused.size());
    std::lock_guard guard(m_mutex);
    m_pending.confirmed(id, device, a.body);
    return a;
}

QStringList ExchangeService::expire() {
    std::list<std::pair<QByteArray, AwaitingConfirmation<HeldExchange>::Entry>> overdue;
    {
        std::lock_guard guard(m_mutex);
        overdue = m_pending.takeOverdue(std::chrono::steady_clock::now());
    }
    QStringList lines;
    for (auto& [id, pending] : overdue) {
        const QString why =
            QStringLiteral("not confirmed within %1 s: the handheld keeps its documents; the %2 imported stay "
                           "in the ERP and leave the handheld at its next exchange")
                .arg(m_limits.confirmWithin.count())
                .arg(pending.item.report.imported.size());
        history::recordJob(exchangeRecord(pending.item.report, history::Outcome::Failed, why));
        lines << QStringLiteral("exchange %1 of device %2 dropped: %3")
                     .arg(QString::fromLatin1(id))
                     .arg(pending.device)
                     .arg(why);
    }
    return lines;
}

void ExchangeService::stop() {
    std::lock_guard guard(m_mutex);
    m_stopping = true;
}

bool ExchangeService::idle() const {
    std::lock_guard guard(m_mutex);
    return m_pending.empty() && m_workers.underWay() == 0;
}

std::optional<std::chrono::steady_clock::time_point> ExchangeService::nextDeadline() const {
    std::lock_guard guard(m_mutex);
    return m_pending.nextDeadline();
}

void ExchangeService::describe(QJsonObject& status) const {
    status.insert(QStringLiteral("exchanges"),
                  QJsonObject{{QStringLiteral("offered"), m_workers.enabled()},
                              {QStringLiteral("limit"), double(m_workers.limit())},
                              {QStringLiteral("underWay"), double(m_workers.underWay())}});
}

} // namespace kv::cradle
