// kvcradle against clients that break the rules, over raw sockets: each attack is answered or
// dropped as HTTP and the cradle's limits say, leaves one well-formed log line, no folder behind,
// and the store, the ERP and the handheld as they were.
#include "conduit/Conducto.h"
#include "CradleFixture.h"

#include <iostream>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>

using namespace kv;

namespace {

using test::Cradle;
using test::NetworkCradle;

// What a raw client got back: the status of each answer in turn, and whether the cradle closed.
struct Outcome {
    QList<int> statuses;
    bool closed = false;
};

QList<int> statusesIn(const QByteArray& bytes) {
    QList<int> statuses;
    qsizetype at = 0;
    while (bytes.indexOf("HTTP/1.1 ", at) == at) {
        statuses << bytes.mid(at + 9, 3).toInt();
        const qsizetype end = bytes.indexOf("\r\n\r\n", at);
        if (end < 0) break;
        static const QRegularExpression length(QStringLiteral("(?i)\r\ncontent-length: (\\d+)"));
        const QString head = QString::fromLatin1(bytes.mid(at, end - at));
        at = end + 4 + length.match(head).captured(1).toLongLong();
    }
    return statuses;
}

// Sends `pieces` one by one (waiting up to `pauseMs` for an answer after each), then hangs up or
// reads until the cradle closes the connection (15 s at most).
Outcome attack(quint16 port, const QList<QByteArray>& pieces, int pauseMs, bool hangUp,
               const QHostAddress& from = QHostAddress()) {
    QTcpSocket s;
    if (!from.isNull()) s.bind(from);
    s.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    s.connectToHost(QHostAddress::LocalHost, port);
    Outcome o;
    if (!s.waitForConnected(5000)) return o;
    QByteArray got;
    for (const QByteArray& piece : pieces) {
        if (s.state() != QAbstractSocket::ConnectedState) break;
        s.write(piece);
        s.waitForBytesWritten(5000);
        if (pauseMs > 0) s.waitForReadyRead(pauseMs);
        got += s.readAll();
    }
    if (hangUp) return o;
    QElapsedTimer t;
    t.start();
    while (s.state() == QAbstractSocket::ConnectedState && t.elapsed() < 15000) {
        s.waitForReadyRead(200);
        got += s.readAll();
    }
    got += s.readAll();
    o.closed = s.state() != QAbstractSocket::ConnectedState;
    o.statuses = statusesIn(got);
    return o;
}

QByteArray get(const QByteArray& target, const QByteArray& more = {},
               const QByteArray& version = "HTTP/1.1") {
    return "GET " + target + ' ' + version + "\r\nHost: cradle\r\n" + more + "\r\n";
}

QByteArray post(const QByteArray& target, const QByteArray& headers) {
    return "POST " + target + " HTTP/1.1\r\nHost: cradle\r\nContent-Type: application/vnd.sqlite3\r\n" +
           headers + "\r\n";
}

QByteArray bearer(const QByteArray& token) {
    return "Authorization: Bearer " + token + "\r\n";
}

QByteArray manyHeaders(int n) {
    QByteArray out;
    for (int i = 0; i < n; ++i)
        out += "X-Field-" + QByteArray::number(i) + ": v\r\n";
    return out;
}

QList<QByteArray> inPieces(const QByteArray& bytes, qsizetype size) {
    QList<QByteArray> pieces;
    for (qsizetype at = 0; at < bytes.size(); at += size)
        pieces << bytes.mid(at, size);
    return pieces;
}

const QByteArray kBigHeader = "X-Pad: " + QByteArray(100 * 1024, 'a') + "\r\n";
const QByteArray kForged =
    "/status%0a2026-12-11T00:00:00Z%20127.0.0.1%20POST%20/sync%20device%201%20200%1b[2J";

struct Hostile {
    const char* name;
    QStringList options;
    std::function<QList<QByteArray>(const QByteArray& token)> send;
    int pauseMs;
    bool hangUp;
    QList<int> statuses; // empty: dropped with no answer
    const char* logged;  // a part of the log it leaves
    const char* never;   // what must not be logged
};

class HostileClients : public NetworkCradle, public ::testing::WithParamInterface<Hostile> {};

// A request line, a dropped connection's line, or one of the cradle's own: nothing else.
bool wellFormed(const QString& line) {
    static const QRegularExpression request(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ \\S+ \\S+ \\S+ device \\S+ "
                       "(\\d{3}|dropped) \\S.* in \\d+ out "
                       "\\d+ bytes \\d+\\.\\d\\d s$"));
    static const QRegularExpression own(QStringLiteral("^(\\S+Z )?kvcradle: "));
    return request.match(line).hasMatch() || own.match(line).hasMatch();
}

TEST_P(HostileClients, AreHeldToTheLimitsAndChangeNothing) {
    const Hostile& c = GetParam();
    ASSERT_EQ(RegistrarConducto(false, 1), 0); // the program waits for device 1's send
    Cradle cradle(home, c.options);
    ASSERT_FALSE(cradle.url().isEmpty()) << cradle.log().toStdString();
    const QList<QByteArray> before = files();

    const Outcome o = attack(cradle.port(), c.send(tokens[1]), c.pauseMs, c.hangUp);
    if (!c.hangUp) {
        EXPECT_EQ(o.statuses, c.statuses);
        EXPECT_TRUE(o.closed) << "the connection was kept";
    }
    QString log = cradle.log();
    QElapsedTimer t;
    t.start();
    while (!log.contains(QLatin1String(c.logged)) && t.elapsed() < 15000)
        log = cradle.log();
    EXPECT_TRUE(log.contains(QLatin1String(c.logged))) << log.toStdString();
    if (*c.never) {
        EXPECT_FALSE(log.contains(QLatin1String(c.never))) << log.toStdString();
    }
    for (const QString& line : log.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        EXPECT_TRUE(wellFormed(line)) << line.toStdString();
    EXPECT_EQ(cradle.requestFolders(), QStringList());
    EXPECT_EQ(files(), before) << "the store, the ERP or the handheld changed";
    // The cradle is still there for the next client.
    EXPECT_EQ(attack(cradle.port(), {get("/status", "Connection: close\r\n")}, 0, false).statuses,
              QList<int>{200});
}

INSTANTIATE_TEST_SUITE_P(
    Attacks, HostileClients,
    ::testing::Values(
        Hostile{"status_with_a_huge_declared_body",
                {},
                [](const QByteArray&) {
                    return QList<QByteArray>{get("/status", "Content-Length: 400000000\r\n"),
                                             QByteArray(1 << 20, 'x')};
                },
                500,
                false,
                {413},
                "GET /status device - 413 too-large in 0 ",
                ""},
        Hostile{"huge_body_without_a_token",
                {},
                [](const QByteArray&) {
                    return QList<QByteArray>{post("/sync", "Content-Length: 400000000\r\n"),
                                             QByteArray(1 << 20, 'x')};
                },
                500,
                false,
                {401},
                "POST /sync device - 401 no-token in 0 ",
                ""},
        Hostile{"huge_body_in_chunks",
                {QStringLiteral("--max-size"), QStringLiteral("2")},
                [](const QByteArray& token) {
                    const QByteArray chunk = "100000\r\n" + QByteArray(0x100000, 'x') + "\r\n";
                    return QList<QByteArray>{post("/sync", bearer(token) + "Transfer-Encoding: chunked\r\n"),
                                             chunk, chunk, chunk, "0\r\n\r\n"};
                },
                500,
                false,
                {411},
                "POST /sync device 1 411 length-required in 0 ",
                ""},
        Hostile{"head_of_100_kb_in_one_write",
                {},
                [](const QByteArray&) { return QList<QByteArray>{get("/status", kBigHeader)}; },
                0,
                false,
                {431},
                "/status device - 431 head-too-large",
                ""},
        Hostile{"head_of_100_kb_dripped",
                {},
                [](const QByteArray&) { return inPieces(get("/status", kBigHeader), 1024); },
                20,
                false,
                {431},
                "/status device - 431 head-too-large",
                ""},
        Hostile{"100_headers_with_a_valid_token",
                {},
                [](const QByteArray& token) {
                    return QList<QByteArray>{post("/sync", manyHeaders(100) + bearer(token) +
                                                               "Content-Length: 5\r\nConnection: close\r\n"),
                                             "hello"};
                },
                500,
                false,
                {431},
                "POST /sync device - 431 too-many-headers",
                "no-token"},
        Hostile{"100_headers_allowed_and_authorised",
                {QStringLiteral("--headers"), QStringLiteral("128")},
                [](const QByteArray& token) {
                    return QList<QByteArray>{post("/sync", manyHeaders(100) + bearer(token) +
                                                               "Content-Length: 5\r\nConnection: close\r\n") +
                                             "hello"};
                },
                0,
                false,
                {422},
                "POST /sync device 1 422 ",
                "no-token"},
        Hostile{"pipelined_requests",
                {},
                [](const QByteArray& token) {
                    const QByteArray fake = get("/evil");
                    return QList<QByteArray>{
                        get("/status") +
                        post("/sync",
                             bearer(token) + "Content-Length: " + QByteArray::number(fake.size()) + "\r\n") +
                        fake + get("/nothing") + get("/status", "Connection: close\r\n")};
                },
                0,
                false,
                {200, 422, 404, 200},
                "GET /nothing device - 404 not-found",
                "/evil"},
        Hostile{"http_1_0_closes_after_its_answer",
                {},
                [](const QByteArray&) { return QList<QByteArray>{get("/status", {}, "HTTP/1.0")}; },
                0,
                false,
                {200},
                "GET /status device - 200 ",
                ""},
        Hostile{"connection_close_closes_after_its_answer",
                {},
                [](const QByteArray&) { return QList<QByteArray>{get("/status", "Connection: close\r\n")}; },
                0,
                false,
                {200},
                "GET /status device - 200 ",
                ""},
        Hostile{"client_dripping_past_the_deadline",
                {QStringLiteral("--deadline"), QStringLiteral("2")},
                [](const QByteArray&) {
                    return inPieces(get("/status", "X-Slow: " + QByteArray(60, 'a') + "\r\n"), 1);
                },
                300,
                false,
                {},
                " dropped deadline in ",
                ""},
        Hostile{"control_characters_in_the_path",
                {},
                [](const QByteArray&) { return QList<QByteArray>{get(kForged, "Connection: close\r\n")}; },
                0,
                false,
                {404},
                "GET /status\\x0a2026-12-11T00:00:00Z\\x20127.0.0.1\\x20POST",
                "\x1b"},
        Hostile{"client_closing_mid_body",
                {},
                [](const QByteArray& token) {
                    return QList<QByteArray>{post("/sync", bearer(token) + "Content-Length: 1000000\r\n"),
                                             "SQLite format 3" + QByteArray(100000, '\0')};
                },
                0,
                true,
                {},
                "POST /sync device - dropped client-closed-mid-body in 100015 ",
                ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A hundred connections left hanging from one address, under a file limit of 64, while a
// handheld elsewhere syncs as usual.
TEST_F(NetworkCradle, SlowSocketsUnderALowFileLimitLeaveRoomForASync) {
    Cradle cradle(home, {QStringLiteral("--timeout"), QStringLiteral("120")}, 64);
    ASSERT_FALSE(cradle.url().isEmpty()) << cradle.log().toStdString();
    std::vector<std::unique_ptr<QTcpSocket>> slow;
    for (int i = 0; i < 100; ++i) {
        auto s = std::make_unique<QTcpSocket>();
        s->bind(QHostAddress(QStringLiteral("127.0.0.2")));
        s->connectToHost(QHostAddress::LocalHost, cradle.port());
        if (s->waitForConnected(2000)) s->write("GET /sta");
        s->flush();
        slow.push_back(std::move(s));
    }
    const QString send = sendThrough(cradle.url());
    EXPECT_TRUE(send.contains(QStringLiteral("Se sincronizaron los datos con exito!!!")))
        << send.toStdString();
    const QString log = cradle.log();
    EXPECT_TRUE(log.contains(QStringLiteral("the process may open too few files"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("reached connection limit"))) << log.toStdString();
}

// Ten uploads of 40 MB at once go to files, not to memory.
TEST_F(NetworkCradle, ParallelLargeUploadsKeepMemoryFlat) {
    ASSERT_EQ(RegistrarConducto(false, 1), 0);
    Cradle cradle(home, {QStringLiteral("--max-size"), QStringLiteral("64"), QStringLiteral("--per-address"),
                         QStringLiteral("16")});
    ASSERT_FALSE(cradle.url().isEmpty()) << cradle.log().toStdString();
    const QList<QByteArray> before = files();
    const qint64 idleKb = cradle.peakKb();
    const QString upload = home.file(QStringLiteral("upload.bin"));
    QFile big(upload);
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    big.write("SQLite format 3" + QByteArray(40 * 1000 * 1000, 'x'));
    big.close();
    std::vector<std::unique_ptr<QProcess>> clients;
    for (int i = 0; i < 10; ++i) {
        auto p = std::make_unique<QProcess>();
        p->start(QStringLiteral("curl"),
                 {QStringLiteral("-sS"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                  QStringLiteral("-H"), QStringLiteral("Authorization: Bearer ") + tokens[1],
                  QStringLiteral("--data-binary"), QLatin1Char('@') + upload,
                  cradle.url() + QStringLiteral("/sync")});
        clients.push_back(std::move(p));
    }
    for (auto& p : clients) {
        if (!p->waitForStarted(5000)) GTEST_SKIP() << "curl is not installed";
        EXPECT_TRUE(p->waitForFinished(120000));
    }
    const qint64 peakKb = cradle.peakKb();
    std::cout << "kvcradle peak memory: " << idleKb / 1024 << " MB idle, " << peakKb / 1024
              << " MB with 10 parallel 40 MB uploads\n";
    EXPECT_LT(peakKb, 200 * 1024);
    EXPECT_EQ(cradle.log().count(QStringLiteral(" in 40000015 ")), 10) << cradle.log().toStdString();
    EXPECT_EQ(files(), before);
}

} // namespace
