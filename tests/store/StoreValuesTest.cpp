#include "StoreTestSupport.h"

#include <gtest/gtest.h>
#include <QByteArray>

using kv::test::StoreFile;

namespace {

// The values a row needs besides the one under test, so only that one can be refused.
QVariantMap requiredValues(const QString& table) {
    if (table == QLatin1String("TA_TAREAS"))
        return {{QStringLiteral("IDTAREA"), QStringLiteral("T1")},
                {QStringLiteral("DESCRIPCION"), QStringLiteral("Service")},
                {QStringLiteral("MODIFICAVALOR"), 0},
                {QStringLiteral("EXENTO"), 0},
                {QStringLiteral("PIDEDATOSADIC"), 0}};
    if (table == QLatin1String("MA_PRECIOS")) return {{QStringLiteral("CONIVA"), 1}};
    return {};
}

QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

struct ValueCase {
    const char* name;
    const char* table;
    const char* column;
    QVariant value;
    const char* refusal;    // what the engine's message names; nullptr when the value fits
    const char* storedType; // typeof() of the stored value when it fits
};

void PrintTo(const ValueCase& c, std::ostream* os) {
    *os << c.name;
}

class StoreValues : public ::testing::TestWithParam<ValueCase> {};

TEST_P(StoreValues, AreRefusedAsTheFileDatabaseWouldRefuseThem) {
    const ValueCase& c = GetParam();
    StoreFile store;
    QVariantMap row = requiredValues(QString::fromLatin1(c.table));
    row.insert(QString::fromLatin1(c.column), c.value);
    const QString message = store.insert(QString::fromLatin1(c.table), row);
    if (c.refusal) {
        EXPECT_TRUE(message.contains(QString::fromUtf8(c.refusal))) << qPrintable(message);
        EXPECT_EQ(
            store.value(QStringLiteral("SELECT count(*) FROM %1").arg(QString::fromLatin1(c.table))).toInt(),
            0);
        return;
    }
    ASSERT_TRUE(message.isEmpty()) << qPrintable(message);
    const QString select = QStringLiteral("SELECT %2(\"%1\") FROM %3").arg(QString::fromLatin1(c.column));
    EXPECT_EQ(store.value(select.arg(QStringLiteral("typeof"), QString::fromLatin1(c.table))).toString(),
              QString::fromLatin1(c.storedType));
    if (c.value.typeId() == QMetaType::QString &&
        QString::fromLatin1(c.storedType) == QLatin1String("text")) {
        EXPECT_EQ(store.value(select.arg(QString(), QString::fromLatin1(c.table))).toString(),
                  c.value.toString());
    }
}

const QString kBanksMax = QString(200, QChar(0x00E9));

INSTANTIATE_TEST_SUITE_P(
    Store, StoreValues,
    ::testing::Values(
        // text(n): n characters fit, whatever their byte count; n + 1 do not.
        ValueCase{"text_of_n_characters", "MA_CLIENTES", "ZONA", QStringLiteral("ABCD"), nullptr, "text"},
        ValueCase{"text_of_n_accented_characters", "MA_CLIENTES", "ZONA", u("ÑAÑÓ"), nullptr, "text"},
        ValueCase{"text_one_too_long", "MA_CLIENTES", "ZONA", QStringLiteral("ABCDE"),
                  "CHECK constraint failed: MA_CLIENTES.ZONA text(4)", nullptr},
        ValueCase{"accented_text_one_too_long", "MA_CLIENTES", "ZONA", u("ÑAÑÓS"), "MA_CLIENTES.ZONA text(4)",
                  nullptr},
        ValueCase{"widened_description_full", "TA_BANCOS", "DESCRIPCION", kBanksMax, nullptr, "text"},
        ValueCase{"widened_description_over", "TA_BANCOS", "DESCRIPCION", kBanksMax + QLatin1Char('x'),
                  "TA_BANCOS.DESCRIPCION text(200)", nullptr},
        ValueCase{"number_written_as_text", "MA_CLIENTES", "ZONA", 1234, nullptr, "text"},
        ValueCase{"number_too_wide_as_text", "MA_CLIENTES", "ZONA", 12345, "MA_CLIENTES.ZONA text(4)",
                  nullptr},
        ValueCase{"binary_in_text", "MA_CLIENTES", "ZONA", QByteArray("AB"), "MA_CLIENTES.ZONA text(4)",
                  nullptr},
        ValueCase{"long_text_without_limit", "TA_TAREAS", "DESCRIPCIONADICIONAL",
                  QString(100000, QLatin1Char('a')), nullptr, "text"},
        // Null only where the column allows it.
        ValueCase{"null_task_code", "TA_TAREAS", "IDTAREA", QVariant(),
                  "NOT NULL constraint failed: TA_TAREAS.IDTAREA", nullptr},
        ValueCase{"null_price_vat_flag", "MA_PRECIOS", "CONIVA", QVariant(),
                  "NOT NULL constraint failed: MA_PRECIOS.CONIVA", nullptr},
        ValueCase{"null_in_nullable_double", "MA_ARTICULOS", "COSTO", QVariant(), nullptr, "null"},
        // double: numeric texts are converted, other texts refused.
        ValueCase{"numeric_text_in_double", "MA_ARTICULOS", "COSTO", QStringLiteral("12.5"), nullptr, "real"},
        ValueCase{"integer_in_double", "MA_ARTICULOS", "COSTO", 3, nullptr, "real"},
        ValueCase{"word_in_double", "MA_ARTICULOS", "COSTO", QStringLiteral("abc"),
                  "CHECK constraint failed: MA_ARTICULOS.COSTO double", nullptr},
        ValueCase{"empty_text_in_double", "MA_ARTICULOS", "COSTO", QStringLiteral(""),
                  "MA_ARTICULOS.COSTO double", nullptr},
        // integer: 32 bits, whole numbers only.
        ValueCase{"numeric_text_in_integer", "MA_CLIENTES", "IVA", QStringLiteral("1"), nullptr, "integer"},
        ValueCase{"word_in_integer", "MA_CLIENTES", "IVA", QStringLiteral("abc"), "MA_CLIENTES.IVA integer",
                  nullptr},
        ValueCase{"fraction_in_integer", "MA_CLIENTES", "IVA", 2.5, "MA_CLIENTES.IVA integer", nullptr},
        ValueCase{"largest_integer", "MA_CLIENTES", "CLASE_PRECIO", qlonglong(2147483647), nullptr,
                  "integer"},
        ValueCase{"smallest_integer", "MA_CLIENTES", "CLASE_PRECIO", qlonglong(-2147483648LL), nullptr,
                  "integer"},
        ValueCase{"integer_over_32_bits", "MA_CLIENTES", "CLASE_PRECIO", qlonglong(2147483648LL),
                  "MA_CLIENTES.CLASE_PRECIO integer", nullptr},
        ValueCase{"integer_under_32_bits", "MA_CLIENTES", "CLASE_PRECIO", qlonglong(-2147483649LL),
                  "MA_CLIENTES.CLASE_PRECIO integer", nullptr},
        // Boolean: 0 or 1.
        ValueCase{"boolean_true", "TA_TAREAS", "MODIFICAVALOR", 1, nullptr, "integer"},
        ValueCase{"boolean_two", "TA_TAREAS", "MODIFICAVALOR", 2,
                  "CHECK constraint failed: TA_TAREAS.MODIFICAVALOR Boolean", nullptr},
        ValueCase{"boolean_minus_one", "TA_TAREAS", "EXENTO", -1, "TA_TAREAS.EXENTO Boolean", nullptr},
        // Document tables hold what a handheld may leave there, for the import to cope with.
        ValueCase{"null_document_key", "MV_CPTE", "MV_CPTE_TSNL", QVariant(), nullptr, "null"},
        ValueCase{"short_document_key_with_apostrophe", "MV_CPTE", "MV_CPTE_TSNL", QStringLiteral("OT0001'"),
                  nullptr, "text"},
        ValueCase{"document_key_too_long", "MV_CPTE", "MV_CPTE_TSNL", QStringLiteral("OT000100001234AB"),
                  "MV_CPTE.MV_CPTE_TSNL text(15)", nullptr},
        ValueCase{"date_that_is_no_date", "MV_CPTE", "MV_CPTE_FECHA", QStringLiteral("31/02/x"), nullptr,
                  "text"},
        ValueCase{"iso_date", "MV_CPTE_DETALLE", "MV_CPTE_DET_FECHA", QStringLiteral("2024-03-01"), nullptr,
                  "text"},
        ValueCase{"quoted_column_name", "CPTES_DB_CR", "DEBE-HABER", QStringLiteral("DH"),
                  "CPTES_DB_CR.DEBE-HABER text(1)", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

struct KeyCase {
    const char* name;
    const char* table;
    QVariantMap first;
    QVariantMap second;
    bool secondStored;
};

void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << c.name;
}

class StoreKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(StoreKeys, RefuseASecondRowWithTheSameKey) {
    const KeyCase& c = GetParam();
    StoreFile store;
    const QString table = QString::fromLatin1(c.table);
    auto withRequired = [&](QVariantMap row) {
        const QVariantMap required = requiredValues(table);
        for (auto it = required.begin(); it != required.end(); ++it)
            if (!row.contains(it.key())) row.insert(it.key(), it.value());
        return row;
    };
    ASSERT_EQ(store.insert(table, withRequired(c.first)), QString());
    const QString message = store.insert(table, withRequired(c.second));
    if (c.secondStored) {
        EXPECT_EQ(message, QString());
    } else {
        EXPECT_TRUE(message.contains(QStringLiteral("UNIQUE constraint failed: %1.").arg(table)))
            << qPrintable(message);
    }
}

QVariantMap price(const char* list, const char* name, const char* article) {
    return {{QStringLiteral("IDLISTA"), QString::fromLatin1(list)},
            {QStringLiteral("NOMBRE"), QString::fromLatin1(name)},
            {QStringLiteral("IDARTICULO"), QString::fromLatin1(article)}};
}

QVariantMap openItem(const char* debitOrCredit) {
    return {{QStringLiteral("TIPO_CPTE"), QStringLiteral("FC")},
            {QStringLiteral("CUENTA"), QStringLiteral("C001")},
            {QStringLiteral("FECHA"), QStringLiteral("2024-01-02")},
            {QStringLiteral("TC"), QStringLiteral("FC")},
            {QStringLiteral("SUCURSAL"), QStringLiteral("0001")},
            {QStringLiteral("NUMERO"), QStringLiteral("00000001")},
            {QStringLiteral("LETRA"), QStringLiteral("A")},
            {QStringLiteral("DEBE-HABER"), QString::fromLatin1(debitOrCredit)}};
}

QVariantMap line(const QVariant& key, const QVariant& item) {
    return {{QStringLiteral("MV_CPTE_DET_TSNL"), key}, {QStringLiteral("MV_CPTE_DET_ITEM"), item}};
}

QVariantMap user(const char* name, const char* system) {
    return {{QStringLiteral("USUARIO"), QString::fromLatin1(name)},
            {QStringLiteral("SISTEMA"), QString::fromLatin1(system)}};
}

INSTANTIATE_TEST_SUITE_P(
    Store, StoreKeys,
    ::testing::Values(
        KeyCase{"same_price_entry", "MA_PRECIOS", price("L1", "Lista", "A1"), price("L1", "Lista", "A1"),
                false},
        KeyCase{"other_article_same_list", "MA_PRECIOS", price("L1", "Lista", "A1"),
                price("L1", "Lista", "A2"), true},
        KeyCase{"same_user_same_system", "TA_USUARIOS", user("ANA", "GM"), user("ANA", "GM"), false},
        KeyCase{"same_user_other_system", "TA_USUARIOS", user("ANA", "GM"), user("ANA", "CO"), true},
        KeyCase{"same_task",
                "TA_TAREAS",
                {{QStringLiteral("IDTAREA"), QStringLiteral("T9")}},
                {{QStringLiteral("IDTAREA"), QStringLiteral("T9")}},
                false},
        KeyCase{"same_document_line", "MV_CPTE_DETALLE", line(QStringLiteral("OT00010000001A"), 1),
                line(QStringLiteral("OT00010000001A"), 1), false},
        KeyCase{"next_document_line", "MV_CPTE_DETALLE", line(QStringLiteral("OT00010000001A"), 1),
                line(QStringLiteral("OT00010000001A"), 2), true},
        KeyCase{"documents_without_key",
                "MV_CPTE",
                {{QStringLiteral("MV_CPTE_TSNL"), QVariant()}},
                {{QStringLiteral("MV_CPTE_TSNL"), QVariant()}},
                true},
        KeyCase{"same_open_item", "CPTES_DB_CR", openItem("D"), openItem("D"), false},
        KeyCase{"open_item_debit_and_credit", "CPTES_DB_CR", openItem("D"), openItem("H"), true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
