#include "app/LookupMapFile.h"

#include "app/RunTimeError.h"

#include <QFile>

namespace kv {

namespace {
struct FieldSpan {
    int offset;
    int length;
};
constexpr FieldSpan kName{0, 100}, kSource{100, 100}, kColumns{200, 500}, kExtra{700, 500};

// Single-byte text: Latin-1 covers every character the records hold.
void put(QByteArray& rec, FieldSpan f, const QString& text) {
    const QByteArray bytes = text.toLatin1().left(f.length);
    rec.replace(f.offset, bytes.size(), bytes);
}

QString get(QByteArrayView rec, FieldSpan f) {
    return QString::fromLatin1(rec.sliced(f.offset, f.length));
}
} // namespace

const QList<LookupMapRecord>& defaultLookupMap() {
    static const QList<LookupMapRecord> records{
        {QStringLiteral("ARTICULOS"), QStringLiteral("V_MA_ARTICULOS"), QStringLiteral("|DESCRIPCION|IDARTICULO|"), {}},
        {QStringLiteral("CLIENTES"), QStringLiteral("VT_CLIENTES"), QStringLiteral("|RAZON_SOCIAL|CODIGO|CONTACTO|"), {}},
        {QStringLiteral("PROVEEDORES"), QStringLiteral("VT_PROVEEDORES"), QStringLiteral("|RAZON_SOCIAL|CODIGO|"), {}},
        {QStringLiteral("CONTACTOS"), QStringLiteral("MA_CONTACTOS"),
         QStringLiteral("|Nombre_y_Apellido|Domicilio|Localidad|Telefono|"), {}},
        {QStringLiteral("VENDEDORES"), QStringLiteral("V_TA_VENDEDORES"), QStringLiteral("|NOMBRE|IDVENDEDOR|"), {}},
        {QStringLiteral("TECNICOS"), QStringLiteral("V_TA_TECNICOS"), QStringLiteral("|NOMBRE|IDTECNICO|"), {}},
        {QStringLiteral("TECNICOS"), QStringLiteral("V_TA_TECNICOS"), QStringLiteral("|NOMBRE|IDTECNICO|"), {}},
        {QStringLiteral("MANTENIMIENTOS"), QStringLiteral("V_MA_MANTENIMIENTOS"), QStringLiteral("|DESCRIPCION|CODIGO|"),
         {}},
    };
    return records;
}

QByteArray encodeLookupRecord(const LookupMapRecord& r) {
    QByteArray rec(LookupMapRecordSize, ' ');
    put(rec, kName, r.name.trimmed());
    put(rec, kSource, r.source);
    put(rec, kColumns, r.columns.trimmed());
    put(rec, kExtra, r.extra);
    rec[1200] = '\r';
    rec[1201] = '\n';
    return rec;
}

void GrabarMapaConsultas(const QString& path) {
    QFile f(path);
    // NewOnly: a file that appeared meanwhile is the operator's and stays as it is.
    if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw RunTimeError(75, QStringLiteral("No se pudo crear el archivo de consultas %1: %2").arg(path, f.errorString()),
                           QStringLiteral("GrabarMapaConsultas"));
    QByteArray all;
    for (const auto& r : defaultLookupMap()) all += encodeLookupRecord(r);
    if (f.write(all) != all.size() || !f.flush()) {
        const QString why = f.errorString();
        f.close();
        f.remove();
        throw RunTimeError(61, QStringLiteral("No se pudo escribir el archivo de consultas %1: %2").arg(path, why),
                           QStringLiteral("GrabarMapaConsultas"));
    }
}

QList<LookupMapRecord> readLookupMap(const QString& path, bool* partialTail) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw RunTimeError(53, QStringLiteral("No se pudo leer el archivo de consultas %1: %2").arg(path, f.errorString()),
                           QStringLiteral("Lib_ClsCons3"));
    return parseLookupMap(f.readAll(), partialTail);
}

QList<LookupMapRecord> parseLookupMap(QByteArrayView data, bool* partialTail) {
    QList<LookupMapRecord> records;
    for (qsizetype at = 0; at + LookupMapRecordSize <= data.size(); at += LookupMapRecordSize) {
        const QByteArrayView rec = data.sliced(at, LookupMapRecordSize);
        records.append({get(rec, kName), get(rec, kSource), get(rec, kColumns), get(rec, kExtra)});
    }
    if (partialTail) *partialTail = data.size() % LookupMapRecordSize != 0;
    return records;
}

} // namespace kv
