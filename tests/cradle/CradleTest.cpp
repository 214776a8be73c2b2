#include "conduit/Conducto.h"
#include "CradleFixture.h"
#include "LockHolder.h"

#include <csignal>
#include <iostream>
#include <optional>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QUrl>

using namespace kv;

namespace {

using test::contents;
using test::Cradle;
using test::NetworkCradle;
using test::Reply;
using test::request;

// The README's careful curl form of a sync (section "With curl"), run as written.
const char* const kReadmeCurlSync = R"(
curl --fail -sS --data-binary @palm1.db -H "Authorization: Bearer $T" \
     -H "Content-Type: application/vnd.sqlite3" -D sync.head -o palm1.db.new "$URL/sync"
id=$(sed -n 's/^X-Kvcradle-Sync: *\([0-9a-f]*\).*/\1/Ip' sync.head)
mv palm1.db.new palm1.db
curl --fail -sS -d '' -H "Authorization: Bearer $T" "$URL/sync/$id/done"
)";

TEST_F(NetworkCradle, SendAndReceiveThroughKvcradle) {
    // Only the tokens' hashes are kept, in a file no one else may read.
    const QString kept = home.file(QStringLiteral("kvcradle.tokens"));
    EXPECT_FALSE(QFile::permissions(kept).testAnyFlags(QFile::ReadGroup | QFile::WriteGroup |
                                                       QFile::ReadOther | QFile::WriteOther));
    EXPECT_FALSE(contents(kept).contains(tokens[1]));
    Cradle cradle(home);
    ASSERT_FALSE(cradle.url().isEmpty()) << cradle.log().toStdString();

    const QString send = sendThrough(cradle.url());
    EXPECT_TRUE(send.contains(QStringLiteral("Se sincronizaron los datos con exito!!!")))
        << send.toStdString();
    for (const char* table : {"MA_CLIENTES", "MA_ARTICULOS", "MA_PRECIOS", "TA_VENDEDORES"}) {
        const QString all = QStringLiteral("SELECT * FROM ") + QLatin1String(table);
        EXPECT_EQ(rows(palm, all), rows(store, all)) << table;
    }
    ASSERT_FALSE(rows(palm, QStringLiteral("SELECT * FROM MA_CLIENTES")).isEmpty());

    // Documents captured on the handheld come home with a receive; this time curl is the handheld.
    ASSERT_EQ(kvhandheld({QStringLiteral("capture"), palm, QStringLiteral("--orders"), QStringLiteral("2")})
                  .exitCode,
              0);
    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    const QString receive = withSync({QStringLiteral("receive"), QStringLiteral("1")}, [&] {
        if (curl.isEmpty()) {
            const test::ToolRun r =
                kvhandheld({QStringLiteral("hotsync"), palm, QStringLiteral("--server"), cradle.url(),
                            QStringLiteral("--token"), QString::fromLatin1(tokens[1])});
            EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
            return;
        }
        // As the README says: the answer goes to a new file, which replaces the handheld only
        // when the sync succeeded, and then the sync is confirmed.
        QProcess p;
        p.setWorkingDirectory(home.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("T"), QString::fromLatin1(tokens[1]));
        env.insert(QStringLiteral("URL"), cradle.url());
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("bash"), {QStringLiteral("-euc"), QString::fromLatin1(kReadmeCurlSync)});
        EXPECT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        EXPECT_FALSE(QFile::exists(palm + QStringLiteral(".new")));
    });
    if (curl.isEmpty()) std::cout << "curl is not installed: the receive synced through kvhandheld\n";
    EXPECT_TRUE(receive.contains(QStringLiteral("Se actualizaron 2 comprobantes y se omitieron 0")))
        << receive.toStdString();
    EXPECT_EQ(
        rows(erpPath, QStringLiteral("SELECT COUNT(*) FROM V_MV_CPTE WHERE IdComprobante LIKE '0001%'")),
        QStringList{QStringLiteral("2")});
    const QString log = cradle.log();
    // Each sync answered, then counted when its handheld confirmed it.
    for (const char* line :
         {"POST /sync device 1 200 answered 16 tables", "device 1 200 copied 16 tables, sync",
          "POST /sync device 1 200 answered 3 tables", "device 1 200 copied 3 tables, sync"})
        EXPECT_TRUE(log.contains(QLatin1String(line))) << line << "\n" << log.toStdString();
}

struct Refusal {
    const char* name;
    int status;
    const char* error;
    const char* message; // a part of the message
};

class CradleRefusals : public NetworkCradle, public ::testing::WithParamInterface<Refusal> {};

TEST_P(CradleRefusals, NothingChangesAndTheAnswerSaysWhy) {
    const Refusal& c = GetParam();
    const QString name = QLatin1String(c.name);
    // The program waits for device 1's send.
    ASSERT_EQ(RegistrarConducto(false, 1), 0);
    if (name == QLatin1String("conduit_disabled")) DesactivarConducto();

    QByteArray token = tokens[1];
    QByteArray body = contents(palm);
    if (name == QLatin1String("no_token")) token.clear();
    if (name == QLatin1String("renewed_token")) {
        ASSERT_EQ(test::runTool(QStringLiteral("kvctl"), home,
                                {QStringLiteral("cradle"), QStringLiteral("token"), QStringLiteral("1"),
                                 QStringLiteral("--renew")})
                      .exitCode,
                  0);
    }
    if (name == QLatin1String("other_device")) {
        const QString palm2 = home.file(QStringLiteral("palm2.db"));
        ASSERT_EQ(kvhandheld({QStringLiteral("init"), palm2, QStringLiteral("--device"), QStringLiteral("2")})
                      .exitCode,
                  0);
        body = contents(palm2);
        token = tokens[2];
    }
    if (name == QLatin1String("token_of_another_handheld")) token = tokens[2];
    if (name == QLatin1String("not_sqlite")) body = QByteArray("this is no database\n").repeated(100);
    if (name == QLatin1String("over_limit")) body = QByteArray(12 * 1024 * 1024, 'x');
    Cradle cradle(home, {QStringLiteral("--max-size"), QStringLiteral("2")});
    ASSERT_FALSE(cradle.url().isEmpty()) << cradle.log().toStdString();
    // Another sync holds the sync lock while the network's arrives.
    std::optional<test::LockHolder> otherSync;
    if (name == QLatin1String("sync_under_way")) {
        otherSync.emplace(home.path());
        ASSERT_TRUE(otherSync->holding());
    }
    const QByteArray storeBefore = contents(store);
    const QByteArray palmBefore = contents(palm);

    const Reply r = request(cradle.url() + QStringLiteral("/sync"), &body, token);
    EXPECT_EQ(r.status, c.status) << r.body.toStdString();
    EXPECT_EQ(r.error, QLatin1String(c.error)) << r.body.toStdString();
    EXPECT_TRUE(r.message.contains(QLatin1String(c.message))) << r.message.toStdString();
    EXPECT_EQ(contents(store), storeBefore) << "the store changed";
    EXPECT_EQ(contents(palm), palmBefore);
    EXPECT_TRUE(cradle.log().contains(QStringLiteral(" %1 %2 ").arg(c.status).arg(QLatin1String(c.error))))
        << cradle.log().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CradleRefusals,
    ::testing::Values(Refusal{"no_token", 401, "no-token", "carries no device token"},
                      Refusal{"renewed_token", 401, "wrong-token", "not one the cradle knows"},
                      Refusal{"other_device", 409, "wrong-device", "waits for device 1's sync"},
                      Refusal{"token_of_another_handheld", 409, "wrong-device",
                              "is device 1, but it syncs as device 2"},
                      Refusal{"conduit_disabled", 409, "conduit-not-ready", "is disabled"},
                      Refusal{"not_sqlite", 422, "not-sqlite", "cannot be opened as an SQLite database"},
                      Refusal{"over_limit", 413, "too-large", "over the cradle's limit of 2097152 bytes"},
                      Refusal{"sync_under_way", 503, "sync-under-way", "Another sync is under way"}),
    [](const auto& info) { return std::string(info.param.name); });

// TLS with a certificate made here, the status without secrets, and a client that stalls.
TEST_F(NetworkCradle, TlsStatusAndStalledClient) {
    Cradle plain(home, {QStringLiteral("--timeout"), QStringLiteral("1")});
    ASSERT_FALSE(plain.url().isEmpty()) << plain.log().toStdString();
    const Reply status = request(plain.url() + QStringLiteral("/status"), nullptr, {});
    EXPECT_EQ(status.status, 200);
    const QJsonObject o = QJsonDocument::fromJson(status.body).object();
    EXPECT_EQ(o.value(QStringLiteral("registered")).toBool(true), false) << status.body.toStdString();
    EXPECT_FALSE(status.body.contains(tokens[1])) << "no secrets";
    const test::ToolRun kvctl = test::runTool(
        QStringLiteral("kvctl"), home,
        {QStringLiteral("cradle"), QStringLiteral("status"), QStringLiteral("--url"), plain.url()});
    EXPECT_EQ(kvctl.exitCode, 0) << kvctl.err.toStdString();
    EXPECT_EQ(kvctl.out.toUtf8(), status.body);

    QTcpSocket stalled;
    stalled.connectToHost(QStringLiteral("127.0.0.1"), QUrl(plain.url()).port());
    ASSERT_TRUE(stalled.waitForConnected(5000));
    stalled.write("POST /sync HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    stalled.flush();
    QElapsedTimer t;
    t.start();
    while (stalled.state() == QAbstractSocket::ConnectedState && t.elapsed() < 10000)
        stalled.waitForDisconnected(200);
    EXPECT_NE(stalled.state(), QAbstractSocket::ConnectedState) << "the stalled client was kept";

    const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
    if (openssl.isEmpty()) GTEST_SKIP() << "openssl is not installed: no certificate to test TLS with";
    const QString cert = home.file(QStringLiteral("cradle.crt")),
                  key = home.file(QStringLiteral("cradle.key"));
    QProcess make;
    make.start(openssl, {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                         QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                         QStringLiteral("1"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                         QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1"),
                         QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert});
    ASSERT_TRUE(make.waitForFinished(60000));
    ASSERT_EQ(make.exitCode(), 0) << make.readAllStandardError().toStdString();
    Cradle tls(home, {QStringLiteral("--cert"), cert, QStringLiteral("--key"), key});
    ASSERT_TRUE(tls.url().startsWith(QStringLiteral("https://"))) << tls.log().toStdString();
    EXPECT_EQ(request(tls.url() + QStringLiteral("/status"), nullptr, {}, cert).status, 200);
    const test::ToolRun sync = kvhandheld({QStringLiteral("hotsync"), palm, QStringLiteral("--server"),
                                           tls.url(), QStringLiteral("--token"),
                                           QString::fromLatin1(tokens[1]), QStringLiteral("--cacert"), cert});
    EXPECT_EQ(sync.exitCode, 1);
    EXPECT_TRUE(sync.err.contains(QStringLiteral("409 conduit-not-ready"))) << sync.err.toStdString();
    // Plain HTTP to the TLS port is a failed handshake, and says so.
    EXPECT_EQ(request(QString(tls.url()).replace(QStringLiteral("https:"), QStringLiteral("http:")) +
                          QStringLiteral("/status"),
                      nullptr, {})
                  .status,
              0);
    EXPECT_TRUE(tls.log().contains(QStringLiteral(" dropped tls-failure "))) << tls.log().toStdString();

    // A key that is not the certificate's, or a certificate without its key, never starts.
    const QString otherKey = home.file(QStringLiteral("other.key"));
    make.start(openssl, {QStringLiteral("genrsa"), QStringLiteral("-out"), otherKey, QStringLiteral("2048")});
    ASSERT_TRUE(make.waitForFinished(60000));
    const test::ToolRun mismatched =
        test::runTool(QStringLiteral("kvcradle"), home,
                      {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--cert"),
                       cert, QStringLiteral("--key"), otherKey});
    EXPECT_EQ(mismatched.exitCode, 1);
    EXPECT_TRUE(mismatched.err.contains(QStringLiteral("is not the key of the certificate")))
        << mismatched.err.toStdString();
    for (const QStringList& usage :
         {QStringList{QStringLiteral("--cert"), cert},
          QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:99999")}}) {
        const test::ToolRun wrong = test::runTool(QStringLiteral("kvcradle"), home, usage);
        EXPECT_EQ(wrong.exitCode, 2) << usage.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(wrong.err.contains(QStringLiteral("Usage: kvcradle"))) << wrong.err.toStdString();
    }
}

// SIGTERM lets the sync under way be confirmed while new ones are refused, then the cradle stops;
// a request folder left by a killed cradle is gone once the next one starts.
TEST_F(NetworkCradle, StopsOnceTheSyncUnderWayIsConfirmed) {
    QProcess gone;
    gone.start(QStringLiteral("true"));
    ASSERT_TRUE(gone.waitForFinished(5000));
    const QString left = home.file(QStringLiteral("cradle-tmp/kvcradle-%1-Ab12Cd").arg(gone.processId()));
    ASSERT_TRUE(QDir().mkpath(left + QStringLiteral("/handheld.db")));
    Cradle cradle(home);
    ASSERT_FALSE(cradle.url().isEmpty()) << cradle.log().toStdString();
    EXPECT_EQ(cradle.requestFolders(), QStringList());

    QProcess kvctl;
    kvctl.start(test::programPath(QStringLiteral("kvctl")),
                kvctlArgs({QStringLiteral("send"), QStringLiteral("1")}));
    QByteArray out;
    ASSERT_TRUE(test::waitForOutput(kvctl, out, "Del Dispositivo M")) << out.toStdString();
    const QByteArray body = contents(palm);
    const Reply prepared = request(cradle.url() + QStringLiteral("/sync"), &body, tokens[1]);
    ASSERT_EQ(prepared.status, 200) << prepared.body.toStdString();
    cradle.signal(SIGTERM);
    EXPECT_EQ(request(cradle.url() + QStringLiteral("/sync"), &body, tokens[1]).status, 503);
    const QByteArray none;
    EXPECT_EQ(
        request(cradle.url() + QStringLiteral("/sync/%1/done").arg(QString::fromLatin1(prepared.syncId)),
                &none, tokens[1])
            .status,
        200);
    EXPECT_EQ(cradle.exitStatus(), 0) << cradle.log().toStdString();
    EXPECT_TRUE(kvctl.waitForFinished(60000));
    EXPECT_TRUE((out + kvctl.readAllStandardOutput()).contains("Se sincronizaron los datos con exito!!!"));
}

} // namespace

// A handheld that takes its answer and never confirms it (the connection lost on the way home):
// nothing counts, the waiting program says it awaits the confirmation, then waits again once the
// sync is dropped, and the next sync, confirmed, is the one that ends the wait.
TEST_F(NetworkCradle, AnAnswerNeverConfirmedCountsForNothing) {
    Cradle cradle(home, {QStringLiteral("--confirm-within"), QStringLiteral("2")});
    ASSERT_FALSE(cradle.url().isEmpty()) << cradle.log().toStdString();
    const auto syncOverHttp = [&] {
        return kvhandheld({QStringLiteral("hotsync"), palm, QStringLiteral("--server"), cradle.url(),
                           QStringLiteral("--token"), QString::fromLatin1(tokens[1])});
    };
    withSync({QStringLiteral("send"), QStringLiteral("1")}, [&] { EXPECT_EQ(syncOverHttp().exitCode, 0); });
    ASSERT_EQ(kvhandheld({QStringLiteral("capture"), palm, QStringLiteral("--orders"), QStringLiteral("2")})
                  .exitCode,
              0);
    const QByteArray storeBefore = contents(store);

    QProcess kvctl;
    kvctl.start(test::programPath(QStringLiteral("kvctl")), kvctlArgs({QStringLiteral("receive"), QStringLiteral("1")}));
    QByteArray out;
    ASSERT_TRUE(test::waitForOutput(kvctl, out, "Del Dispositivo M")) << out.toStdString();
    const QByteArray body = contents(palm);
    const Reply answered = request(cradle.url() + QStringLiteral("/sync"), &body, tokens[1]);
    ASSERT_EQ(answered.status, 200) << answered.body.toStdString();
    EXPECT_TRUE(answered.body.startsWith("SQLite format 3"));
    EXPECT_TRUE(test::waitForOutput(kvctl, out, "Esperando su confirmación")) << out.toStdString();
    EXPECT_EQ(contents(store), storeBefore) << "the store took documents before the confirmation";

    // Dropped: the program waits for the connection again, and the store is as it was.
    QByteArray after;
    EXPECT_TRUE(test::waitForOutput(kvctl, after, "Del Dispositivo M")) << (out + after).toStdString();
    out += after;
    EXPECT_EQ(kvctl.state(), QProcess::Running);
    EXPECT_EQ(contents(store), storeBefore);
    EXPECT_TRUE(cradle.log().contains(QStringLiteral("dropped: not confirmed within 2 s")))
        << cradle.log().toStdString();

    const test::ToolRun sync = syncOverHttp();
    EXPECT_EQ(sync.exitCode, 0) << sync.err.toStdString();
    ASSERT_TRUE(kvctl.waitForFinished(60000));
    out += kvctl.readAllStandardOutput();
    EXPECT_EQ(kvctl.exitCode(), 0) << kvctl.readAllStandardError().toStdString();
    EXPECT_TRUE(out.contains("Se actualizaron 2 comprobantes y se omitieron 0")) << out.toStdString();
}
