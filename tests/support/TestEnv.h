#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

class QProcess;

#include <ostream>

// Readable failure messages: gtest prints texts as texts, not as lists of bytes.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace kv::test {

// A fresh application folder for one test: $KVCONTROL_HOME points at it while the object lives.
class TempHome {
public:
    TempHome();
    ~TempHome();
    QString path() const;                      // without trailing "/"
    QString file(const QString& name) const;   // path inside it
private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
};

// Connection parameters of the throwaway PostgreSQL server that ./test starts
// (KV_TEST_PG: a libpq conninfo). Empty when no server was started.
QString postgresConnInfo();
// A new, empty PostgreSQL database on that server, dropped when the object goes.
class TempPgDatabase {
public:
    TempPgDatabase();
    ~TempPgDatabase();
    bool available() const { return !m_name.isEmpty(); }
    QString name() const { return m_name; }
    QString host() const;
    int port() const;
    QString user() const;
    QString connInfo() const; // libpq conninfo of the new database
private:
    QString m_name;
};

// A PostgreSQL server of the test's own (its own cluster in a temporary folder, on a free
// loopback port), for tests that stop and restart the server: the shared one must stay up for
// the other tests. Needs the server binaries (./test installs them).
class PrivatePgServer {
public:
    PrivatePgServer();
    ~PrivatePgServer();
    bool available() const { return m_port > 0; }
    int port() const { return m_port; }
    QString connInfo(const QString& dbname = QStringLiteral("postgres")) const;
    bool stop();  // immediate shutdown, as a crash or a pulled cable would end it
    bool start();
    bool createDatabase(const QString& name);

private:
    bool run(const QStringList& command, int timeoutMs = 60000);
    QTemporaryDir m_dir;
    QString m_bin;
    int m_port = 0;
};

// Path of a built program (kvctl, kvhandheld, kverp ...).
QString programPath(const QString& name);

// One run of a built program, as a person at a terminal would run it (no standard input).
struct ToolRun {
    int exitCode = -1;
    bool crashed = false; // killed by a signal or by the time limit
    QString out;
    QString err;
};
ToolRun runTool(const QString& name, const QStringList& args, int timeoutMs = 120000);
// The same with --home and the application folder first.
class TempHome;
ToolRun runTool(const QString& name, const TempHome& home, const QStringList& args, int timeoutMs = 120000);

// Reads a running program's standard output into `seen` until it holds `text`, the program ends
// or ten seconds pass; true when the text came.
bool waitForOutput(QProcess& process, QByteArray& seen, const QByteArray& text);

// Skip the current test when no PostgreSQL server is available (ctest run without ./test).
#define KV_REQUIRE_PG(db)                                                                        \
    do {                                                                                         \
        if (!(db).available()) GTEST_SKIP() << "no PostgreSQL test server (run ./test)";          \
    } while (0)

} // namespace kv::test
