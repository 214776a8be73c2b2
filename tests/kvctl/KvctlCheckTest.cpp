#include "DemoErp.h"
#include "ErpFile.h"
#include "TestEnv.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace kv;

namespace {

// The installer's check on the demo ERP in a file, as a person at the terminal runs it.
class KvctlCheck : public ::testing::Test {
protected:
    void SetUp() override {
        erpFile = home.file(QStringLiteral("erp.db"));
        erp::Options o;
        o.clients = 10;
        o.articles = 5;
        o.vendors = 2;
        o.documents = 2;
        erp::createDemoErp(erp::Target::sqlite(erpFile), o);
        ASSERT_EQ(test::runTool(QStringLiteral("kvctl"), home,
                                {QStringLiteral("store"), QStringLiteral("init"),
                                 home.file(QStringLiteral("kvpalmsync.mdb"))})
                      .exitCode,
                  0);
    }
    test::ToolRun check() {
        const QStringList before = QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        test::ToolRun r = test::runTool(
            QStringLiteral("kvctl"), home,
            {QStringLiteral("--launch"),
             QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;@Usuario=admin;@Password=admin;")
                 .arg(erpFile),
             QStringLiteral("check")});
        EXPECT_EQ(QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before)
            << "nothing is written";
        return r;
    }
    QStringList notOk(const test::ToolRun& r) {
        QStringList lines;
        for (const QString& l : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            if (!l.endsWith(QLatin1String(": ok"))) lines << l;
        return lines;
    }
    test::TempHome home;
    QString erpFile;
};

TEST_F(KvctlCheck, DemoErpIsAllOk) {
    const test::ToolRun r = check();
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_EQ(notOk(r), QStringList());
    for (const char* object : {"V_TA_Bancos: ok", "V_MV_CPTE: ok", "GM_V_MV_PLANILLA_DETALLE: ok",
                               "TA_USUARIOS: ok", "ta_configuracion: ok"})
        EXPECT_TRUE(r.out.contains(QLatin1String(object))) << object;
    EXPECT_TRUE(r.out.contains(QStringLiteral("store ") + home.file(QStringLiteral("kvpalmsync.mdb")) +
                               QStringLiteral(": ok")));
}

TEST_F(KvctlCheck, NamesExactlyTheMissingViewAndColumn) {
    test::makeSqliteDatabase(erpFile, {QStringLiteral("DROP VIEW V_MA_Precios"),
                                       QStringLiteral("ALTER TABLE V_MV_CPTE DROP COLUMN FECHAESTFIN")});
    const test::ToolRun r = check();
    EXPECT_EQ(r.exitCode, 1);
    const QStringList bad = notOk(r);
    ASSERT_EQ(bad.size(), 2) << r.out.toStdString();
    EXPECT_TRUE(bad[0].startsWith(QStringLiteral("V_MA_Precios: missing"))) << bad[0].toStdString();
    EXPECT_EQ(bad[1], QStringLiteral("V_MV_CPTE: missing column FECHAESTFIN"));
}

// --format json says what the text says, for a script to read: each command's document parsed
// back and compared with its own text output.
TEST_F(KvctlCheck, JsonOutputSaysWhatTheTextSays) {
    const QString launch =
        QStringLiteral("@Motor=sqlite;@Server=local;@DbName=%1;@Usuario=admin;@Password=admin;").arg(erpFile);
    auto run = [&](const QStringList& command, bool json) {
        QStringList args = command;
        if (json) args << QStringLiteral("--format") << QStringLiteral("json");
        const test::ToolRun r = test::runTool(QStringLiteral("kvctl"), home, args << QStringLiteral("--launch") << launch);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return r.out;
    };
    auto parsed = [](const QString& text) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << text.toStdString();
        return doc;
    };

    QStringList fromJson;
    for (const QJsonValue d : parsed(run({QStringLiteral("devices")}, true)).array())
        fromJson << QStringLiteral("%1\t%2").arg(d[QStringLiteral("device")].toInt()).arg(d[QStringLiteral("name")].toString());
    EXPECT_EQ(fromJson, run({QStringLiteral("devices")}, false).split(QLatin1Char('\n'), Qt::SkipEmptyParts));

    const QJsonObject preview = parsed(run({QStringLiteral("preview"), QStringLiteral("1")}, true)).object();
    fromJson.clear();
    for (const QJsonValue t : preview[QStringLiteral("tables")].toArray())
        fromJson << QStringLiteral("%1\t%2").arg(t[QStringLiteral("table")].toString()).arg(t[QStringLiteral("rows")].toInteger());
    QStringList lists;
    for (const QJsonValue l : preview[QStringLiteral("priceLists")].toArray()) lists << l.toString();
    fromJson << QStringLiteral("price lists: ") + (lists.isEmpty() ? QStringLiteral("none") : lists.join(QStringLiteral(", ")));
    EXPECT_EQ(preview[QStringLiteral("device")].toInt(), 1);
    EXPECT_EQ(fromJson, run({QStringLiteral("preview"), QStringLiteral("1")}, false).split(QLatin1Char('\n'), Qt::SkipEmptyParts));

    const QJsonObject check = parsed(run({QStringLiteral("check")}, true)).object();
    EXPECT_TRUE(check[QStringLiteral("ok")].toBool());
    fromJson.clear();
    for (const QJsonValue o : check[QStringLiteral("objects")].toArray()) {
        EXPECT_TRUE(o[QStringLiteral("ok")].toBool() && o[QStringLiteral("problem")].isNull());
        fromJson << o[QStringLiteral("object")].toString() + QStringLiteral(": ok");
    }
    EXPECT_EQ(fromJson, run({QStringLiteral("check")}, false).split(QLatin1Char('\n'), Qt::SkipEmptyParts));
}

} // namespace
