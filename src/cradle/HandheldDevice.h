#pragma once

#include <QString>

namespace kv::cradle {

class Database;

// The device number a handheld carries, in a one-row table of its own beside the store's
// tables, so the cradle can tell one device's handheld from another's.
QString deviceTableName();

// The handheld's device number; 0 for a handheld made without one.
qint32 handheldDevice(const Database& handheld);

// Records the number on a handheld that has none yet (kvhandheld init --device N).
void recordHandheldDevice(const Database& handheld, qint32 device);

// Each device numbers its documents at a branch of its own (device 7: "0007"; a handheld without
// a number, "0001"), so two handhelds never capture the same key and the ERP never takes one's
// document for another's.
QString branchOf(qint32 device);
// The last number each document type used at a branch, in a table of the handheld's own beside
// the store's ("KV_NUMERACION": TC, SUCURSAL, ULTIMO), which a sync leaves alone: once the
// documents have left, their numbers are still not given again, or the ERP would take a new
// document for the old one and leave it out. 0 when none is kept.
qint64 lastNumber(const Database& handheld, const QString& type, const QString& branch);
// Raises the kept number to `number` (never lowers it), inside the caller's transaction. A
// handheld whose table is a view or carries a trigger keeps nothing: false.
bool raiseLastNumber(const Database& handheld, const QString& type, const QString& branch, qint64 number);

} // namespace kv::cradle
