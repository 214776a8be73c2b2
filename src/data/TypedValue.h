#pragma once

#include <QVariant>

namespace kv {

// The value as the target column's type wants it bound: a date or date-time column receives a
// QDateTime whatever text form the store held the date in (never text the server would read by
// its session's date order), a number column a number, a text column what it was given. Null,
// and the empty text on a column that is not text, give Null. Throws RunTimeError 13 ("Type
// mismatch") naming the column when the value cannot be read as the column's type, so a
// document with an unreadable date fails instead of landing on another day.
QVariant valueForColumn(const QVariant& value, int columnTypeId, const QString& column);

// The text with a null QString turned into the empty text: Qt's drivers bind a null QString as
// SQL NULL, and an empty text must reach the engine as an empty text.
QString notNullText(const QString& text);
// A value as it is bound: a text value is never Null because of how it was built.
QVariant boundValue(const QVariant& value);

// True for the numeric column types (integers and floating point).
bool isNumberType(int typeId);
// True for column types that hold text (or whose type the engine did not say).
bool holdsText(int typeId);

} // namespace kv
