#pragma once

#include <QString>

namespace kv {

// The ERP configuration table's name, set by start-up ("ta_configuracion"); while empty, Cfg
// uses "TA_CONFIGURACION".
QString& configTableName();

// The value of a key of the ERP configuration table: a single blank when the key is missing,
// the empty text when the lookup fails and the operator does not choose to go on. The
// auxiliary value comes back through `aux` when given.
QString Cfg(const QString& key, QString* aux = nullptr);
// The same read with its failure thrown to the caller's own error treatment (a procedure in
// which an Abort must end the whole procedure, not only the lookup).
QString CfgValue(const QString& key, QString* aux = nullptr);

// The number of handhelds ("GM_CANT_DISPOSITIVOS"); missing, 0 or negative gives 1.
int deviceCount();

// The console shows and kvctl lists at most this many devices: a count beyond it is taken as a
// mistyped value, not as a fleet (a million tiles would exhaust the workstation).
constexpr int MaxShownDevices = 1000;
// The devices shown of a count: the first MaxShownDevices.
int shownDevices(int count);
// What to tell the operator, once, when not every device is shown; empty when all are.
QString deviceLimitNotice(int count);

} // namespace kv
