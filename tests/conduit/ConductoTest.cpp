#include "conduit/Conducto.h"

#include "app/Trap.h"
#include "conduit/FileConduitConfig.h"
#include "ScriptedConduitConfig.h"
#include "ScriptedOperator.h"
#include "TestEnv.h"

#include <gtest/gtest.h>

using namespace kv;

namespace {

const QString kWarning = QStringLiteral("Aviso al Operador");

// The sixteen tables and key columns the handheld's conduit must carry, in order.
const QList<RegisteredTable> kExpectedTables{
    {"TA_CATEGORIAS", 0, "1:IDCATEGORIA"},
    {"TA_RUBROS", 0, "1:IDRUBRO"},
    {"TA_TAREAS", 0, "1:IDTAREA"},
    {"TA_TIPOS", 0, "1:IDTIPO"},
    {"TA_UNIDAD", 0, "1:IDUNIDAD"},
    {"TA_ZONAS", 0, "1:IDZONA"},
    {"TA_BANCOS", 0, "0:IDBANCO"},
    {"TA_VENDEDORES", 0, "1:IDVENDEDOR"},
    {"MA_ARTICULOS", 0, "0:IDARTICULO"},
    {"MA_CLIENTES", 0, "0:IDCLIENTE"},
    {"MA_PRECIOS", 0, "0:IDLISTA,1:NOMBRE,2:IDARTICULO"},
    {"MV_CPTE", 5, "0:MV_CPTE_TSNL"},
    {"MV_CPTE_DETALLE", 5, "0:MV_CPTE_DET_TSNL,1:MV_CPTE_DET_ITEM"},
    {"MV_MPCPTES", 5, "0:MP_CPTE_TSNL,1:MP_IDCLIENTE,2:MP_ITEM"},
    {"CPTES_DB_CR", 0, "0:TIPO_CPTE,1:CUENTA,2:FECHA,3:TC,4:SUCURSAL,5:NUMERO,6:LETRA,7:DEBE-HABER"},
    {"TA_USUARIOS", 0, "0:USUARIO,2:SISTEMA"},
};

QList<RegisteredTable> withCode(qint32 code) {
    QList<RegisteredTable> r = kExpectedTables;
    for (auto& t : r)
        t.transferCode = code;
    return r;
}

ConduitRegistration readBack() {
    ConduitRegistration c;
    EXPECT_EQ(FileConduitConfig().ReadConduit(kConduitName, &c), uc::Ok);
    return c;
}

} // namespace

// --- CodigoNumerico ------------------------------------------------------------------------

struct CodeCase {
    const char* name;
    QString text;
    quint32 expected;
};

class CodigoNumericoCases : public ::testing::TestWithParam<CodeCase> {};

TEST_P(CodigoNumericoCases, PacksTheAnsiCodesOfTheFirstFourCharacters) {
    EXPECT_EQ(CodigoNumerico(GetParam().text), qint32(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Conduit, CodigoNumericoCases,
    ::testing::Values(CodeCase{"creator_code", QStringLiteral("5712"), 892809522u},
                      CodeCase{"empty", QString(), 0u},
                      CodeCase{"two_characters_pad_with_zero_bytes", QStringLiteral("AB"), 0x41420000u},
                      CodeCase{"four_letters", QStringLiteral("KVGM"), 0x4B56474Du},
                      CodeCase{"only_four_characters_count", QStringLiteral("5712XYZ"), 892809522u},
                      CodeCase{"latin_letter_above_127", QStringLiteral("AÑ"), 0x41D10000u},
                      CodeCase{"high_first_byte_keeps_its_bits", QStringLiteral("Ñ"), 0xD1000000u},
                      CodeCase{"windows_1252_only_character", QStringLiteral("A€"), 0x41800000u},
                      CodeCase{"character_outside_the_code_page", QStringLiteral("AĀ"), 0x413F0000u}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Transfer codes --------------------------------------------------------------------------

struct TransferCase {
    const char* name;
    QString table;
    bool receive;
    qint32 expected;
};

class TransferCodes : public ::testing::TestWithParam<TransferCase> {};

TEST_P(TransferCodes, DependOnDirectionAndDocumentTable) {
    EXPECT_EQ(CodigoTransferencia(GetParam().table, GetParam().receive), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Conduit, TransferCodes,
    ::testing::Values(TransferCase{"send_document_table", "MV_CPTE", false, 4},
                      TransferCase{"send_master_table", "TA_USUARIOS", false, 4},
                      TransferCase{"receive_documents", "MV_CPTE", true, 5},
                      TransferCase{"receive_lines_lower_case", "mv_cpte_detalle", true, 5},
                      TransferCase{"receive_payments_mixed_case", "Mv_MpCptes", true, 5},
                      TransferCase{"receive_master_table", "MA_CLIENTES", true, 0},
                      TransferCase{"receive_account_moves", "CPTES_DB_CR", true, 0},
                      TransferCase{"receive_name_that_only_starts_alike", "MV_CPTE_TSNL", true, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Registration against the file-backed library ----------------------------------------------

TEST(RegistrarConducto, ReceiveRegistersTheSixteenTablesWithReceivingCodesAndEnables) {
    test::TempHome home;
    test::ScopedOperator o;
    EXPECT_EQ(RegistrarConducto(true), 0);
    const ConduitRegistration c = readBack();
    EXPECT_TRUE(c.enabled);
    EXPECT_EQ(c.creator, QStringLiteral("KVGM"));
    EXPECT_EQ(c.creatorCode, 892809522);
    EXPECT_EQ(c.tables, kExpectedTables);
    EXPECT_TRUE(o.person.shown().isEmpty());
}

TEST(RegistrarConducto, SendAfterReceiveReplacesEveryCodeWithFourAndDeletesNothing) {
    test::TempHome home;
    test::ScopedOperator o;
    RegistrarConducto(true);
    const TableRecord other{.name = "TA_OTRA", .transferCode = transfer::FromHandheld, .keySpec = "0:ID"};
    ASSERT_EQ(FileConduitConfig().AddUpdateTable(kConduitName, other), uc::Ok);
    ASSERT_EQ(DesactivarConducto(), 0);

    EXPECT_EQ(RegistrarConducto(false), 0);
    const ConduitRegistration c = readBack();
    EXPECT_TRUE(c.enabled);
    QList<RegisteredTable> expected = withCode(4);
    expected.insert(16, RegisteredTable{"TA_OTRA", 5, "0:ID"}); // not the program's: left as it was
    EXPECT_EQ(c.tables, expected);
}

// --- Registration against a scripted library ----------------------------------------------------

TEST(RegistrarConducto, PassesTheRecordsMemberByMemberAndEnablesLast) {
    test::ScopedOperator o;
    test::ScopedConduitConfig lib;
    RegistrarConducto(true);
    ASSERT_EQ(lib.library.conduits.size(), 1);
    const ConduitRecord& c = lib.library.conduits.first();
    EXPECT_EQ(c.name, QStringLiteral("KVGMovil"));
    EXPECT_EQ(c.creator, QStringLiteral("KVGM"));
    EXPECT_EQ(c.creatorCode, 892809522);
    EXPECT_EQ(c.number6, 1);
    for (const QString* text : {&c.text4, &c.text5, &c.text7, &c.text8, &c.text9})
        EXPECT_TRUE(text->isNull());

    ASSERT_EQ(lib.library.tables.size(), 16);
    for (int i = 0; i < 16; ++i) {
        const TableRecord& t = lib.library.tables.at(i);
        EXPECT_EQ(RegisteredTable(t.name, t.transferCode, t.keySpec), kExpectedTables.at(i));
        EXPECT_EQ(t.number4, -1);
        EXPECT_EQ(t.number5, -1);
        EXPECT_TRUE(!t.text6.isNull() && t.text6.isEmpty());
        EXPECT_TRUE(!t.text7.isNull() && t.text7.isEmpty());
    }
    EXPECT_EQ(lib.library.log.first(), QStringLiteral("conduit KVGMovil"));
    EXPECT_EQ(lib.library.log.last(), QStringLiteral("enable KVGMovil 1"));
    EXPECT_EQ(lib.library.log.size(), 18);
}

TEST(RegistrarConducto, ConduitNotFoundForEveryTableShowsSixteenMessagesAndStillEnables) {
    test::ScopedOperator o;
    test::ScopedConduitConfig lib;
    lib.library.tableAnswer = uc::ConduitNotFound;
    EXPECT_EQ(RegistrarConducto(false), 16);
    const auto shown = o.person.shown();
    ASSERT_EQ(shown.size(), 16);
    for (const auto& s : shown) {
        EXPECT_EQ(s.title, kWarning);
        EXPECT_EQ(s.text, QStringLiteral("No se ha encontrado el conducto Especifidado"));
        EXPECT_EQ(s.style, mb::Critical);
    }
    EXPECT_TRUE(lib.library.enabled);
}

TEST(RegistrarConducto, ResultsOfConduitAndEnableCallsAreNotExamined) {
    test::ScopedOperator o;
    test::ScopedConduitConfig lib;
    lib.library.conduitAnswer = uc::RegistryAccess;
    lib.library.enableAnswer = uc::ConduitNotFound;
    EXPECT_EQ(RegistrarConducto(true), 0);
    EXPECT_TRUE(o.person.shown().isEmpty());
}

struct FailureCase {
    qint32 code;
    QString message; // empty: taken as success
};

class FailureCodes : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailureCodes, ATableFailureIsShownAndTheOtherTablesGoOn) {
    test::ScopedOperator o;
    test::ScopedConduitConfig lib;
    lib.library.tableAnswers.insert(QStringLiteral("TA_ZONAS"), GetParam().code);
    EXPECT_EQ(RegistrarConducto(false), GetParam().message.isEmpty() ? 0 : 1);
    if (GetParam().message.isEmpty()) {
        EXPECT_TRUE(o.person.shown().isEmpty());
    } else {
        ASSERT_EQ(o.person.shown().size(), 1);
        EXPECT_EQ(o.person.shown().first().text, GetParam().message);
        EXPECT_EQ(o.person.shown().first().title, kWarning);
        EXPECT_EQ(o.person.shown().first().style, mb::Critical);
    }
    EXPECT_EQ(lib.library.tables.size(), 16);
}

TEST_P(FailureCodes, ADisableFailureIsShown) {
    test::ScopedOperator o;
    test::ScopedConduitConfig lib;
    lib.library.disableAnswer = GetParam().code;
    EXPECT_EQ(DesactivarConducto(), GetParam().message.isEmpty() ? 0 : 1);
    QStringList expected;
    if (!GetParam().message.isEmpty()) expected << kWarning + QStringLiteral(": ") + GetParam().message;
    EXPECT_EQ(o.person.messages(), expected);
    EXPECT_EQ(lib.library.log, QStringList{QStringLiteral("enable KVGMovil 0")});
}

INSTANTIATE_TEST_SUITE_P(
    Conduit, FailureCodes,
    ::testing::Values(FailureCase{1, "No se ha podido encontrar el Dispositivo Movil"},
                      FailureCase{2, "No se ha podido Tener Acceso al registro"},
                      FailureCase{3, "Se han enviado malos argumentos"},
                      FailureCase{4, "No se ha encontrado el AppForge Instalado en este Equipo"},
                      FailureCase{5, "No se ha encontrado el conducto Especifidado"},
                      FailureCase{6, "No se ha encontrado La Tabla Especifidada"},
                      FailureCase{100, "Error No Codificado"}, FailureCase{0, ""}, FailureCase{7, ""},
                      FailureCase{99, ""}, FailureCase{-1, ""}),
    [](const auto& info) { return "code_" + std::to_string(info.param.code < 0 ? 9999 : info.param.code); });

TEST(RegistrarConducto, ALibraryErrorReachesTheCallersTrapWhichGoesOnAfterTheCall) {
    test::ScopedOperator o;
    test::ScopedConduitConfig lib;
    lib.library.throwAtCall = 4; // the third table
    o.person.answer(mb::Ignore);
    Trap trap = Trap::prompting(QStringLiteral("ActualizaDatos_KVControl"));
    bool after = false;
    trap.step([] { RegistrarConducto(true); });
    trap.step([&] { after = true; });
    EXPECT_TRUE(after);
    EXPECT_EQ(lib.library.log.size(), 3); // the conduit and two tables; nothing after the error
    EXPECT_FALSE(lib.library.enabled);
    ASSERT_EQ(o.person.shownOf(QStringLiteral("error")).size(), 1);
    EXPECT_TRUE(o.person.shownOf(QStringLiteral("error")).first().text.contains(QStringLiteral("(48)")));
}
