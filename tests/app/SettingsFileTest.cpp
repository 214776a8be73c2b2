#include "app/SettingsFile.h"

#include "app/IniFile.h"
#include "app/RunTimeError.h"
#include "CaseName.h"
#include "SettingsFileTestSupport.h"
#include "TestEnv.h"

#include <gtest/gtest.h>
#include <optional>
#include <QDir>
#include <QFileInfo>
#include <QStringEncoder>

using namespace kv;
using namespace kv::test;

namespace {

// ---- values survive a write and a fresh read of the file ------------------------------------

struct RoundTripCase {
    const char* name;
    QString section;
    QString key;
    QString value;
};

class RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, ValueComesBackExactly) {
    const RoundTripCase& c = GetParam();
    test::TempHome home;
    const auto storedOnDisk = [&] {
        return IniDocument::parse(readBytes(home.file(kFile))).value(c.section, c.key).value_or(kNone);
    };
    GrabarIni(kFile, QStringLiteral("General"), QStringLiteral("SolicitaBase"), QStringLiteral("no"));
    GrabarIni(kFile, c.section, c.key, c.value); // a new key
    EXPECT_EQ(LeerIni(kFile, c.section, c.key, kNone), c.value);
    EXPECT_EQ(storedOnDisk(), c.value);
    GrabarIni(kFile, c.section, c.key, QStringLiteral("antes"));
    GrabarIni(kFile, c.section, c.key, c.value); // the same key replaced
    EXPECT_EQ(LeerIni(kFile, c.section, c.key, kNone), c.value);
    EXPECT_EQ(storedOnDisk(), c.value);
    EXPECT_EQ(LeerIni(kFile, QStringLiteral("General"), QStringLiteral("SolicitaBase")),
              QStringLiteral("no"));
}

INSTANTIATE_TEST_SUITE_P(
    SettingsFile, RoundTrip,
    ::testing::Values(RoundTripCase{"device_password", kDevice3, "CONTRASEÑA", "clave secreta"},
                      RoundTripCase{"device_name", "PARAMETROS PALM Nº 12", "NOMBRE", "Móvil Ñandú €"},
                      RoundTripCase{"empty_value", kDevice3, "CLIENTE", ""},
                      RoundTripCase{"blanks_only", kDevice3, "REPARTO", "   "},
                      RoundTripCase{"surrounding_blanks", kDevice3, "USUARIO", " a b "},
                      RoundTripCase{"tab_at_end", kDevice3, "SERVIDOR", "srv\t"},
                      RoundTripCase{"enclosed_in_quotes", "General", "BaseDeDatos", "\"C:\\datos\\kv.mdb\""},
                      RoundTripCase{"lone_quote", "General", "x", "\""},
                      RoundTripCase{"two_quotes", "General", "x", "\"\""},
                      RoundTripCase{"quote_at_start_only", "General", "x", "\"abc"},
                      RoundTripCase{"equals_and_semicolon", "General", "x", "a=b;c=d"},
                      RoundTripCase{"looks_like_comment", "General", "x", "; no es comentario"},
                      RoundTripCase{"looks_like_section", "General", "x", "[Otra]"},
                      RoundTripCase{"position_number", "Posicionamiento", "Height", "6135,5"},
                      RoundTripCase{"section_with_brackets_inside", "a[b", "K", "v"}),
    test::CaseName());

// ---- names match without regard to case, as on the Windows workstation ----------------------

TEST(SettingsFile, NamesMatchInAnyLetterCase) {
    test::TempHome home;
    GrabarIni(kFile, kDevice3, QStringLiteral("CONTRASEÑA"), QStringLiteral("x1"));
    const std::pair<QString, QString> spellings[] = {
        {QStringLiteral("parametros palm nº 3"), QStringLiteral("contraseña")},
        {QStringLiteral("Parametros Palm Nº 3"), QStringLiteral("Contraseña")},
        {QStringLiteral("  PARAMETROS PALM Nº 3 "), QStringLiteral(" CONTRASEÑA")},
    };
    for (const auto& [section, key] : spellings)
        EXPECT_EQ(LeerIni(kFile, section, key, kNone), "x1") << section.toStdString();
    EXPECT_EQ(LeerIni(kFile, QStringLiteral("PARAMETROS PALM Nº 30"), QStringLiteral("CONTRASEÑA"), kNone),
              kNone);
    EXPECT_EQ(LeerIni(kFile, QStringLiteral("PARAMETROS PALM N 3"), QStringLiteral("CONTRASEÑA"), kNone),
              kNone);

    // A write in another case updates the one line and keeps the file's spelling.
    GrabarIni(kFile, QStringLiteral("parametros palm nº 3"), QStringLiteral("contraseña"),
              QStringLiteral("x2"));
    EXPECT_EQ(readBytes(home.file(kFile)),
              QStringLiteral("[PARAMETROS PALM Nº 3]\nCONTRASEÑA=x2\n").toUtf8());
}

// ---- how lines are read --------------------------------------------------------------------

struct ReadCase {
    const char* name;
    QByteArray file;
    QString section;
    QString key;
    QString expected;
};

class ReadsLines : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadsLines, AsTheLayoutSays) {
    const ReadCase& c = GetParam();
    test::TempHome home;
    writeBytes(home.file(kFile), c.file);
    EXPECT_EQ(LeerIni(kFile, c.section, c.key, kNone), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    SettingsFile, ReadsLines,
    ::testing::Values(ReadCase{"blanks_around_trimmed", "[S]\nK \t=  v w \t\n", "S", "K", "v w"},
                      ReadCase{"quotes_removed", "[S]\nK = \"  v \"\n", "S", "K", "  v "},
                      ReadCase{"empty_quotes", "[S]\nK=\"\"\n", "S", "K", ""},
                      ReadCase{"single_quote_kept", "[S]\nK=\"\n", "S", "K", "\""},
                      ReadCase{"open_quote_kept", "[S]\nK=\"a\n", "S", "K", "\"a"},
                      ReadCase{"first_equals_splits", "[S]\nK=a=b\n", "S", "K", "a=b"},
                      ReadCase{"empty_value_is_not_missing", "[S]\nK=\n", "S", "K", ""},
                      ReadCase{"crlf", "[S]\r\nK=v\r\nL=w\r\n", "S", "L", "w"},
                      ReadCase{"no_final_break", "[S]\nK=v", "S", "K", "v"},
                      ReadCase{"section_name_trimmed", "[ S ] ; nota\nK=v\n", "S", "K", "v"},
                      ReadCase{"semicolon_comment", "[S]\n;K=v\n", "S", "K", kNone},
                      ReadCase{"hash_comment", "[S]\n  # K=v\n", "S", "K", kNone},
                      ReadCase{"before_any_section", "K=v\n[S]\n", "S", "K", kNone},
                      ReadCase{"key_of_other_section", "[S]\n[T]\nK=v\n", "S", "K", kNone},
                      ReadCase{"unclosed_section_is_plain_line", "[S]\n[T\nK=v\n", "S", "K", "v"},
                      ReadCase{"duplicate_key_first_wins", "[S]\nK=1\nk=2\n", "S", "K", "1"},
                      ReadCase{"duplicate_section_first_wins", "[S]\nA=1\n[s]\nK=2\n", "S", "K", kNone},
                      ReadCase{"utf8_bom", "\xEF\xBB\xBF[S]\nK=v\n", "S", "K", "v"},
                      ReadCase{"utf8_bom_twice", "\xEF\xBB\xBF\xEF\xBB\xBF[S]\nK=v\n", "S", "K", "v"}),
    test::CaseName());

// ---- files from an older workstation --------------------------------------------------------

TEST(SettingsFile, ReadsWindows1252AndKeepsItWindows1252) {
    test::TempHome home;
    // "PARAMETROS PALM Nº 3", "CONTRASEÑA", "señor €", "Móvil" and "…" in Windows-1252 bytes.
    writeBytes(home.file(kFile), QByteArray("; configuraci\xF3n\r\n"
                                            "[PARAMETROS PALM N\xBA 3]\r\n"
                                            "CONTRASE\xD1"
                                            "A=se\xF1or \x80\r\n"
                                            "NOMBRE=M\xF3vil\x85\r\n"
                                            "\xFE\xFFn=1\r\n")); // a line that starts as a UTF-16 mark would
    EXPECT_EQ(LeerIni(kFile, kDevice3, QStringLiteral("CONTRASEÑA")), QStringLiteral("señor €"));
    EXPECT_EQ(LeerIni(kFile, kDevice3, QStringLiteral("þÿn")), QStringLiteral("1"));
    EXPECT_EQ(LeerIni(kFile, QStringLiteral("parametros palm nº 3"), QStringLiteral("nombre")),
              QStringLiteral("Móvil…"));

    GrabarIni(kFile, kDevice3, QStringLiteral("USUARIO"), QStringLiteral("ñoño"));
    EXPECT_EQ(readBytes(home.file(kFile)), QByteArray("; configuraci\xF3n\r\n"
                                                      "[PARAMETROS PALM N\xBA 3]\r\n"
                                                      "CONTRASE\xD1"
                                                      "A=se\xF1or \x80\r\n"
                                                      "NOMBRE=M\xF3vil\x85\r\n"
                                                      "\xFE\xFFn=1\r\n"
                                                      "USUARIO=\xF1o\xF1o\r\n"));
}

TEST(SettingsFile, ReadsEachLineInItsOwnEncoding) {
    test::TempHome home;
    // Written as UTF-8, then a line added by an older tool in Windows-1252; the last byte is a
    // lone 1252 letter that would start a UTF-8 sequence.
    writeBytes(home.file(kFile), QByteArray("[PARAMETROS PALM N\xC2\xBA 3]\n"
                                            "NOMBRE=M\xC3\xB3vil\n"
                                            "CONTRASE\xD1"
                                            "A=\xD1"));
    EXPECT_EQ(LeerIni(kFile, kDevice3, QStringLiteral("NOMBRE")), QStringLiteral("Móvil"));
    EXPECT_EQ(LeerIni(kFile, kDevice3, QStringLiteral("CONTRASEÑA")), QStringLiteral("Ñ"));
}

// ---- what a write keeps and where it puts new lines -----------------------------------------

struct LayoutCase {
    const char* name;
    QByteArray before;
    QString section;
    QString key;
    QString value;
    QByteArray after;
};

class WriteKeepsLayout : public ::testing::TestWithParam<LayoutCase> {};

// A text as a Windows editor saves it in UTF-16: byte-order mark first.
QByteArray utf16(QStringConverter::Encoding encoding, const char16_t* text) {
    QStringEncoder encoder(encoding);
    return (encoding == QStringConverter::Utf16LE ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF")) +
           QByteArray(encoder.encode(QString::fromUtf16(text)));
}

TEST_P(WriteKeepsLayout, ChangesOnlyWhatItMust) {
    const LayoutCase& c = GetParam();
    test::TempHome home;
    writeBytes(home.file(kFile), c.before);
    GrabarIni(kFile, c.section, c.key, c.value);
    EXPECT_EQ(readBytes(home.file(kFile)), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    SettingsFile, WriteKeepsLayout,
    ::testing::Values(
        LayoutCase{
            "replaced_in_place_with_spelling_and_spacing",
            "; hecho a mano\n[General]\nBaseDeDatos = C:\\viejo.mdb\n# otro\n\n[Posicionamiento]\nleft=10\n",
            "general", "basededatos", "/datos/kv.mdb",
            "; hecho a mano\n[General]\nBaseDeDatos = /datos/kv.mdb\n# otro\n\n[Posicionamiento]\nleft=10\n"},
        LayoutCase{"new_key_before_blank_lines", "[General]\nA=1\n\n\n[Otra]\nB=2\n", "General", "C", "3",
                   "[General]\nA=1\nC=3\n\n\n[Otra]\nB=2\n"},
        LayoutCase{"new_key_after_trailing_comment", "[General]\nA=1\n; fin\n\n[Otra]\n", "General", "C", "3",
                   "[General]\nA=1\n; fin\nC=3\n\n[Otra]\n"},
        LayoutCase{"new_key_in_empty_section", "[General]\n\n[Otra]\n", "General", "C", "3",
                   "[General]\nC=3\n\n[Otra]\n"},
        LayoutCase{"no_final_break", "[General]\nA=1", "General", "C", "3", "[General]\nA=1\nC=3\n"},
        LayoutCase{"new_section_appended", "x=sin seccion\n[General]\nA=1\n", "Nueva", "K", "v",
                   "x=sin seccion\n[General]\nA=1\n\n[Nueva]\nK=v\n"},
        LayoutCase{"new_section_after_blank_line", "[General]\nA=1\n\n", "Nueva", "K", "v",
                   "[General]\nA=1\n\n[Nueva]\nK=v\n"},
        LayoutCase{"comment_only_file", "; nada\n", "Nueva", "K", "v", "; nada\n\n[Nueva]\nK=v\n"},
        LayoutCase{"unknown_lines_kept", "[General]\nlinea suelta\n[rota\n=sin clave\nA=1\n~?~\n",
                   "General", "A", "2", "[General]\nlinea suelta\n[rota\n=sin clave\nA=2\n~?~\n"},
        LayoutCase{"crlf_kept", "[General]\r\nA=1\r\n", "General", "B", "2", "[General]\r\nA=1\r\nB=2\r\n"},
        // An LF file with lines ending in CR (pasted from elsewhere): each rewrite gives them back
        // as they were, instead of taking one CR more away every time.
        LayoutCase{"carriage_returns_of_an_lf_file_kept", "[S]\nA=1\r\r\nL\r\n", "S", "A", "2",
                   "[S]\nA=2\nL\r\n"},
        LayoutCase{"carriage_returns_before_crlf_kept", "[S]\r\nA=1\r\r\nL\r\r\n", "S", "B", "2",
                   "[S]\r\nA=1\r\r\nL\r\r\nB=2\r\n"},
        LayoutCase{"first_duplicate_key_updated", "[S]\nK=1\nK=2\n", "S", "k", "3", "[S]\nK=3\nK=2\n"},
        LayoutCase{"first_duplicate_section_updated", "[S]\nA=1\n[s]\nB=2\n", "S", "B", "3",
                   "[S]\nA=1\nB=3\n[s]\nB=2\n"},
        LayoutCase{"quoted_value_replaced", "[S]\nK = \"  a \"\n", "S", "K", " b", "[S]\nK = \" b\"\n"},
        LayoutCase{"quotes_dropped_when_not_needed", "[S]\nK=\" a\"\n", "S", "K", "a", "[S]\nK=a\n"},
        LayoutCase{"indented_key_kept", "[S]\n  K=1\n", "S", "K", "2", "[S]\n  K=2\n"},
        LayoutCase{"key_before_sections_untouched", "K=0\n[S]\n", "S", "K", "1", "K=0\n[S]\nK=1\n"},
        LayoutCase{"names_stored_trimmed", "; nada\n", " S ", " K ", "v", "; nada\n\n[S]\nK=v\n"},
        LayoutCase{"emptied_value_leaves_no_blanks", "[S]\nK = viejo \nL=   \n", "S", "L", "", "[S]\nK = viejo \nL=\n"},
        LayoutCase{"last_line_without_break_kept", "[S]\nA=1\nB=2", "S", "A", "3", "[S]\nA=3\nB=2"},
        LayoutCase{"utf8_marks_kept", "\xEF\xBB\xBF[S]\nK=v\n", "S", "K", "w", "\xEF\xBB\xBF[S]\nK=w\n"},
        // A Windows-1252 file stays so; a character the code page lacks makes only its own line UTF-8.
        LayoutCase{"windows_1252_new_line", "[S]\nA=se\xF1or\n", "S", "B", "\u00F1\u2192",
                   "[S]\nA=se\xF1or\nB=\xC3\xB1\xE2\x86\x92\n"},
        LayoutCase{"mixed_lines_kept", "[S]\nA=M\xC3\xB3vil\nB=\xD1\nC=1\n", "S", "C", "\u00D1",
                   "[S]\nA=M\xC3\xB3vil\nB=\xD1\nC=\xD1\n"},
        LayoutCase{"utf16le_kept", utf16(QStringConverter::Utf16LE, u"[S]\r\nA=1\r\n"), "S", "B", "\u00D1",
                   utf16(QStringConverter::Utf16LE, u"[S]\r\nA=1\r\nB=\u00D1\r\n")},
        LayoutCase{"utf16be_kept", utf16(QStringConverter::Utf16BE, u"[S]\nA=1\n"), "S", "A", "2",
                   utf16(QStringConverter::Utf16BE, u"[S]\nA=2\n")}),
    test::CaseName());

// ---- defaults ------------------------------------------------------------------------------

struct DefaultCase {
    const char* name;
    std::optional<QByteArray> file; // none: no file at all
    QString section;
    QString key;
    QVariant defaultValue;
    QString expected;
};

class DefaultWhenMissing : public ::testing::TestWithParam<DefaultCase> {};

TEST_P(DefaultWhenMissing, ComesBackAsText) {
    const DefaultCase& c = GetParam();
    test::TempHome home;
    if (c.file) writeBytes(home.file(kFile), *c.file);
    EXPECT_EQ(LeerIni(kFile, c.section, c.key, c.defaultValue), c.expected);
    EXPECT_EQ(QFileInfo::exists(home.file(kFile)), c.file.has_value()); // reading never creates it
}

const QByteArray kPositions = "[Posicionamiento]\nleft=120\n[PARAMETROS PALM Nº 1]\nNOMBRE=\n";

INSTANTIATE_TEST_SUITE_P(
    SettingsFile, DefaultWhenMissing,
    ::testing::Values(
        DefaultCase{"no_file_double", std::nullopt, "Posicionamiento", "width", QVariant(1234.5), "1234.5"},
        DefaultCase{"no_file_integer", std::nullopt, "Posicionamiento", "top", QVariant(7), "7"},
        DefaultCase{"no_file_text", std::nullopt, "General", "SolicitaBase", QVariant(QStringLiteral("no")),
                    "no"},
        DefaultCase{"missing_section_single", kPositions, "Otra", "width", QVariant(1234.5f), "1234.5"},
        DefaultCase{"missing_key_negative", kPositions, "Posicionamiento", "top", QVariant(-15), "-15"},
        DefaultCase{"missing_key_null", kPositions, "Posicionamiento", "Height", QVariant(), ""},
        DefaultCase{"missing_key_null_text", kPositions, "Posicionamiento", "Height",
                    QVariant(QMetaType::fromType<QString>()), ""},
        DefaultCase{"present_key_wins", kPositions, "Posicionamiento", "left", QVariant(99), "120"},
        DefaultCase{"present_empty_value_wins", kPositions, "PARAMETROS PALM Nº 1", "NOMBRE",
                    QVariant(QStringLiteral("Nº 1")), ""}),
    test::CaseName());

// ---- refused input ---------------------------------------------------------------------------

struct RefusedCase {
    const char* name;
    QString section;
    QString key;
    QString value;
    QString says; // part of the description
};

class RefusesBadInput : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusesBadInput, WritingNothing) {
    const RefusedCase& c = GetParam();
    test::TempHome home;
    const auto refused = [&] {
        try {
            GrabarIni(kFile, c.section, c.key, c.value);
        } catch (const RunTimeError& e) {
            EXPECT_EQ(e.number(), err::InvalidProcedureCall);
            EXPECT_TRUE(e.description().contains(c.says)) << e.description().toStdString();
            return true;
        }
        return false;
    };
    EXPECT_TRUE(refused());
    EXPECT_TRUE(QDir(home.path()).isEmpty()) << "no file, no lock";

    const QByteArray existing = "[General]\nA=1\n";
    writeBytes(home.file(kFile), existing);
    EXPECT_TRUE(refused());
    EXPECT_EQ(readBytes(home.file(kFile)), existing);
}

INSTANTIATE_TEST_SUITE_P(
    SettingsFile, RefusesBadInput,
    ::testing::Values(RefusedCase{"section_with_bracket", "PALM]1", "K", "v", "\"]\""},
                      RefusedCase{"section_with_line_break", "PALM\n1", "K", "v", "line break"},
                      RefusedCase{"section_empty", "  ", "K", "v", "empty"},
                      RefusedCase{"key_with_equals", "S", "A=B", "v", "\"=\""},
                      RefusedCase{"key_with_carriage_return", "S", "A\rB", "v", "line break"},
                      RefusedCase{"key_empty", "S", "", "v", "empty"},
                      RefusedCase{"key_like_comment", "S", ";K", "v", "starts with"},
                      RefusedCase{"key_like_section", "S", "[K", "v", "starts with"},
                      RefusedCase{"value_with_line_break", "S", "K", "uno\ndos", "line break"},
                      RefusedCase{"value_with_carriage_return", "S", "K", "uno\r", "line break"}),
    test::CaseName());

} // namespace
