#include "HandheldTestSupport.h"

#include "cradle/SqliteFile.h"
#include "store/StoreSchema.h"

#include <QCryptographicHash>

namespace kv::test {

using cradle::Database;
using cradle::Statement;

void execSql(const QString& path, const QString& sql) {
    Database(path, QStringLiteral("test database")).exec(sql);
}

QList<QVariantList> query(const QString& path, const QString& sql, const QVariantList& binds) {
    const Database db(path, QStringLiteral("test database"));
    Statement st(db, sql);
    st.bindAll(binds);
    QList<QVariantList> rows;
    while (st.next()) {
        QVariantList row;
        for (int i = 0; i < st.columnCount(); ++i)
            row << st.value(i);
        rows << row;
    }
    return rows;
}

namespace {

QVariant sampleValue(const StoreTable& t, const StoreColumn& c, int column, int row, const QString& tag) {
    const bool key = t.keyColumns.contains(c.name);
    if (c.nullable && !key && (row + column) % 3 == 0) return QVariant();
    switch (c.kind) {
    case ColumnKind::Text: {
        const QString text =
            key ? tag + QString::number(row) : QStringLiteral("%1Ñ%2-%3").arg(tag).arg(row).arg(column);
        return text.right(c.length);
    }
    case ColumnKind::LongText:
        return QStringLiteral("%1 línea %2\nsegunda\tparte").arg(tag).arg(row);
    case ColumnKind::Double:
        return row * 1.25 + column + (tag.size() % 7) * 0.1;
    case ColumnKind::Integer:
        return row * 10 + column + int(tag.size());
    case ColumnKind::Boolean:
        return (row + int(tag.size())) % 2;
    case ColumnKind::Date:
        return QStringLiteral("2024-%1-%2")
            .arg(1 + tag.size() % 12, 2, 10, QLatin1Char('0'))
            .arg(1 + row % 28, 2, 10, QLatin1Char('0'));
    }
    return QVariant();
}

} // namespace

void fillAllTables(const QString& path, int rows, const QString& tag) {
    const Database db(path, QStringLiteral("test database"));
    cradle::Transaction transaction(db);
    for (const StoreTable& t : storeTables()) {
        QStringList names, marks;
        for (const StoreColumn& c : t.columns) {
            names << quoteIdentifier(c.name);
            marks << QStringLiteral("?");
        }
        Statement insert(db, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                 .arg(quoteIdentifier(t.name), names.join(QLatin1Char(',')),
                                      marks.join(QLatin1Char(','))));
        for (int r = 0; r < rows; ++r) {
            QVariantList values;
            for (int i = 0; i < t.columns.size(); ++i)
                values << sampleValue(t, t.columns.at(i), i, r, tag);
            insert.bindAll(values);
            insert.run();
        }
    }
    transaction.commit();
}

QMap<QString, QString> snapshot(const QString& path, const QStringList& tables) {
    const Database db(path, QStringLiteral("test database"));
    QMap<QString, QString> out;
    for (const StoreTable& t : storeTables()) {
        if (!tables.isEmpty() && !tables.contains(t.name)) continue;
        if (db.value(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?"),
                     {t.name})
                .toInt() == 0) {
            out.insert(t.name, QStringLiteral("missing"));
            continue;
        }
        // quote() keeps the storage class apart: 1, 1.0 and '1' differ. The rows are joined in the
        // engine: large tables are compared in a blink.
        QStringList quoted;
        for (const StoreColumn& c : t.columns)
            quoted << QStringLiteral("quote(%1)").arg(quoteIdentifier(c.name));
        Statement st(db,
                     QStringLiteral("SELECT count(*), group_concat(r, char(30)) FROM (SELECT %1 AS r FROM %2 "
                                    "ORDER BY r)")
                         .arg(quoted.join(QStringLiteral(" || char(31) || ")), quoteIdentifier(t.name)));
        st.next();
        const qint64 count = st.value(0).toLongLong();
        const QByteArray digest =
            QCryptographicHash::hash(st.value(1).toString().toUtf8(), QCryptographicHash::Sha1).toHex();
        out.insert(t.name, QStringLiteral("%1 rows %2").arg(count).arg(QString::fromLatin1(digest)));
    }
    return out;
}

void seedMasters(const QString& path) {
    execSql(path, QStringLiteral(R"(
        INSERT INTO MA_CLIENTES (IDCLIENTE, DESCRIPCION, IVA, CLASE_PRECIO, IDLISTA, DESCUENTO) VALUES
            ('C001', 'Almacén Uno', 1, 1, 'L1', NULL),
            ('C002', 'Ferretería Dos', 1, 2, 'L1', 10),
            ('C003', 'Kiosco Tres', 4, NULL, NULL, 0),
            ('C004', 'Bar Cuatro', 4, 3, 'L2', 5);
        INSERT INTO MA_ARTICULOS (IDARTICULO, DESCRIPCION, UNIDAD, ALICIVA, IMPORTE, IMPORTE2) VALUES
            ('A001', 'Tornillo 6mm', 'UN', 21, 10, 9),
            ('A002', 'Harina 000', 'KG', 10.5, 50, 45),
            ('A003', 'Libro de actas', 'UN', 0, 100, 95),
            ('A004', 'Cable 2mm', 'MT', 21, 7.5, 7),
            ('A005', 'Pintura', 'LT', 21, 30, 28),
            ('A006', 'Lija', 'UN', 21, 2, NULL);
        INSERT INTO MA_PRECIOS (IDLISTA, NOMBRE, IDARTICULO, CONIVA, PRECIO1, PRECIO2, PRECIO3, TIPOLISTA) VALUES
            ('L1', 'Mayorista', 'A001', 0, 12, 11, NULL, 'V'),
            ('L1', 'Mayorista', 'A002', 0, 55, 52, NULL, 'V'),
            ('L1', 'Mayorista', 'A003', 0, 120, 110, NULL, 'V'),
            ('L1', 'Mayorista', 'A004', 0, 8, 7.8, NULL, 'V'),
            ('L1', 'Mayorista', 'A005', 0, 33.33, 31, NULL, 'V'),
            ('L2', 'Minorista', 'A001', 1, 15, 14, 13.5, 'V'),
            ('L2', 'Minorista', 'A002', 1, 66.3, 60, 58.9, 'V'),
            ('L2', 'Minorista', 'A006', 1, 3, 2.9, NULL, 'V');
        INSERT INTO TA_TAREAS (IDTAREA, DESCRIPCION, HORASESTIMADAS, VALORHORA, MODIFICAVALOR, EXENTO,
                               PIDEDATOSADIC, TASAIVA, DESCRIPCIONADICIONAL) VALUES
            ('T001', 'Service general', 2, 1500, 0, 0, 0, 21, ' con repuestos '),
            ('T002', 'Visita técnica', NULL, 800, 1, 1, 0, 21, NULL),
            ('T003', 'Instalación', 3.5, 1200, 0, 0, 1, 10.5, 'según plano');
    )"));
}

} // namespace kv::test
