#pragma once

#include "cradle/ExchangeReport.h"
#include "history/HistoryFile.h"

namespace kv {

// The history record of an exchange that has ended: its documents (imported, found in the ERP
// already, refused with the reason) and the rows the handheld got, with the outcome and why.
history::Record exchangeRecord(const ExchangeReport& r, history::Outcome outcome, const QString& detail);

} // namespace kv
