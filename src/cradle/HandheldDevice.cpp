#include "cradle/HandheldDevice.h"

#include "cradle/SqliteFile.h"
#include "store/StoreFile.h"

namespace kv::cradle {

QString deviceTableName() {
    return QStringLiteral("KV_DISPOSITIVO");
}

qint32 handheldDevice(const Database& handheld) {
    // Only a real table is read: a view or a virtual table would compute the number.
    if (tableKind(handheld.handle(), deviceTableName()) != TableKind::Real) return 0;
    return qint32(
        handheld.value(QStringLiteral("SELECT NUMERO FROM main.%1").arg(deviceTableName())).toLongLong());
}

void recordHandheldDevice(const Database& handheld, qint32 device) {
    Transaction transaction(handheld);
    handheld.exec(QStringLiteral("CREATE TABLE %1 (NUMERO INTEGER NOT NULL CHECK (NUMERO > 0))")
                      .arg(deviceTableName()));
    handheld.exec(QStringLiteral("INSERT INTO %1 (NUMERO) VALUES (%2)").arg(deviceTableName()).arg(device));
    transaction.commit();
}

} // namespace kv::cradle
