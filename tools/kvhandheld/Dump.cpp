#include "Dump.h"

#include "app/RunTimeError.h"
#include "cradle/SqliteFile.h"
#include "store/StoreSchema.h"

#include <QLocale>
#include <QStringList>

namespace kv::handheld {

using cradle::Database;
using cradle::Statement;
using cradle::Transaction;

QString dumpValue(const QVariant& value) {
    if (value.isNull()) return QStringLiteral("\\N");
    if (value.typeId() == QMetaType::Double) {
        QLocale c = QLocale::c();
        c.setNumberOptions(QLocale::OmitGroupSeparator);
        return c.toString(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    }
    QString out;
    for (const QChar ch : value.toString()) {
        switch (ch.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        default:
            out += ch;
        }
    }
    return out;
}

void dumpTable(const QString& path, const QString& tableName, QTextStream& out) {
    const StoreTable* table = findStoreTable(tableName);
    if (!table) {
        QStringList names;
        for (const StoreTable& t : storeTables())
            names << t.name;
        throw RunTimeError(kUnknownTable,
                           QStringLiteral("%1 is not a table of a handheld; the tables are %2.")
                               .arg(tableName, names.join(QStringLiteral(", "))),
                           QStringLiteral("dump"));
    }
    const Database db(path, QStringLiteral("handheld"), Trust::Untrusted);
    QStringList columns, names, order;
    for (const StoreColumn& c : table->columns) {
        columns << quoteIdentifier(c.name);
        names << c.name;
    }
    for (const QString& k : table->keyColumns)
        order << quoteIdentifier(k);
    Statement st(db, QStringLiteral("SELECT %1 FROM %2 ORDER BY %3, rowid")
                         .arg(columns.join(QStringLiteral(", ")), quoteIdentifier(table->name),
                              order.join(QStringLiteral(", "))));
    out << names.join(QLatin1Char('\t')) << '\n';
    while (st.next()) {
        QStringList row;
        for (int i = 0; i < st.columnCount(); ++i)
            row << dumpValue(st.value(i));
        out << row.join(QLatin1Char('\t')) << '\n';
    }
    out.flush();
}

} // namespace kv::handheld
