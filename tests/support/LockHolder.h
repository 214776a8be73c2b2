#pragma once

#include "TestEnv.h"

#include <csignal>
#include <gtest/gtest.h>
#include <QProcess>

namespace kv::test {

// Another process holding the sync lock of a folder, as a running sync does (conduit_child).
class LockHolder {
public:
    explicit LockHolder(const QString& folder) {
        m_process.start(programPath(QStringLiteral("conduit_child")), {QStringLiteral("hold"), folder});
        if (!m_process.waitForStarted(5000)) return;
        while (!m_process.canReadLine() && m_process.state() == QProcess::Running)
            m_process.waitForReadyRead(5000);
        m_holding = m_process.readLine().trimmed() == "held";
    }
    ~LockHolder() { kill(); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    bool holding() const { return m_holding; }
    qint64 pid() const { return m_process.processId(); }

    // The sync ends normally: the child releases the lock and exits.
    void release() {
        m_process.closeWriteChannel();
        m_process.waitForFinished(5000);
        m_holding = false;
    }
    // The sync is killed.
    void kill() {
        if (m_process.state() != QProcess::NotRunning) {
            ::kill(pid_t(m_process.processId()), SIGKILL);
            m_process.waitForFinished(5000);
        }
        m_holding = false;
    }

private:
    QProcess m_process;
    bool m_holding = false;
};

} // namespace kv::test
