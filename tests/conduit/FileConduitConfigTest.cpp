#include "conduit/FileConduitConfig.h"

#include "TestEnv.h"

#include <functional>
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <sys/stat.h>

using namespace kv;

namespace {

const QString kName = QStringLiteral("KVGMovil");

TableRecord table(const QString& name, qint32 code = transfer::ToHandheld, const QString& keySpec = "0:ID") {
    return TableRecord{.name = name, .transferCode = code, .keySpec = keySpec};
}

ConduitRecord conduit(const QString& name = kName) {
    ConduitRecord c;
    c.name = name;
    c.creator = QStringLiteral("KVGM");
    c.creatorCode = 892809522;
    c.number6 = 1;
    return c;
}

QByteArray contents(const QString& path) {
    if (!QFileInfo(path).isFile()) return {}; // a pipe would block the open
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QProcess* startChild(const QStringList& args) {
    auto* p = new QProcess;
    p->start(test::programPath(QStringLiteral("conduit_child")), args);
    return p;
}

} // namespace

TEST(FileConduitConfig, WritesAHumanReadableRegistry) {
    test::TempHome home;
    FileConduitConfig library;
    ASSERT_EQ(library.AddUpdateConduit(conduit()), uc::Ok);
    ASSERT_EQ(library.AddUpdateTable(kName, table("TA_BANCOS", 4, "0:IDBANCO")), uc::Ok);
    ASSERT_EQ(library.AddUpdateTable(kName, table("MA_PRECIOS", 5, "0:IDLISTA,1:NOMBRE,2:IDARTICULO")),
              uc::Ok);
    ASSERT_EQ(library.SetEnableStatus(kName, 1), uc::Ok);
    EXPECT_EQ(library.registryPath(), home.file("kvconduit.ini"));
    EXPECT_EQ(QString::fromUtf8(contents(library.registryPath())).section(QLatin1Char('\n'), 2),
              QStringLiteral("[KVGMovil]\n"
                             "creator=KVGM\n"
                             "creatorCode=892809522\n"
                             "enabled=1\n"
                             "generation=0\n"
                             "device=0\n"
                             "table=TA_BANCOS|4|0:IDBANCO\n"
                             "table=MA_PRECIOS|5|0:IDLISTA,1:NOMBRE,2:IDARTICULO\n"));
    EXPECT_FALSE(QFile::exists(library.registryPath() + ".new"));
}

TEST(FileConduitConfig, UpdatesKeepTheRegistrationOrderAndMatchNamesWithoutCase) {
    test::TempHome home;
    FileConduitConfig library;
    ASSERT_EQ(library.AddUpdateConduit(conduit()), uc::Ok);
    for (const char* name : {"TA_A", "TA_B", "TA_C"})
        ASSERT_EQ(library.AddUpdateTable(kName, table(name)), uc::Ok);
    ASSERT_EQ(library.SetEnableStatus("kvgmovil", 1), uc::Ok);
    ASSERT_EQ(library.AddUpdateTable("KVGMOVIL", table("ta_b", 5, "1:X")), uc::Ok);
    ASSERT_EQ(library.AddUpdateConduit(conduit()), uc::Ok); // an update keeps switch and tables

    ConduitRegistration c;
    ASSERT_EQ(library.ReadConduit(kName, &c), uc::Ok);
    EXPECT_TRUE(c.enabled);
    const QList<RegisteredTable> expected{{"TA_A", 4, "0:ID"}, {"ta_b", 5, "1:X"}, {"TA_C", 4, "0:ID"}};
    EXPECT_EQ(c.tables, expected);
    RegisteredTable t;
    ASSERT_EQ(library.ReadTable(kName, "TA_B", &t), uc::Ok);
    EXPECT_EQ(t, expected.at(1));
}

TEST(FileConduitConfig, ReadsARegistryThatIsNotUtf8AsWindows1252) {
    test::TempHome home;
    write(home.file("kvconduit.ini"), "[KVGMovil]\nenabled=0\ntable=TA_A\xd1O|0|0:A\xd1O\n");
    RegisteredTable t;
    ASSERT_EQ(FileConduitConfig().ReadTable(kName, QStringLiteral("TA_AÑO"), &t), uc::Ok);
    EXPECT_EQ(t.keySpec, QStringLiteral("0:AÑO"));
}

// Each failure code the file-backed library gives, with the situation that gives it.
struct CodeCase {
    const char* name;
    std::function<void(const test::TempHome&)> prepare;
    std::function<qint32(FileConduitConfig&)> call;
    qint32 expected;
};

class FileConduitCodes : public ::testing::TestWithParam<CodeCase> {};

TEST_P(FileConduitCodes, ArisesInItsSituation) {
    test::TempHome home;
    FileConduitConfig library;
    ASSERT_EQ(library.AddUpdateConduit(conduit()), uc::Ok);
    ASSERT_EQ(library.AddUpdateTable(kName, table("TA_A")), uc::Ok);
    GetParam().prepare(home);
    const QByteArray before = contents(library.registryPath());
    EXPECT_EQ(GetParam().call(library), GetParam().expected);
    if (GetParam().expected != uc::Ok) {
        EXPECT_EQ(contents(library.registryPath()), before);
    }
}

namespace {
void nothing(const test::TempHome&) {}
void registryIsAFolder(const test::TempHome& h) {
    QFile::remove(h.file("kvconduit.ini"));
    QDir().mkdir(h.file("kvconduit.ini"));
}
// Nothing writes to it: a reader that opened it as a file would wait forever.
void registryIsAPipe(const test::TempHome& h) {
    QFile::remove(h.file("kvconduit.ini"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(h.file("kvconduit.ini")).constData(), 0600), 0);
}
void registryIsGarbage(const test::TempHome& h) {
    write(h.file("kvconduit.ini"), "[KVGMovil]\nenabled=yes\n");
}
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Conduit, FileConduitCodes,
    ::testing::Values(
        CodeCase{"table_of_an_unknown_conduit", nothing,
                 [](FileConduitConfig& l) { return l.AddUpdateTable("OTRO", table("TA_A")); },
                 uc::ConduitNotFound},
        CodeCase{"enable_an_unknown_conduit", nothing,
                 [](FileConduitConfig& l) { return l.SetEnableStatus("OTRO", 1); }, uc::ConduitNotFound},
        CodeCase{"read_an_unknown_conduit", nothing,
                 [](FileConduitConfig& l) {
                     ConduitRegistration c;
                     return l.ReadConduit("OTRO", &c);
                 },
                 uc::ConduitNotFound},
        CodeCase{"read_an_unknown_table", nothing,
                 [](FileConduitConfig& l) {
                     RegisteredTable t;
                     return l.ReadTable(kName, "TA_Z", &t);
                 },
                 uc::TableNotFound},
        CodeCase{"empty_conduit_name", nothing,
                 [](FileConduitConfig& l) { return l.AddUpdateConduit(conduit("")); }, uc::BadArguments},
        CodeCase{"conduit_name_with_a_bracket", nothing,
                 [](FileConduitConfig& l) { return l.AddUpdateConduit(conduit("KV]G")); }, uc::BadArguments},
        CodeCase{"empty_table_name", nothing,
                 [](FileConduitConfig& l) { return l.AddUpdateTable(kName, table("")); }, uc::BadArguments},
        CodeCase{"table_name_with_a_line_break", nothing,
                 [](FileConduitConfig& l) { return l.AddUpdateTable(kName, table("TA\nA")); },
                 uc::BadArguments},
        CodeCase{"table_of_an_empty_conduit_name", nothing,
                 [](FileConduitConfig& l) { return l.AddUpdateTable("", table("TA_A")); }, uc::BadArguments},
        CodeCase{"unknown_transfer_code", nothing,
                 [](FileConduitConfig& l) { return l.AddUpdateTable(kName, table("TA_A", 7)); },
                 uc::BadArguments},
        CodeCase{"enable_flag_two", nothing, [](FileConduitConfig& l) { return l.SetEnableStatus(kName, 2); },
                 uc::BadArguments},
        CodeCase{"folder_missing", nothing,
                 [](FileConduitConfig&) {
                     return FileConduitConfig(QDir::tempPath() + "/kv-no-such-folder/x")
                         .AddUpdateConduit(conduit());
                 },
                 uc::NotInstalled},
        CodeCase{"folder_missing_for_a_table", nothing,
                 [](FileConduitConfig&) {
                     return FileConduitConfig(QDir::tempPath() + "/kv-no-such-folder/x")
                         .AddUpdateTable(kName, table("T"));
                 },
                 uc::NotInstalled},
        CodeCase{"registry_is_a_folder", registryIsAFolder,
                 [](FileConduitConfig& l) { return l.SetEnableStatus(kName, 1); }, uc::RegistryAccess},
        CodeCase{"registry_is_a_folder_when_read", registryIsAFolder,
                 [](FileConduitConfig& l) {
                     ConduitRegistration c;
                     return l.ReadConduit(kName, &c);
                 },
                 uc::RegistryAccess},
        CodeCase{"registry_is_a_pipe_when_read", registryIsAPipe,
                 [](FileConduitConfig& l) {
                     ConduitRegistration c;
                     return l.ReadConduit(kName, &c);
                 },
                 uc::RegistryAccess},
        CodeCase{"registry_not_understood", registryIsGarbage,
                 [](FileConduitConfig& l) { return l.AddUpdateTable(kName, table("TA_B")); }, uc::Uncoded},
        CodeCase{"registry_not_understood_when_read", registryIsGarbage,
                 [](FileConduitConfig& l) {
                     ConduitRegistration c;
                     return l.ReadConduit(kName, &c);
                 },
                 uc::Uncoded}),
    [](const auto& info) { return std::string(info.param.name); });

struct KeySpecCase {
    const char* keys;
    bool valid;
};

class KeySpecs : public ::testing::TestWithParam<KeySpecCase> {};

TEST_P(KeySpecs, MalformedOnesAreBadArguments) {
    test::TempHome home;
    FileConduitConfig library;
    ASSERT_EQ(library.AddUpdateConduit(conduit()), uc::Ok);
    EXPECT_EQ(library.AddUpdateTable(kName, table("TA_A", 4, GetParam().keys)),
              GetParam().valid ? uc::Ok : uc::BadArguments);
}

INSTANTIATE_TEST_SUITE_P(Conduit, KeySpecs,
                         ::testing::Values(KeySpecCase{"0:ID", true}, KeySpecCase{"7:DEBE-HABER", true},
                                           KeySpecCase{"0:USUARIO,2:SISTEMA", true}, KeySpecCase{"", false},
                                           KeySpecCase{"ID", false}, KeySpecCase{"1:", false},
                                           KeySpecCase{":ID", false}, KeySpecCase{"a:ID", false},
                                           KeySpecCase{"-1:ID", false}, KeySpecCase{"0:ID,", false},
                                           KeySpecCase{"0:ID X", false}, KeySpecCase{"0:ID|X", false},
                                           KeySpecCase{"0:A:B", false}));

TEST(ParseKeySpec, GivesTheNumberedColumns) {
    const QList<KeyColumn> expected{{0, "IDLISTA"}, {1, "NOMBRE"}, {2, "IDARTICULO"}};
    EXPECT_EQ(parseKeySpec("0:IDLISTA,1:NOMBRE,2:IDARTICULO"), expected);
}

// A write that fails halfway (the file size limit of the writing process) leaves the old registry
// whole and no sibling file behind.
TEST(FileConduitConfig, AFailedWriteLeavesTheRegistryIntact) {
    test::TempHome home;
    FileConduitConfig library;
    ASSERT_EQ(library.AddUpdateConduit(conduit()), uc::Ok);
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(library.AddUpdateTable(kName, table(QStringLiteral("TA_%1").arg(i))), uc::Ok);
    const QByteArray before = contents(library.registryPath());
    ASSERT_GT(before.size(), 400);

    std::unique_ptr<QProcess> child(startChild({"limited-write", home.path(), "200"}));
    ASSERT_TRUE(child->waitForFinished(10000));
    EXPECT_EQ(child->readAllStandardOutput().trimmed(), QByteArray("2"));
    EXPECT_EQ(contents(library.registryPath()), before);
    EXPECT_FALSE(QFile::exists(library.registryPath() + ".new"));
    RegisteredTable t;
    EXPECT_EQ(library.ReadTable(kName, "TA_NUEVA", &t), uc::TableNotFound);
}

// Two processes change the registry at once: neither loses the other's tables, and a reader
// never sees a registry that lost tables it had (half a file).
TEST(FileConduitConfig, TwoProcessesRegisteringAtOnceLoseNothing) {
    test::TempHome home;
    constexpr int perChild = 40;
    std::unique_ptr<QProcess> a(startChild({"add-tables", home.path(), "A", QString::number(perChild)}));
    std::unique_ptr<QProcess> b(startChild({"add-tables", home.path(), "B", QString::number(perChild)}));
    FileConduitConfig library;
    int seen = 0;
    int reads = 0;
    while (a->state() != QProcess::NotRunning || b->state() != QProcess::NotRunning) {
        a->waitForFinished(1);
        b->waitForFinished(1);
        ConduitRegistration c;
        const qint32 code = library.ReadConduit(kName, &c);
        if (code == uc::ConduitNotFound && reads == 0) continue; // not created yet
        ASSERT_EQ(code, uc::Ok) << "after " << reads << " reads";
        ASSERT_GE(c.tables.size(), seen);
        seen = c.tables.size();
        ++reads;
    }
    EXPECT_EQ(a->exitCode(), 0) << a->readAllStandardOutput().toStdString();
    EXPECT_EQ(b->exitCode(), 0) << b->readAllStandardOutput().toStdString();
    ConduitRegistration c;
    ASSERT_EQ(library.ReadConduit(kName, &c), uc::Ok);
    EXPECT_EQ(c.tables.size(), 2 * perChild);
    EXPECT_GT(reads, 0);
}
