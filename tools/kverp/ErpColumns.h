#pragma once

// Shorthands for writing the object definitions (ErpMasters.cpp, ErpDocuments.cpp).

#include "ErpSchema.h"
#include "SampleData.h"

namespace kv::erp::def {

inline ErpColumn column(const char* name, ColumnType type, int length = 0) {
    return {QString::fromLatin1(name), type, length, true, QString()};
}
inline ErpColumn text(const char* name, int length) {
    return column(name, ColumnType::Text, length);
}
inline ErpColumn code(const char* name, int length) {
    return column(name, ColumnType::Code, length);
}
inline ErpColumn memo(const char* name) {
    return column(name, ColumnType::Memo);
}
inline ErpColumn binary(const char* name) {
    return column(name, ColumnType::Binary);
}
inline ErpColumn smallInt(const char* name) {
    return column(name, ColumnType::SmallInt);
}
inline ErpColumn integer(const char* name) {
    return column(name, ColumnType::Integer);
}
inline ErpColumn dbl(const char* name) {
    return column(name, ColumnType::Double);
}
inline ErpColumn currency(const char* name) {
    return column(name, ColumnType::Currency);
}
inline ErpColumn flag(const char* name) {
    return column(name, ColumnType::Flag);
}
inline ErpColumn dateTime(const char* name) {
    return column(name, ColumnType::DateTime);
}
inline ErpColumn identity(const char* name) {
    ErpColumn c = column(name, ColumnType::Identity);
    c.nullable = false;
    return c;
}
inline ErpColumn notNull(ErpColumn c) {
    c.nullable = false;
    return c;
}
inline ErpColumn byDefault(ErpColumn c, const char* value) {
    c.defaultValue = QString::fromLatin1(value);
    return c;
}

inline ErpIndex index(std::initializer_list<const char*> columns, bool unique = false) {
    ErpIndex ix;
    for (const char* c : columns)
        ix.columns << QString::fromLatin1(c);
    ix.unique = unique;
    return ix;
}

inline ErpObject table(const char* name, const char* purpose, QList<ErpColumn> columns,
                       QList<ErpIndex> indexes = {}, RowMaker rows = nullptr) {
    ErpObject o;
    o.name = QString::fromLatin1(name);
    o.purpose = QString::fromUtf8(purpose);
    o.columns = std::move(columns);
    o.indexes = std::move(indexes);
    o.rows = rows;
    return o;
}

// The two halves of the object list: master data (ErpMasters.cpp) and documents (ErpDocuments.cpp).
QList<ErpObject> masterObjects();
QList<ErpObject> documentObjects();

// A flag as the tables hold it.
inline int flagOf(bool b) {
    return b ? 1 : 0;
}

} // namespace kv::erp::def
