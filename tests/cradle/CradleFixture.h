#pragma once

#include "TableRows.h"
#include "TestEnv.h"

#include <functional>
#include <gtest/gtest.h>
#include <QHostAddress>
#include <QMap>
#include <QProcess>

namespace kv::test {

// kvcradle started on a free loopback port, read until it says where it listens. Its temporary
// folder is one of its own, so what it leaves there can be seen; `maxFiles` sets its own file
// limit (the machine's stays as it is).
class Cradle {
public:
    explicit Cradle(const TempHome& home, const QStringList& extra = {}, int maxFiles = 0);
    ~Cradle();
    QString url() const { return m_url; }
    quint16 port() const;
    qint64 pid() const { return m_process.processId(); }
    // What it logged so far (a line is written as its request is answered).
    QString log();
    // The request folders it has in its temporary folder now.
    QStringList requestFolders() const;
    // Sends SIGTERM and waits (at most `ms`) for it to end; its exit status, -1 if still running.
    int terminate(int ms = 30000);
    // Waits (at most `ms`) for it to end by itself; its exit status, -1 if still running.
    int exitStatus(int ms = 30000);
    void signal(int number);
    // Its peak memory (VmHWM) in kB.
    qint64 peakKb() const;

private:
    QProcess m_process;
    QByteArray m_log;
    QString m_url;
    QString m_temp;
};

struct Reply {
    int status = 0;
    QString error;
    QString message;
    QByteArray body;
    QByteArray syncId; // X-Kvcradle-Sync
};
Reply request(const QString& url, const QByteArray* body, const QByteArray& token,
              const QString& caCert = {});

QByteArray contents(const QString& path);

// A demo ERP in a file, the local sync store, handheld 1 (device 1) and a token per device.
class NetworkCradle : public ::testing::Test {
protected:
    void SetUp() override;
    ToolRun kvhandheld(const QStringList& command);
    // The launch string of the fixture's ERP.
    QString launch() const;
    QStringList kvctlArgs(const QStringList& command) const;
    // Runs a waiting kvctl command and, once it waits, syncs with `sync`; kvctl's whole output.
    QString withSync(const QStringList& command, const std::function<void()>& sync);
    // Device 1's send, waited for by kvctl and synced by kvhandheld through the cradle at `url`.
    QString sendThrough(const QString& url);
    QStringList rows(const QString& path, const QString& sql) {
        return canonicalRows(checks.file(path), sql);
    }
    // The store, the ERP and the handheld, byte for byte.
    QList<QByteArray> files() const { return {contents(store), contents(erpPath), contents(palm)}; }

    TempHome home;
    const QString erpPath = home.file(QStringLiteral("erp.db"));
    const QString store = home.file(QStringLiteral("kvpalmsync.mdb"));
    const QString palm = home.file(QStringLiteral("palm1.db"));
    QMap<int, QByteArray> tokens;
    Databases checks;
};

} // namespace kv::test
