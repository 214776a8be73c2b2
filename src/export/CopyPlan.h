#pragma once

#include "export/ExportTasks.h"

#include <QList>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>

namespace kv {

class Connection;
class RowStream;
struct StoreColumn;
struct StoreTable;

// The value a copy step writes for a source value: binary data bound for a text column becomes
// its hexadecimal digits, as a copy transformation converts it; anything else goes unchanged.
QVariant copiedValue(const ColumnCopy& column, const QVariant& source);

// Why the store would refuse `value` in `column` ("ZONA 'NORTE12' is longer than 4"); empty
// when the value fits. The same rules as the store's own checks.
QString refusalOf(const StoreColumn& column, const QVariant& value);

// One copy step laid over the columns of its source: where each copied column is read, which
// store column it fills, and how a row names itself in a message.
class CopyPlan {
public:
    // Throws RunTimeError when the source lacks a column the step copies.
    CopyPlan(const ExportStep& step, const QStringList& sourceColumns);

    const ExportStep& step() const { return m_step; }
    qsizetype size() const { return m_columns.size(); }
    int sourceIndex(qsizetype i) const { return m_columns.at(i).source; }
    // The column needs converting before it is bound (binary into text).
    bool converts(qsizetype i) const { return m_columns.at(i).converts; }
    QVariant value(qsizetype i, const RowStream& row) const;
    // The copied columns that form the store table's key, in its order.
    const QList<qsizetype>& keyColumns() const { return m_key; }

    // The row's refusal: "MA_CLIENTES: client 000123, ZONA 'NORTE1' is longer than 4"; the
    // reason is the first column that does not fit or, when every value looks right to the
    // rules here, `storeReason` (what the store said). Empty when the row fits and the store
    // gave no reason.
    QString refusal(const RowStream& row, const QString& storeReason = QString()) const;

private:
    struct Column {
        const ColumnCopy* copy = nullptr;
        const StoreColumn* store = nullptr; // nullptr: a column the store table does not declare
        int source = -1;
        bool converts = false;
    };
    const ExportStep& m_step;
    const StoreTable* m_table = nullptr;
    QList<Column> m_columns;
    QList<qsizetype> m_key; // the copied columns that form the store table's key
};

// The statement a copy step sends to the ERP for the two filters, through the synonyms and the
// engine's dialect as every statement of the data layer: what the send runs and the check tries.
QString copySourceText(const ExportStep& step, const QString& clientFilter, const QString& priceListFilter,
                       const Connection& erp);
// The rows a copy step reads from the ERP for the two filters (copySourceText).
std::unique_ptr<RowStream> openCopySource(const ExportStep& step, const QString& clientFilter,
                                          const QString& priceListFilter, Connection& erp);

// How many refused rows a step names; the rest are counted.
constexpr int kListedRefusals = 20;

// The step message for refused rows: the first ones listed one a line, then how many more.
QString refusedRowsMessage(const QStringList& refusals, qint64 total);

} // namespace kv
