#include "cradle/HandheldDevice.h"

#include "cradle/SqliteFile.h"

namespace kv::cradle {

QString deviceTableName() {
    return QStringLiteral("KV_DISPOSITIVO");
}

qint32 handheldDevice(const Database& handheld) {
    const QVariant exists =
        handheld.value(QStringLiteral("SELECT 1 FROM main.sqlite_master WHERE type = 'table' AND name = ?"),
                       {deviceTableName()});
    if (exists.isNull()) return 0;
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
