#include "app/IniFile.h"
#include "app/RunTimeError.h"
#include "app/SettingsFile.h"
#include "CaseName.h"
#include "ScriptedOperator.h"
#include "SettingsFileTestSupport.h"
#include "TestEnv.h"
#include "UnreadableFile.h"

#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <QDir>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

using namespace kv;
using namespace kv::test;

namespace {

mode_t permissions(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : mode_t(-1);
}

// The error a call raises, or nothing.
template <typename F> std::optional<RunTimeError> errorOf(F&& call) {
    try {
        call();
    } catch (const RunTimeError& e) {
        return e;
    }
    return std::nullopt;
}

TEST(SettingsFile, BareNameMeansTheApplicationFolderAndAbsolutePathsAreKept) {
    test::TempHome home;
    QTemporaryDir elsewhere;
    const QString absolute = elsewhere.filePath(QStringLiteral("otro.ini"));
    GrabarIni(kFile, QStringLiteral("General"), QStringLiteral("A"), QStringLiteral("casa"));
    GrabarIni(absolute, QStringLiteral("General"), QStringLiteral("A"), QStringLiteral("fuera"));
    EXPECT_EQ(readBytes(home.file(kFile)), QByteArray("[General]\nA=casa\n"));
    EXPECT_EQ(readBytes(absolute), QByteArray("[General]\nA=fuera\n"));
    EXPECT_EQ(LeerIni(home.file(kFile), QStringLiteral("General"), QStringLiteral("A")),
              QStringLiteral("casa"));
}

TEST(SettingsFile, EveryWriteLeavesItOwnerOnly) {
    test::TempHome home;
    const QString path = home.file(kFile);
    const mode_t oldMask = ::umask(0);
    GrabarIni(kFile, kDevice3, QStringLiteral("CONTRASEÑA"), QStringLiteral("secreta"));
    ::umask(oldMask);
    EXPECT_EQ(permissions(path), mode_t(0600));
    EXPECT_EQ(permissions(path + QStringLiteral(".lock")), mode_t(0600));

    ::chmod(QFile::encodeName(path).constData(), 0644);
    GrabarIni(kFile, kDevice3, QStringLiteral("USUARIO"), QStringLiteral("sa"));
    EXPECT_EQ(permissions(path), mode_t(0600));
    EXPECT_EQ(LeerIni(kFile, kDevice3, QStringLiteral("CONTRASEÑA")), QStringLiteral("secreta"));
}

class UnreadableSettings : public ::testing::TestWithParam<std::string> {};

// Values read as missing, the operator is told once why, and nothing is written in or through it.
TEST_P(UnreadableSettings, ReadAsMissingToldOnceNeverWritten) {
    test::TempHome home;
    test::ScopedOperator person;
    const QString path = home.file(kFile);
    if (!makeUnreadable(path, GetParam())) GTEST_SKIP() << "cannot make it as this user";
    EXPECT_EQ(LeerIni(kFile, QStringLiteral("General"), QStringLiteral("BaseDeDatos"), 5), QStringLiteral("5"));
    EXPECT_EQ(LeerIni(kFile, kDevice3, QStringLiteral("NOMBRE"), kNone), kNone);
    const QStringList told = person.person.messages();
    ASSERT_EQ(told.size(), 1) << told.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(told[0].contains(path)) << told[0].toStdString();
    for (const auto& e : {errorOf([] { GrabarIni(kFile, QStringLiteral("General"), QStringLiteral("A"), "1"); }),
                          errorOf([] { ComprobarIni(kFile); })}) {
        ASSERT_TRUE(e.has_value());
        EXPECT_EQ(e->number(), err::PathFileAccess);
        EXPECT_TRUE(e->description().contains(path)) << e->description().toStdString();
    }
    EXPECT_TRUE(stillUnreadable(path, GetParam()));
}

INSTANTIATE_TEST_SUITE_P(SettingsFile, UnreadableSettings, ::testing::ValuesIn(test::kUnreadableKinds),
                         [](const auto& info) { return info.param; });

TEST(SettingsFile, FileInAFolderThatDoesNotExist) {
    test::TempHome home;
    // Nothing to read, nowhere to write.
    const QString lost = home.file(QStringLiteral("no/existe/x.ini"));
    EXPECT_EQ(LeerIni(lost, QStringLiteral("General"), QStringLiteral("A"), 5), QStringLiteral("5"));
    const auto e = errorOf([&] { GrabarIni(lost, QStringLiteral("General"), QStringLiteral("A"), "1"); });
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->number(), err::PathFileAccess);
    EXPECT_TRUE(e->description().contains(lost)) << e->description().toStdString();
}

// ---- a write that fails or dies half way leaves the old file --------------------------------

struct FailedWriteCase {
    const char* name;
    bool survivesSignal; // false: the process is killed in the middle of writing
};

class FailedWrite : public ::testing::TestWithParam<FailedWriteCase> {};

TEST_P(FailedWrite, LeavesTheOldFileWhole) {
    test::TempHome home;
    const QString path = home.file(kFile);
    GrabarIni(kFile, QStringLiteral("General"), QStringLiteral("BaseDeDatos"),
              QStringLiteral("/datos/kv.mdb"));
    GrabarIni(kFile, kDevice3, QStringLiteral("NOMBRE"), QStringLiteral("Móvil 3"));
    const QByteArray before = readBytes(path);

    const bool survives = GetParam().survivesSignal;
    const int rc = inChild([&] {
        if (survives) std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{rlim_t(before.size()), rlim_t(before.size())}; // the new file cannot fit
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const auto e =
            errorOf([] { GrabarIni(kFile, kDevice3, QStringLiteral("CLIENTE"), QString(4096, 'C')); });
        if (!e) return 1;
        return e->number() == err::PathFileAccess && e->description().contains(path) ? 0 : 2;
    });

    EXPECT_EQ(rc, survives ? 0 : 128 + SIGXFSZ);
    EXPECT_EQ(readBytes(path), before);
    EXPECT_EQ(LeerIni(kFile, kDevice3, QStringLiteral("CLIENTE"), kNone), kNone);
    if (survives) { // no temporary file left behind
        EXPECT_EQ(QDir(home.path()).entryList(QDir::Files),
                  QStringList({kFile, kFile + QStringLiteral(".lock")}));
    }
    GrabarIni(kFile, kDevice3, QStringLiteral("CLIENTE"), QStringLiteral("001")); // and it still works
    EXPECT_EQ(LeerIni(kFile, kDevice3, QStringLiteral("NOMBRE")), QStringLiteral("Móvil 3"));
}

INSTANTIATE_TEST_SUITE_P(SettingsFile, FailedWrite,
                         ::testing::Values(FailedWriteCase{"error_reported", true},
                                           FailedWriteCase{"killed_mid_write", false}),
                         test::CaseName());

// ---- files that are not settings files ---------------------------------------------------------

QByteArray randomBytes(qsizetype size, quint32 seed) {
    QRandomGenerator gen(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& b : bytes)
        b = char(gen.bounded(256));
    return bytes;
}

struct OddFileCase {
    const char* name;
    QByteArray content;
    bool damaged; // read as missing and never written, as an unreadable file
};

class OddFile : public ::testing::TestWithParam<OddFileCase> {};

TEST_P(OddFile, ReadsDefaultsAndWriteKeepsItsLines) {
    test::TempHome home;
    test::ScopedOperator person;
    const QString path = home.file(kFile);
    const QByteArray& content = GetParam().content;
    writeBytes(path, content);

    EXPECT_EQ(LeerIni(kFile, QStringLiteral("General"), QStringLiteral("NoEsta"), kNone), kNone);
    const auto refused = errorOf([] { GrabarIni(kFile, kDevice3, QStringLiteral("NOMBRE"), QStringLiteral("Móvil")); });
    if (GetParam().damaged) {
        ASSERT_TRUE(refused.has_value());
        EXPECT_TRUE(refused->description().contains(QStringLiteral("is damaged"))) << refused->description().toStdString();
        EXPECT_EQ(readBytes(path), content);
        return;
    }
    EXPECT_FALSE(refused.has_value()) << refused->description().toStdString();
    EXPECT_EQ(LeerIni(kFile, kDevice3, QStringLiteral("NOMBRE")), QStringLiteral("Móvil"));
    EXPECT_TRUE(readBytes(path).startsWith(content)) << "the file's own bytes changed";
}

const QByteArray kMegabyte(1 << 20, 'v');

INSTANTIATE_TEST_SUITE_P(
    SettingsFile, OddFile,
    ::testing::Values(OddFileCase{"random_bytes", randomBytes(64 * 1024, 20240611), true},
                      OddFileCase{"megabyte_line", "[General]\n" + kMegabyte + "\nA=1\n", false},
                      OddFileCase{"megabyte_value", "[General]\nA=" + kMegabyte + "\n", false},
                      OddFileCase{"megabyte_section_line_cut_off", "[" + kMegabyte, true},
                      OddFileCase{"nul_bytes_and_lone_returns", QByteArray("[Gen\0eral]\n\r\rA=\0\n\r", 19), true},
                      OddFileCase{"last_line_without_break", "[General]\nA=1", false},
                      OddFileCase{"cut_off_in_a_key", "[General]\nA=1\nBaseDe", true},
                      OddFileCase{"blank_lines_only", "\n  \r\n\t\n", true},
                      OddFileCase{"utf8_and_1252_mixed",
                                  "[PARAMETROS PALM N\xC2\xBA 3]\nOTRO=\xD1\xF1\nX=\xC3\n", false}),
    test::CaseName());

TEST(SettingsFile, MegabyteValueIsReadWhole) {
    test::TempHome home;
    writeBytes(home.file(kFile), "[General]\nA=" + kMegabyte + "\n");
    EXPECT_EQ(LeerIni(kFile, QStringLiteral("General"), QStringLiteral("A")), QString::fromLatin1(kMegabyte));
}

// ---- other writers ---------------------------------------------------------------------------

TEST(SettingsFile, ReadsSeeWhatOthersWrote) {
    test::TempHome home;
    const QString path = home.file(kFile);
    const QString section = QStringLiteral("General");
    const QString key = QStringLiteral("SolicitaBase");
    GrabarIni(kFile, section, key, QStringLiteral("no"));
    EXPECT_EQ(LeerIni(kFile, section, key), QStringLiteral("no"));

    ASSERT_EQ(inChild([&] {
                  GrabarIni(kFile, section, key, QStringLiteral("si"));
                  return 0;
              }),
              0);
    EXPECT_EQ(LeerIni(kFile, section, key), QStringLiteral("si"));

    // Rewritten in place by an editor within the same moment: same inode, same size.
    writeBytes(path, QByteArray("[General]\nSolicitaBase=SI\n"));
    EXPECT_EQ(LeerIni(kFile, section, key), QStringLiteral("SI"));
    writeBytes(path, QByteArray("[General]\nSolicitaBase=sI\n"));
    EXPECT_EQ(LeerIni(kFile, section, key), QStringLiteral("sI"));

    ::unlink(QFile::encodeName(path).constData());
    EXPECT_EQ(LeerIni(kFile, section, key, QStringLiteral("no")), QStringLiteral("no"));
}

TEST(SettingsFile, ConcurrentWritersLoseNothing) {
    test::TempHome home;
    const QString path = home.file(kFile);
    constexpr int kWriters = 3;
    constexpr int kWrites = 40;
    const QString general = QStringLiteral("General");
    const QString last = QStringLiteral("ULTIMO");
    const auto device = [](int w) { return QStringLiteral("PARAMETROS PALM Nº %1").arg(w + 1); };

    std::vector<pid_t> writers;
    for (int w = 0; w < kWriters; ++w)
        writers.push_back(startChild([&, w] {
            for (int i = 0; i < kWrites; ++i) {
                GrabarIni(path, device(w), QStringLiteral("CLAVE%1").arg(i),
                          QStringLiteral("valor %1-%2").arg(w).arg(i));
                GrabarIni(path, general, last, QStringLiteral("%1-%2").arg(w).arg(i));
            }
            return 0;
        }));

    // Meanwhile every read sees a whole file: the shared key is absent or holds one writer's value.
    const QRegularExpression whole(QStringLiteral("^(<none>|\\d-\\d+)$"));
    std::map<pid_t, int> exits;
    while (exits.size() < writers.size()) {
        const QString seen = LeerIni(path, general, last, kNone);
        ASSERT_TRUE(whole.match(seen).hasMatch()) << seen.toStdString();
        for (pid_t pid : writers)
            if (!exits.count(pid))
                if (const auto rc = childExit(pid, false)) exits[pid] = *rc;
    }
    for (const auto& [pid, rc] : exits)
        EXPECT_EQ(rc, 0) << "writer " << pid;

    const IniDocument doc = IniDocument::parse(readBytes(path));
    for (int w = 0; w < kWriters; ++w)
        for (int i = 0; i < kWrites; ++i)
            EXPECT_EQ(doc.value(device(w), QStringLiteral("CLAVE%1").arg(i)).value_or(kNone),
                      QStringLiteral("valor %1-%2").arg(w).arg(i));
    EXPECT_TRUE(whole.match(doc.value(general, last).value_or(QStringLiteral("x"))).hasMatch());
    EXPECT_EQ(doc.bytes(), readBytes(path)); // nothing in it the writer would not have written
}

} // namespace
