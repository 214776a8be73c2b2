#pragma once

#include <QString>

namespace kv {

// What one handheld may carry: a WHERE clause on the ERP client view and one on the price
// lists, each empty (no restriction) or beginning with " WHERE ".
struct ExportFilters {
    QString client;
    QString priceList;
};

// A code list "3,7" as the inside of an IN (...) list: every "," becomes "','". Apostrophes in
// the codes are doubled first, so a code can never close the literal it stands in.
QString quoteCodeList(const QString& codes);

// The client filter for a vendor list (any of the six vendor columns) or, when there is none, a
// client list; empty when both are empty.
QString clientFilterFor(const QString& reparto, const QString& cliente);
// The price-list filter for the collected price-list codes ("1,4").
QString priceListFilterFor(const QString& codes);
// The statement that collects the price lists of the clients that pass the client filter.
QString priceListQueryFor(const QString& clientFilter);

// Builds both filters for a device from its settings ("REPARTO", then "CLIENTE") and, for the
// price lists, the ERP database. Throws RunTimeError when the settings file or the price lists
// cannot be read (after the error treatment has shown why): a filter is never left out.
ExportFilters buildExportFilters(int device);
// The same for vendor and client lists given as they are (trimmed), e.g. while being edited.
ExportFilters exportFiltersFor(const QString& reparto, const QString& cliente);

} // namespace kv
