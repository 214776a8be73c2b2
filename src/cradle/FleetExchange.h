#pragma once

#include "cradle/ExchangeReport.h"

#include <chrono>

namespace kv {

// One handheld's exchange, run by a process of its own (the cradle starts one per exchange, so
// no two share the program's connections): `folder` holds the handheld's file as it came,
// "handheld.db", and gets the exchange's private store, "store.db".
//  1. The handheld's documents are copied into the private store and imported into the ERP with
//     the receive's own import, unattended: a document the ERP refuses is left out and named.
//  2. Device `device`'s data is exported from the ERP into the private store, as a send does.
//  3. "handheld.db" becomes the handheld's answer: the store's tables, and the documents the ERP
//     does not hold.
// The shared local sync store, the conduit and the waiting programs are never touched. Never
// throws: the report says how far it got and why it stopped.
ExchangeReport runExchange(qint32 device, const QString& folder, std::chrono::seconds workBudget);

} // namespace kv
