#include "CradleFixture.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace kv;

namespace {

using test::contents;
using test::Cradle;
using test::NetworkCradle;
using test::request;
using test::ToolRun;

// kvcradle serving exchanges of the fixture's ERP, and kvhandheld exchanging through it.
class Exchange : public NetworkCradle {
protected:
    // The ERP's launch string in an owner-only file, as kvcradle takes it.
    QStringList cradleArgs() {
        const QString file = home.file(QStringLiteral("erp.launch"));
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(launch().toUtf8());
        f.close();
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        return {QStringLiteral("--launch-file"), file};
    }
    ToolRun exchange(const QString& url, const QByteArray& token, const QStringList& extra = {}) {
        // The token as a person gives it, in the environment only.
        if (token.isEmpty())
            qunsetenv("KVCRADLE_TOKEN");
        else
            qputenv("KVCRADLE_TOKEN", token);
        const ToolRun r = kvhandheld(QStringList{QStringLiteral("exchange"), palm, QStringLiteral("--server"), url} + extra);
        qunsetenv("KVCRADLE_TOKEN");
        return r;
    }
    // The handheld with its first data and `orders` orders captured on it; their keys.
    QStringList captured(const QString& url, int orders) {
        const ToolRun first = exchange(url, tokens[1]);
        EXPECT_EQ(first.exitCode, 0) << first.err.toStdString();
        const ToolRun c = kvhandheld({QStringLiteral("capture"), palm, QStringLiteral("--orders"), QString::number(orders)});
        EXPECT_EQ(c.exitCode, 0) << c.err.toStdString();
        return rows(palm, QStringLiteral("SELECT MV_CPTE_TSNL FROM MV_CPTE"));
    }
    // How often each key is in the ERP.
    QStringList inErp(const QStringList& keys) {
        QStringList counts;
        for (const QString& key : keys)
            counts << rows(erpPath, QStringLiteral("SELECT count(*) FROM V_MV_CPTE WHERE trim(TC) = '%1' AND "
                                                   "IDCOMPROBANTE = '%2'")
                                        .arg(key.left(2), key.mid(2)))
                          .join(QLatin1Char(','));
        return counts;
    }
};

TEST_F(Exchange, DocumentsGoHomeAndFreshDataComesBack) {
    Cradle cradle(home, cradleArgs());
    ASSERT_FALSE(cradle.url().isEmpty()) << cradle.log().toStdString();
    const QStringList keys = captured(cradle.url(), 3);
    ASSERT_EQ(keys.size(), 3);

    const ToolRun r = exchange(cradle.url(), tokens[1], {QStringLiteral("--format"), QStringLiteral("json")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject report = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QStringList imported;
    for (const QJsonValue& k : report.value(QStringLiteral("imported")).toArray()) imported << k.toString();
    imported.sort();
    EXPECT_EQ(imported, keys) << r.out.toStdString();
    EXPECT_EQ(report.value(QStringLiteral("sent")).toInt(), 3);
    EXPECT_TRUE(report.value(QStringLiteral("refused")).toArray().isEmpty());
    EXPECT_FALSE(report.value(QStringLiteral("tables")).toArray().isEmpty());
    EXPECT_EQ(inErp(keys), QStringList(3, QStringLiteral("1")));
    EXPECT_TRUE(rows(palm, QStringLiteral("SELECT * FROM MV_CPTE")).isEmpty()) << "the documents stayed on it";
    EXPECT_FALSE(rows(palm, QStringLiteral("SELECT * FROM MA_CLIENTES")).isEmpty());
    EXPECT_TRUE(QDir(home.path()).entryList({QStringLiteral("palm1.db.*")}).isEmpty()) << "a file left beside it";
}

// Whatever stops an exchange before its answer is stored leaves the handheld byte for byte as
// it was, with a message saying why and the exit status of the table.
TEST_F(Exchange, AnAnswerNotStoredLeavesTheHandheldAsItWas) {
    Cradle cradle(home, cradleArgs());
    ASSERT_FALSE(cradle.url().isEmpty()) << cradle.log().toStdString();
    captured(cradle.url(), 2);
    const struct Case {
        const char* name;
        QByteArray token;
        QString url;
        int exitCode;
        const char* says;
    } cases[] = {
        {"no token", {}, cradle.url(), 2, "KVCRADLE_TOKEN"},
        {"wrong token", "not-a-token", cradle.url(), 1, "wrong-token"},
        {"another device's token", tokens[2], cradle.url(), 1, "wrong-device"},
        {"no cradle there", tokens[1], QStringLiteral("http://127.0.0.1:1"), 1, "No answer from the cradle"},
    };
    for (const Case& c : cases) {
        const QByteArray before = contents(palm);
        const ToolRun r = exchange(c.url, c.token);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.name << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(c.says))) << c.name << ": " << r.err.toStdString();
        EXPECT_EQ(contents(palm), before) << c.name;
        EXPECT_TRUE(QDir(home.path()).entryList({QStringLiteral("palm1.db.*")}).isEmpty()) << c.name;
    }
}

// A loopback proxy in front of kvcradle that kills it the moment a confirmation comes through,
// before passing it on: the handheld has stored its answer, and the cradle never hears of it.
class ConfirmationKiller {
public:
    ConfirmationKiller(quint16 upstream, pid_t cradle) : m_upstream(upstream), m_cradle(cradle) {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = loopback(0);
        socklen_t size = sizeof a;
        EXPECT_EQ(::bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        EXPECT_EQ(::listen(m_listener, 8), 0);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &size);
        m_port = ntohs(a.sin_port);
        m_accepting = std::thread([this] {
            for (int client; (client = ::accept(m_listener, nullptr, nullptr)) >= 0;)
                m_pipes.emplace_back([this, client] { pipe(client); });
        });
    }
    ~ConfirmationKiller() {
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        m_accepting.join();
        for (std::thread& t : m_pipes) t.join();
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

private:
    static sockaddr_in loopback(quint16 port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return a;
    }
    // Bytes both ways until either side closes, ten minutes at most.
    void pipe(int client) {
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in a = loopback(m_upstream);
        QByteArray request;
        if (::connect(server, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) {
            pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(10);
            while (std::chrono::steady_clock::now() < end && ::poll(fds, 2, 1000) >= 0) {
                char buffer[65536];
                const bool up = fds[0].revents != 0;
                if (!up && fds[1].revents == 0) continue;
                const ssize_t n = ::read(up ? client : server, buffer, sizeof buffer);
                if (n <= 0) break;
                if (up) {
                    request.append(buffer, n).remove(0, qMax<qsizetype>(0, request.size() - 4096));
                    if (request.contains("/done ")) {
                        ::kill(m_cradle, SIGKILL);
                        break;
                    }
                }
                if (::write(up ? server : client, buffer, size_t(n)) != n) break;
            }
        }
        ::close(server);
        ::close(client);
    }

    quint16 m_upstream;
    pid_t m_cradle;
    int m_listener = -1;
    quint16 m_port = 0;
    std::thread m_accepting;
    std::vector<std::thread> m_pipes;
};

// The cradle killed as the confirmation comes through, once kvhandheld exchange has stored its
// answer: it says the exchange did not count, and the next exchange, on a cradle started again,
// finds the handheld without those documents and the ERP with each of them once.
TEST_F(Exchange, ACradleKilledBeforeTheConfirmationLosesAndDoublesNothing) {
    QStringList keys;
    {
        Cradle cradle(home, cradleArgs());
        ASSERT_FALSE(cradle.url().isEmpty()) << cradle.log().toStdString();
        keys = captured(cradle.url(), 2);
        ConfirmationKiller proxy(cradle.port(), pid_t(cradle.pid()));
        const ToolRun r = exchange(proxy.url(), tokens[1]);
        EXPECT_EQ(r.exitCode, 1) << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String("did not take the confirmation"))) << r.err.toStdString();
        EXPECT_TRUE(rows(palm, QStringLiteral("SELECT * FROM MV_CPTE")).isEmpty()) << "the answer was not stored";
        EXPECT_EQ(cradle.exitStatus(), -1) << "the cradle was not killed";
    }
    Cradle again(home, cradleArgs());
    ASSERT_FALSE(again.url().isEmpty()) << again.log().toStdString();
    const ToolRun r = exchange(again.url(), tokens[1], {QStringLiteral("--format"), QStringLiteral("json")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject report = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_TRUE(report.value(QStringLiteral("imported")).toArray().isEmpty()) << r.out.toStdString();
    EXPECT_TRUE(report.value(QStringLiteral("existing")).toArray().isEmpty()) << r.out.toStdString();
    EXPECT_EQ(inErp(keys), QStringList(2, QStringLiteral("1")));
    EXPECT_TRUE(rows(palm, QStringLiteral("SELECT * FROM MV_CPTE")).isEmpty());
}

} // namespace
