#pragma once

#include <QList>
#include <QString>

namespace kv {

// The send direction's package: one delete step that empties the master tables of the local
// sync store and twelve copy steps that refill them from the ERP database.

// How the ERP side describes a source column (what it is converted from).
enum class SourceType { Text, LongText, Binary, Double, Currency, Boolean, Int16, Int32 };

struct ColumnCopy {
    QString source;
    SourceType sourceType;
    int sourceLength; // text(n); 0 otherwise
    QString destination;
};

struct ExportStep {
    int position;        // 1..13
    QString stepName;    // "DTSStep_DTSDataPumpTask_1"
    QString description; // the progress window's line: "TA_BANCOS", "TA_VENDEDOR" for step 9
    QString taskName;
    QString destination; // store table; empty for the delete step
    QList<ColumnCopy> columns;
};

// The thirteen steps in execution order.
const QList<ExportStep>& exportSteps();

// The delete task's statement: the twelve DELETEs separated by "GO" lines (CR LF between lines,
// no line end after the last).
QString deleteTaskText();
// The statements of a text of batches separated by "GO" lines.
QStringList batchesOf(const QString& text);

// The source statement of a copy step for the two filters (a whole view, the filtered client
// query, the filtered price query of type 'V' lists, or the zones query).
QString sourceStatement(const ExportStep& step, const QString& clientFilter, const QString& priceListFilter);
// The ERP object a copy step reads ("V_TA_Bancos", "vt_clientes", ...); empty for the delete step.
QString sourceObjectOf(const ExportStep& step);

} // namespace kv
