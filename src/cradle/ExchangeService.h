#pragma once

#include "cradle/AwaitingConfirmation.h"
#include "cradle/CradleService.h"
#include "cradle/ExchangeWorkers.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

namespace kv::cradle {

class RequestFolder;

// The exchanges of the network cradle: POST /exchange brings a handheld's documents into the ERP
// and takes its fresh data back in one request, with nobody at a cradle, and POST /exchange/ID/done
// confirms the handheld has stored its answer. Each runs in a worker process and a private store
// of its own (ExchangeWorkers, runExchange), so exchanges run side by side, and beside the
// operator's send and receive, without seeing each other's data.
//
// An exchange counts once confirmed: its history row says done. One not confirmed within
// `confirmWithin` is dropped and recorded as failed; what it imported stays in the ERP, and the
// next exchange of the handheld finds those documents there and drops them then.
class ExchangeService {
public:
    ExchangeService(const CradleLimits& limits, ExchangeWorkersOptions workers);
    ~ExchangeService();

    // `bodyFile` holds the handheld's file; it is moved away.
    CradleAnswer exchange(qint32 device, const QString& bodyFile);
    CradleAnswer confirm(qint32 device, const QByteArray& id);
    QStringList expire();
    void stop();
    bool idle() const;
    std::optional<std::chrono::steady_clock::time_point> nextDeadline() const;
    // {"offered", "limit", "underWay"} for the cradle's status.
    void describe(QJsonObject& status) const;

private:
    struct HeldExchange {
        ExchangeReport report;
        std::unique_ptr<RequestFolder> folder; // the answer lives here until confirmed or dropped
    };
    CradleAnswer answered(qint32 device, ExchangeReport report, std::unique_ptr<RequestFolder> folder);
    CradleAnswer stopped(const ExchangeReport& report);

    const CradleLimits& m_limits;
    ExchangeWorkers m_workers;
    mutable std::mutex m_mutex; // guards everything below
    bool m_stopping = false;
    AwaitingConfirmation<HeldExchange> m_pending;
};

} // namespace kv::cradle
