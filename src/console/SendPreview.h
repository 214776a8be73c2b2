#pragma once

#include "console/ExportFilters.h"

#include <QList>
#include <QStringList>

namespace kv {

class Connection;

// What a send would put on a handheld, counted on the ERP database before anything is
// exported: the rows each master table of the store would receive and the price lists among
// them. Nothing is written anywhere.

struct TableCount {
    QString table; // the store's master table
    qint64 rows = 0;
    qint64 refused = 0; // of those rows, the ones the store would refuse (the send would fail)
    bool operator==(const TableCount&) const = default;
};

struct SendPreview {
    ExportFilters filters;
    QList<TableCount> tables; // the twelve master tables, in export order
    QStringList priceLists;   // the price lists the prices would come from, ascending
    // Each table's refused rows as the send would name them (the first ones of each table).
    QStringList refusals;
};

// Reads the rows with the export's own source statements and filters, on the given ERP
// connection, and checks each against the store's rules. Throws RunTimeError when the ERP
// refuses a statement.
SendPreview previewExport(const ExportFilters& filters, Connection& erp);
// On the program's ERP connection: a device's stored filters, or vendor and client lists as
// they are being edited.
SendPreview previewDevice(int device);
SendPreview previewFilters(const QString& reparto, const QString& cliente);

// The operator's text for a preview.
QString previewText(const SendPreview& preview);

// The parameters dialog's "Vista previa": the preview of the lists being edited, shown to the
// operator (a failing count goes to the error treatment).
void VistaPrevia(const QString& reparto, const QString& cliente);

} // namespace kv
