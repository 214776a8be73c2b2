#include "data/TypedValue.h"

#include "app/RunTimeError.h"

#include <optional>
#include <QDateTime>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>

namespace kv {

namespace {

constexpr long kTypeMismatch = 13;

[[noreturn]] void mismatch(const QVariant& value, const QString& column, const char* what) {
    throw RunTimeError(kTypeMismatch,
                       QStringLiteral("Type mismatch: \"%1\" is not %2 (column %3)")
                           .arg(value.toString(), QLatin1String(what), column),
                       QStringLiteral("Recordset"));
}

bool isIntegerType(int typeId) {
    return isNumberType(typeId) && typeId != QMetaType::Double && typeId != QMetaType::Float;
}

// The date forms the store and the handhelds write: ISO dates with or without a time, and the
// day-first form of the workstation ("09/12/2026"). Anything else is not a date.
std::optional<QDateTime> parseDate(const QString& text) {
    const QString t = text.trimmed();
    static const QRegularExpression iso(QStringLiteral(
        R"(^(\d{4})-(\d{2})-(\d{2})(?:[T ](\d{2}):(\d{2})(?::(\d{2})(?:\.(\d{1,3})\d*)?)?)?$)"));
    static const QRegularExpression dayFirst(QStringLiteral(R"(^(\d{1,2})/(\d{1,2})/(\d{4})$)"));
    QDate d;
    QTime time(0, 0);
    if (const auto m = iso.match(t); m.hasMatch()) {
        d = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        if (m.hasCaptured(4))
            time = QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(),
                         m.captured(7).leftJustified(3, QLatin1Char('0')).toInt());
    } else if (const auto m2 = dayFirst.match(t); m2.hasMatch()) {
        d = QDate(m2.captured(3).toInt(), m2.captured(2).toInt(), m2.captured(1).toInt());
    }
    if (!d.isValid() || !time.isValid()) return std::nullopt;
    return QDateTime(d, time);
}

// The last dates read, as an import reads the same few days over and over: building a local
// date-time asks the C library for the time zone every time.
std::optional<QDateTime> readDate(const QString& text) {
    thread_local QHash<QString, std::optional<QDateTime>> recent;
    auto it = recent.constFind(text);
    if (it != recent.constEnd()) return *it;
    if (recent.size() >= 256) recent.clear();
    return *recent.insert(text, parseDate(text));
}

} // namespace

QString notNullText(const QString& text) {
    return text.isNull() ? QStringLiteral("") : text;
}

QVariant boundValue(const QVariant& value) {
    if (value.metaType().id() == QMetaType::QString && value.toString().isNull()) return QStringLiteral("");
    return value;
}

bool isNumberType(int typeId) {
    switch (typeId) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

bool holdsText(int typeId) {
    switch (typeId) {
    case QMetaType::Bool:
    case QMetaType::QDate:
    case QMetaType::QTime:
    case QMetaType::QDateTime:
        return false;
    default:
        return !isNumberType(typeId);
    }
}

QVariant valueForColumn(const QVariant& value, int typeId, const QString& column) {
    if (!value.isValid() || value.isNull()) return QVariant();
    const bool text = value.metaType().id() == QMetaType::QString;
    if (text && value.toString().isEmpty() && !holdsText(typeId)) return QVariant();
    switch (typeId) {
    case QMetaType::QDate:
    case QMetaType::QDateTime: {
        if (value.metaType().id() == QMetaType::QDateTime) return value;
        if (value.metaType().id() == QMetaType::QDate) return QDateTime(value.toDate(), QTime(0, 0));
        const auto d = readDate(value.toString());
        if (!d) mismatch(value, column, "a date");
        return *d;
    }
    default:
        break;
    }
    if (isNumberType(typeId) && text) {
        // Numbers the store keeps as text ("7.25", " 3 ", "7,25") go as numbers.
        QString t = value.toString().trimmed();
        bool ok = false;
        if (isIntegerType(typeId)) {
            const qlonglong n = t.toLongLong(&ok);
            if (ok) return n;
        }
        double d = QLocale::c().toDouble(t, &ok);
        if (!ok && t.count(QLatin1Char(',')) == 1 && !t.contains(QLatin1Char('.')))
            d = QLocale::c().toDouble(t.replace(QLatin1Char(','), QLatin1Char('.')), &ok);
        if (!ok) mismatch(value, column, "a number");
        return d;
    }
    return boundValue(value);
}

} // namespace kv
