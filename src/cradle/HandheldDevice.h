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

} // namespace kv::cradle
