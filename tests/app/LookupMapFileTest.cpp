#include "TestEnv.h"
#include "app/LookupMapFile.h"
#include "app/RunTimeError.h"

#include <QCryptographicHash>
#include <QFile>
#include <gtest/gtest.h>

using namespace kv;

namespace {

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

TEST(LookupMapFile, WritesTheEightRecordsByteForByte) {
    test::TempHome home;
    const QString path = home.file(QStringLiteral("consultas.hxw"));
    GrabarMapaConsultas(path);
    const QByteArray data = bytesOf(path);
    ASSERT_EQ(data.size(), 9616);
    // Record 2: name, source and columns left-aligned in their fields, blanks, CR LF.
    const QByteArray rec = data.mid(1202, 1202);
    EXPECT_EQ(rec.left(100), QByteArray("CLIENTES").leftJustified(100, ' '));
    EXPECT_EQ(rec.mid(100, 100), QByteArray("VT_CLIENTES").leftJustified(100, ' '));
    EXPECT_EQ(rec.mid(200, 500), QByteArray("|RAZON_SOCIAL|CODIGO|CONTACTO|").leftJustified(500, ' '));
    EXPECT_EQ(rec.mid(700, 500), QByteArray(500, ' '));
    EXPECT_EQ(rec.mid(1200), QByteArray("\r\n"));
    EXPECT_EQ(data.mid(6 * 1202, 1202), data.mid(5 * 1202, 1202)); // the two TECNICOS records
    // The whole file, pinned to bytes built independently from the record list: any change of
    // a byte is a change of the format the lookups of the whole suite read.
    EXPECT_EQ(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex(),
              QByteArray("03d4ed67bc20bab7eebdd5b58bb7f18fb4e9509236fee14db192e48f862d5080"));
    const auto records = readLookupMap(path);
    ASSERT_EQ(records.size(), 8);
    EXPECT_EQ(records[7].source.trimmed(), QStringLiteral("V_MA_MANTENIMIENTOS"));
    EXPECT_EQ(records[3].columns.trimmed(), QStringLiteral("|Nombre_y_Apellido|Domicilio|Localidad|Telefono|"));
}

TEST(LookupMapFile, PresentFileIsLeftUntouched) {
    test::TempHome home;
    const QString path = home.file(QStringLiteral("consultas.hxw"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("mine");
    f.close();
    EXPECT_THROW(GrabarMapaConsultas(path), RunTimeError);
    EXPECT_EQ(bytesOf(path), QByteArray("mine"));
}

TEST(LookupMapFile, PartialTailIsNotARecord) {
    test::TempHome home;
    const QString path = home.file(QStringLiteral("consultas.hxw"));
    GrabarMapaConsultas(path);
    ASSERT_TRUE(QFile::resize(path, 1202 * 3 + 500));
    bool partial = false;
    EXPECT_EQ(readLookupMap(path, &partial).size(), 3);
    EXPECT_TRUE(partial);
    EXPECT_THROW(readLookupMap(home.file(QStringLiteral("missing.hxw"))), RunTimeError);
}

} // namespace
