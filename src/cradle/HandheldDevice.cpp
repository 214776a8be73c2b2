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

namespace {
const QString kNumbering = QStringLiteral("KV_NUMERACION");

// The table as a real one without triggers, made when missing; false when it is something else.
bool numberingTable(const Database& handheld) {
    const TableKind kind = tableKind(handheld.handle(), kNumbering);
    if (kind == TableKind::Missing) {
        handheld.exec(QStringLiteral("CREATE TABLE main.%1 (TC TEXT NOT NULL, SUCURSAL TEXT NOT NULL, ULTIMO INTEGER "
                                     "NOT NULL, PRIMARY KEY (TC, SUCURSAL))")
                          .arg(kNumbering));
        return true;
    }
    return kind == TableKind::Real &&
           handheld
                   .value(QStringLiteral("SELECT COUNT(*) FROM main.sqlite_master WHERE type = 'trigger' AND "
                                         "tbl_name = ? COLLATE NOCASE"),
                          {kNumbering})
                   .toLongLong() == 0;
}
} // namespace

QString branchOf(qint32 device) {
    return device >= 1 && device <= 9999 ? QStringLiteral("%1").arg(device, 4, 10, QLatin1Char('0'))
                                         : QStringLiteral("0001");
}

qint64 lastNumber(const Database& handheld, const QString& type, const QString& branch) {
    if (tableKind(handheld.handle(), kNumbering) != TableKind::Real) return 0;
    return handheld
        .value(QStringLiteral("SELECT MAX(ULTIMO) FROM main.%1 WHERE TC = ? AND SUCURSAL = ?").arg(kNumbering),
               {type, branch})
        .toLongLong();
}

bool raiseLastNumber(const Database& handheld, const QString& type, const QString& branch, qint64 number) {
    if (!numberingTable(handheld)) return false;
    handheld.value(QStringLiteral("INSERT INTO main.%1 (TC, SUCURSAL, ULTIMO) VALUES (?, ?, ?) ON CONFLICT (TC, "
                                  "SUCURSAL) DO UPDATE SET ULTIMO = MAX(ULTIMO, excluded.ULTIMO)")
                       .arg(kNumbering),
                   {type, branch, number});
    return true;
}

} // namespace kv::cradle
