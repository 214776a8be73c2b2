#include "KvctlInProcess.h"
#include "ErpFixture.h"
#include "history/JobHistory.h"
#include "HistoryTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace kv;
using namespace kv::history;

namespace {

test::ToolRun kvctl(const test::TempHome& home, const QStringList& args) {
    return test::kvctlInProcess(home, args);
}

Record job(int device, Direction d, const QDateTime& when, Outcome o) {
    Record r = d == Direction::Send ? test::sendJob(device, when) : test::receiveJob(device, when);
    r.outcome = o;
    return r;
}

class KvctlHistory : public ::testing::Test {
protected:
    void SetUp() override {
        HistoryFile file(historyPath(), HistoryFile::Mode::Write);
        for (const Record& r : jobs)
            file.append(r);
    }
    QString lines(QList<int> which) {
        QString text;
        const QList<Record> stored = readHistory();
        for (int i : which)
            text += historyLine(stored.at(i)) + QLatin1Char('\n');
        return text;
    }
    test::TempHome home;
    const QList<Record> jobs{
        job(1, Direction::Send, QDateTime(QDate(2026, 11, 30), QTime(18, 0)), Outcome::Done),
        job(2, Direction::Receive, QDateTime(QDate(2026, 12, 1), QTime(8, 15)), Outcome::Done),
        job(2, Direction::Send, QDateTime(QDate(2026, 12, 2), QTime(9, 0)), Outcome::Cancelled),
        job(10, Direction::Send, QDateTime(QDate(2026, 12, 3), QTime(9, 0)), Outcome::Failed)};
};

struct PrintCase {
    const char* name;
    QStringList args;
    QList<int> records; // oldest first
};

class KvctlHistoryPrint : public KvctlHistory, public ::testing::WithParamInterface<PrintCase> {};

TEST_P(KvctlHistoryPrint, OneLinePerRecordOfTheDeviceFromTheDay) {
    const test::ToolRun r = kvctl(home, QStringList{"history"} + GetParam().args);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    EXPECT_EQ(r.out, lines(GetParam().records));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KvctlHistoryPrint,
    ::testing::Values(PrintCase{"All", {}, {0, 1, 2, 3}}, PrintCase{"DeviceTwo", {"2"}, {1, 2}},
                      PrintCase{"DeviceOneNotTen", {"1"}, {0}},
                      PrintCase{"Since", {"--since", "2026-12-01"}, {1, 2, 3}},
                      PrintCase{"SinceBeforeDevice", {"--since", "2026-12-02", "2"}, {2}},
                      PrintCase{"DeviceBeforeSince", {"2", "--since", "2026-12-02"}, {2}},
                      PrintCase{"DeviceOption", {"--device", "2"}, {1, 2}},
                      PrintCase{"DeviceOptionAndSince", {"--since", "2026-12-02", "--device", "2"}, {2}},
                      PrintCase{"DeviceBothWays", {"2", "--device", "2"}, {1, 2}},
                      PrintCase{"NothingYet", {"--since", "2027-01-01"}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// What a script reads back: the same records, every field, in the order and filter of the text.
TEST_F(KvctlHistory, JsonAndTsvGiveTheSameRecordsForScripts) {
    const test::ToolRun json = kvctl(home, {"history", "2", "--format", "json"});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    QJsonParseError error{};
    const QJsonArray parsed = QJsonDocument::fromJson(json.out.toUtf8(), &error).array();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json.out.toStdString();
    const QList<Record> stored = readHistory({2, std::nullopt});
    ASSERT_EQ(parsed.size(), stored.size());
    for (int i = 0; i < stored.size(); ++i) {
        const QJsonObject o = parsed.at(i).toObject();
        EXPECT_EQ(QDateTime::fromString(o["started"].toString(), Qt::ISODate), stored[i].startedAt);
        EXPECT_EQ(o["device"].toInt(), 2);
        EXPECT_EQ(o["direction"].toString(), directionWord(stored[i].direction));
        EXPECT_EQ(o["outcome"].toString(), outcomeWord(stored[i].outcome));
        EXPECT_EQ(o["imported"].isNull(), !stored[i].imported.has_value());
        EXPECT_EQ(o["tables"].toArray().size(), stored[i].tables.size());
    }

    const test::ToolRun tsv = kvctl(home, {"history", "--format", "tsv"});
    ASSERT_EQ(tsv.exitCode, 0) << tsv.err.toStdString();
    const QStringList rows = tsv.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), jobs.size() + 1);
    const int columns = rows[0].split(QLatin1Char('\t')).size();
    for (const QString& row : rows) EXPECT_EQ(row.split(QLatin1Char('\t')).size(), columns) << row.toStdString();
    EXPECT_EQ(rows[4].split(QLatin1Char('\t'))[2], QStringLiteral("10"));
}

struct BadCase {
    const char* name;
    QStringList args;
    const char* reason;
};

class KvctlHistoryBad : public KvctlHistory, public ::testing::WithParamInterface<BadCase> {};

TEST_P(KvctlHistoryBad, ExitsTwoWithTheReasonAndPrintsNoRecord) {
    const test::ToolRun r = kvctl(home, QStringList{"history"} + GetParam().args);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    EXPECT_TRUE(r.err.startsWith(QLatin1String("kvctl history: "))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String(GetParam().reason))) << r.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KvctlHistoryBad,
    ::testing::Values(
        BadCase{"Word", {"dos"}, "\"dos\" is no device number"},
        BadCase{"Zero", {"0"}, "\"0\" is no device number"},
        BadCase{"Negative", {"-3"}, "\"-3\" is no device number"},
        BadCase{"TwoDevices", {"1", "2"}, "not expected: 2"},
        BadCase{"OtherDeviceOption", {"1", "--device", "2"}, "device 1 or device 2: give one"},
        BadCase{"DeviceOptionWord", {"--device", "dos"}, "\"dos\" is no device number"},
        BadCase{"SinceWithoutDate", {"--since"}, "--since: 1 required YYYY-MM-DD missing"},
        BadCase{"SinceTwice", {"--since", "2026-12-01", "--since", "2026-12-02"}, "--since: At Most 1"},
        BadCase{"NoSuchMonth", {"--since", "2026-13-01"}, "\"2026-13-01\" is no date"},
        BadCase{"NoSuchDay", {"--since", "2026-02-30"}, "\"2026-02-30\" is no date"},
        BadCase{"DayFirst", {"--since", "01/12/2026"}, "\"01/12/2026\" is no date"},
        BadCase{"WithTime", {"--since", "2026-12-01T10:00"}, "is no date"},
        BadCase{"UnknownFormat", {"--format", "xml"}, "--format takes text, tsv or json"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KvctlHistoryFile, NoHistoryYetPrintsNothingAndAnUnreadableOneIsAFailure) {
    test::TempHome home;
    const test::ToolRun none = kvctl(home, {"history"});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_TRUE(none.out.isEmpty());
    EXPECT_FALSE(QFile::exists(historyPath()));

    test::UnwritableHistory junk(test::Unwritable::NotADatabase, historyPath());
    const test::ToolRun broken = kvctl(home, {"history"});
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_TRUE(broken.out.isEmpty());
    EXPECT_TRUE(broken.err.startsWith(QLatin1String("kvctl history: the history cannot be read: ")))
        << broken.err.toStdString();
}

// The commands as an operator at a terminal uses them, on the demo ERP.
class KvctlPreview : public ::testing::Test {
protected:
    void SetUp() override {
        f = std::make_unique<test::ErpFixture>(Engine::Sqlite, test::ErpFixture::Sizes{25, 10, 4, 0});
        ASSERT_TRUE(f->available());
        launch = QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;@Usuario=ana;")
                     .arg(f->home.file(QStringLiteral("erp.db")));
    }
    test::ToolRun run(const QStringList& args) { return kvctl(f->home, QStringList{"--launch", launch} + args); }
    std::unique_ptr<test::ErpFixture> f;
    QString launch;
};

// The rows the send would refuse are named by the preview as the send then names them.
TEST_F(KvctlPreview, FlagsTheRowsTheSendWouldRefuse) {
    f->erpExec(QStringLiteral("UPDATE VT_CLIENTES SET ZONA = 'NORTE12' WHERE CODIGO = '000003'"));
    const QStringList refused{QStringLiteral("MA_CLIENTES: client 000003, ZONA 'NORTE12' is longer than 4"),
                              QStringLiteral("TA_ZONAS: zone NORTE12, IDZONA 'NORTE12' is longer than 4")};
    const test::ToolRun preview = run({"preview", "1"});
    ASSERT_EQ(preview.exitCode, 0) << preview.err.toStdString();
    for (const QString& r : refused)
        EXPECT_TRUE(preview.out.contains(QStringLiteral("\nrefused: ") + r + QLatin1Char('\n'))) << preview.out.toStdString();
    EXPECT_TRUE(preview.out.contains(QStringLiteral("MA_CLIENTES\t25\n"))) << "the refused rows are still counted";

    const test::ToolRun send = run({"send", "1", "--no-wait"});
    EXPECT_NE(send.exitCode, 0);
    for (const QString& r : refused) EXPECT_TRUE(send.out.contains(r)) << send.out.toStdString();
}

TEST_F(KvctlPreview, PrintsTheRowsAndPriceListsTheSendThenExports) {
    const QString vendor =
        f->erpRows(QStringLiteral("SELECT TRIM(IdVendedor) FROM V_TA_VENDEDORES ORDER BY 1")).first();
    QFile ini(f->home.file(QStringLiteral("CN000pr.INI")));
    ASSERT_TRUE(ini.open(QIODevice::Append));
    ini.write(QStringLiteral("[PARAMETROS PALM Nº 2]\nREPARTO=%1\n").arg(vendor).toUtf8());
    ini.close();

    const test::ToolRun preview = run({"preview", "2"});
    ASSERT_EQ(preview.exitCode, 0) << preview.err.toStdString();
    QStringList lines = preview.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 13) << preview.out.toStdString();
    const QString priceLine = lines.takeLast();
    EXPECT_FALSE(QFile::exists(historyPath())) << "a preview is no job";

    const test::ToolRun send = run({"send", "2", "--no-wait"});
    ASSERT_EQ(send.exitCode, 0) << send.err.toStdString();
    for (const QString& line : lines) {
        const QStringList parts = line.split(QLatin1Char('\t'));
        ASSERT_EQ(parts.size(), 2) << line.toStdString();
        EXPECT_EQ(parts[1], f->storeRows(QStringLiteral("SELECT COUNT(*) FROM ") + parts[0]).first())
            << line.toStdString();
    }
    EXPECT_EQ(priceLine,
              QStringLiteral("price lists: ") +
                  f->storeRows(QStringLiteral("SELECT DISTINCT TRIM(IDLISTA) FROM MA_PRECIOS ORDER BY 1"))
                      .join(QStringLiteral(", ")));

    const test::ToolRun history = run({"history", "2"});
    EXPECT_EQ(history.exitCode, 0);
    const QStringList recorded = history.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(recorded.size(), 1) << history.out.toStdString();
    EXPECT_TRUE(recorded[0].contains(
        QStringLiteral("  device 2 (Nº 2)  send     by ana  done  (Exportación sin esperar "
                       "la sincronización)  rows: TA_BANCOS ")))
        << recorded[0].toStdString();
}

TEST_F(KvctlPreview, ADeviceThatDoesNotExistIsABadArgument) {
    for (const QStringList& args : {QStringList{"preview"}, QStringList{"preview", "9"},
                                    QStringList{"preview", "x"}, QStringList{"preview", "1", "2"}}) {
        const test::ToolRun r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_TRUE(r.err.startsWith(QLatin1String("kvctl preview: "))) << r.err.toStdString();
    }
}

} // namespace
