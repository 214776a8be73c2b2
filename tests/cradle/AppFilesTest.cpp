#include "cradle/CradleService.h"

#include "TestEnv.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>

using namespace kv;
using cradle::CradleAnswer;
using cradle::CradleHead;

namespace {

// What GET PATH answers from an application folder holding index.html, app.js and a hidden
// file, beside a secret outside it and a link from inside to that secret.
struct AppCase {
    const char* name;
    const char* path;
    int status;
    const char* file;        // the file answered, relative to the folder; empty for none
    const char* contentType; // when answered
};

class AppFilesTable : public ::testing::TestWithParam<AppCase> {};

TEST_P(AppFilesTable, AnswersOnlyFilesInsideTheFolder) {
    test::TempHome home;
    const QString app = home.file(QStringLiteral("app"));
    ASSERT_TRUE(QDir().mkpath(app + QStringLiteral("/lib")));
    for (const QString& name : {QStringLiteral("index.html"), QStringLiteral("lib/app.js"),
                                QStringLiteral(".hidden"), QStringLiteral("../secret.txt")}) {
        QFile f(app + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    ASSERT_TRUE(QFile::link(home.file(QStringLiteral("secret.txt")), app + QStringLiteral("/link.txt")));
    cradle::CradleService service;
    service.setAppFolder(app);

    CradleHead head{"GET", GetParam().path, {}, std::nullopt, false};
    ASSERT_FALSE(service.checkHead(head).has_value());
    const CradleAnswer a = service.answer(head, QString());
    EXPECT_EQ(a.status, GetParam().status) << a.body.toStdString();
    const QString expected = *GetParam().file ? QFileInfo(app + QLatin1Char('/') + QLatin1String(GetParam().file))
                                                     .canonicalFilePath()
                                               : QString();
    EXPECT_EQ(a.file, expected);
    if (*GetParam().file) {
        EXPECT_EQ(a.contentType, QByteArray(GetParam().contentType));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cradle, AppFilesTable,
    ::testing::Values(AppCase{"index", "/app/", 200, "index.html", "text/html; charset=utf-8"},
                      AppCase{"module", "/app/lib/app.js", 200, "lib/app.js", "text/javascript; charset=utf-8"},
                      AppCase{"bare_app_redirects", "/app", 308, "", ""},
                      AppCase{"missing", "/app/nothing.js", 404, "", ""},
                      AppCase{"parent", "/app/../secret.txt", 404, "", ""},
                      AppCase{"parent_deeper", "/app/lib/../../secret.txt", 404, "", ""},
                      AppCase{"hidden", "/app/.hidden", 404, "", ""},
                      AppCase{"link_out_of_the_folder", "/app/link.txt", 404, "", ""},
                      AppCase{"empty_segment", "/app//index.html", 404, "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AppFiles, WithoutAFolderNothingIsServedAndABodyIsRefused) {
    test::TempHome home;
    cradle::CradleService service;
    CradleHead get{"GET", "/app/", {}, std::nullopt, false};
    EXPECT_EQ(service.answer(get, QString()).status, 404);
    CradleHead post{"POST", "/app/", {}, 10, false};
    EXPECT_EQ(service.checkHead(post)->status, 405);
    CradleHead body{"GET", "/app/", {}, 10, false};
    EXPECT_EQ(service.checkHead(body)->status, 413);
}

} // namespace
