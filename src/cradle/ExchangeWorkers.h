#pragma once

#include "cradle/ExchangeReport.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kv::cradle {

// How the cradle runs its exchanges: each in a process of its own (the cradle's program again,
// with `arguments` before the exchange's own), so no two share the program's ERP and store
// connections, and a handheld's file that brings a worker down brings down no other exchange.
struct ExchangeWorkersOptions {
    QString program;         // empty: exchanges are off
    QStringList arguments;   // e.g. {"--exchange-worker"}
    unsigned limit = 4;      // exchanges at once
    QByteArray launch;       // the ERP's launch string, handed on in KVCONTROL_LAUNCH (never argv)
    std::chrono::seconds within{300}; // a worker still running then is stopped
    std::chrono::seconds workBudget{120}; // the handheld file's work budget
    // How long an exchange waits for a place when `limit` are under way, before it is turned
    // away: a burst of handhelds is smoothed instead of each being told to come back later.
    std::chrono::milliseconds queueFor{1000};
};

class ExchangeWorkers {
public:
    explicit ExchangeWorkers(ExchangeWorkersOptions options);

    bool enabled() const { return !m_options.program.isEmpty(); }
    unsigned limit() const { return m_options.limit; }
    unsigned underWay() const;

    struct Outcome {
        bool busy = false;                   // `limit` exchanges stayed under way: none was started
        std::optional<ExchangeReport> report;
        QString fault;                       // why there is no report (names the server's files)
    };
    // Runs the exchange of the handheld in `folder` (its "handheld.db") for `device` and waits for
    // it. The worker's messages go to "worker.log" in the folder.
    Outcome run(qint32 device, const QString& folder);

private:
    QString waitFor(long pid, const QString& folder) const;

    ExchangeWorkersOptions m_options;
    mutable std::mutex m_mutex;
    std::condition_variable m_placeFree;
    unsigned m_underWay = 0;
};

} // namespace kv::cradle
