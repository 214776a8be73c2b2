#include "export/CopyPlan.h"

#include "app/RunTimeError.h"
#include "data/DB_Dll.h"
#include "data/RowStream.h"
#include "data/Translation.h"
#include "data/TypedValue.h"
#include "store/StoreSchema.h"

#include <QHash>
#include <cmath>
#include <optional>
#include <limits>

namespace kv {

namespace {

constexpr qsizetype kShownValueLength = 24;

// What one row of a store table is, for messages ("client 000123").
QString rowNoun(const QString& table) {
    static const QHash<QString, QString> nouns{
        {QStringLiteral("TA_BANCOS"), QStringLiteral("bank")},
        {QStringLiteral("TA_CATEGORIAS"), QStringLiteral("category")},
        {QStringLiteral("TA_RUBROS"), QStringLiteral("product line")},
        {QStringLiteral("TA_TAREAS"), QStringLiteral("task")},
        {QStringLiteral("TA_TIPOS"), QStringLiteral("article type")},
        {QStringLiteral("TA_UNIDAD"), QStringLiteral("unit")},
        {QStringLiteral("TA_USUARIOS"), QStringLiteral("user")},
        {QStringLiteral("TA_VENDEDORES"), QStringLiteral("vendor")},
        {QStringLiteral("MA_ARTICULOS"), QStringLiteral("article")},
        {QStringLiteral("MA_CLIENTES"), QStringLiteral("client")},
        {QStringLiteral("MA_PRECIOS"), QStringLiteral("price")},
        {QStringLiteral("TA_ZONAS"), QStringLiteral("zone")},
    };
    return nouns.value(table, QStringLiteral("row"));
}

// A value as a message shows it: quoted, a long one cut short.
QString shown(const QString& text) {
    const QString cut = text.size() > kShownValueLength ? text.left(kShownValueLength - 4) + QStringLiteral("…") : text;
    return QLatin1Char('\'') + cut + QLatin1Char('\'');
}

bool isBinary(const QVariant& v) {
    return v.metaType().id() == QMetaType::QByteArray;
}

// The number a value stands for, as the column's numeric affinity reads it; nothing for a text
// that is no number.
std::optional<double> numberOf(const QVariant& v) {
    if (isNumberType(v.metaType().id()) || v.metaType().id() == QMetaType::Bool) return v.toDouble();
    if (isBinary(v)) return std::nullopt;
    bool ok = false;
    const double d = v.toString().trimmed().toDouble(&ok);
    return ok && std::isfinite(d) ? std::optional<double>(d) : std::nullopt;
}

} // namespace

QVariant copiedValue(const ColumnCopy& column, const QVariant& source) {
    if (column.sourceType == SourceType::Binary && isBinary(source) && !isNull(source))
        return QString::fromLatin1(source.toByteArray().toHex().toUpper());
    return source;
}

QString refusalOf(const StoreColumn& column, const QVariant& value) {
    const QString name = column.name;
    if (isNull(value)) return column.nullable ? QString() : name + QStringLiteral(" is empty");
    switch (column.kind) {
    case ColumnKind::Text:
    case ColumnKind::LongText: {
        if (isBinary(value)) return name + QStringLiteral(" is binary data, not text");
        if (column.kind == ColumnKind::LongText) return QString();
        const QString text = value.toString();
        // The store counts characters, not UTF-16 units.
        if (text.toUcs4().size() > column.length)
            return name + QLatin1Char(' ') + shown(text) + QStringLiteral(" is longer than %1").arg(column.length);
        return QString();
    }
    case ColumnKind::Double:
        return numberOf(value) ? QString() : name + QLatin1Char(' ') + shown(value.toString()) + QStringLiteral(" is not a number");
    case ColumnKind::Integer: {
        const auto n = numberOf(value);
        if (!n || *n != std::trunc(*n))
            return name + QLatin1Char(' ') + shown(value.toString()) + QStringLiteral(" is not a whole number");
        if (*n < std::numeric_limits<qint32>::min() || *n > std::numeric_limits<qint32>::max())
            return name + QLatin1Char(' ') + shown(value.toString()) + QStringLiteral(" is out of range");
        return QString();
    }
    case ColumnKind::Boolean: {
        const auto n = numberOf(value);
        return n && (*n == 0 || *n == 1) ? QString()
                                         : name + QLatin1Char(' ') + shown(value.toString()) + QStringLiteral(" is not 0 or 1");
    }
    case ColumnKind::Date: return QString();
    }
    return QString();
}

CopyPlan::CopyPlan(const ExportStep& step, const QStringList& sourceColumns)
    : m_step(step), m_table(findStoreTable(step.destination)) {
    for (const ColumnCopy& c : step.columns) {
        Column col;
        col.copy = &c;
        col.store = m_table ? m_table->column(c.destination) : nullptr;
        for (int i = 0; i < sourceColumns.size() && col.source < 0; ++i)
            if (sourceColumns[i].compare(c.source, Qt::CaseInsensitive) == 0) col.source = i;
        if (col.source < 0)
            throw RunTimeError(adoerr::ErrorsInCommand,
                               QStringLiteral("The source of %1 has no column %2.").arg(step.description, c.source),
                               QStringLiteral("Store"));
        col.converts = c.sourceType == SourceType::Binary;
        m_columns << col;
    }
    if (m_table)
        for (const QString& key : m_table->keyColumns)
            for (qsizetype i = 0; i < m_columns.size(); ++i)
                if (m_columns[i].copy->destination.compare(key, Qt::CaseInsensitive) == 0) m_key << i;
}

QVariant CopyPlan::value(qsizetype i, const RowStream& row) const {
    const Column& c = m_columns.at(i);
    return copiedValue(*c.copy, row.value(c.source));
}

QString CopyPlan::refusal(const RowStream& row, const QString& storeReason) const {
    QString why;
    for (qsizetype i = 0; i < m_columns.size() && why.isEmpty(); ++i)
        if (m_columns[i].store) why = refusalOf(*m_columns[i].store, value(i, row));
    if (why.isEmpty()) why = storeReason;
    if (why.isEmpty()) return QString();
    QStringList key;
    for (qsizetype i : m_key) {
        const QVariant v = value(i, row);
        key << (isNull(v) ? QStringLiteral("(empty)") : v.toString());
    }
    return m_step.destination + QStringLiteral(": ") + rowNoun(m_step.destination) + QLatin1Char(' ') +
           key.join(QStringLiteral(" / ")) + QStringLiteral(", ") + why;
}

QString copySourceText(const ExportStep& step, const QString& clientFilter, const QString& priceListFilter,
                       const Connection& erp) {
    return statementAsSent(sourceStatement(step, clientFilter, priceListFilter), *erp.engine(), ErpDb().gEsAdmin);
}

std::unique_ptr<RowStream> openCopySource(const ExportStep& step, const QString& clientFilter,
                                          const QString& priceListFilter, Connection& erp) {
    return RowStream::open(erp, copySourceText(step, clientFilter, priceListFilter, erp));
}

QString refusedRowsMessage(const QStringList& refusals, qint64 total) {
    QString message = refusals.mid(0, kListedRefusals).join(QLatin1Char('\n'));
    if (total > kListedRefusals)
        message += QStringLiteral("\n… and %1 more rows refused").arg(total - kListedRefusals);
    return message;
}

} // namespace kv
