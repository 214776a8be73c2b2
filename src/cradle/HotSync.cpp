#include "cradle/HotSync.h"

#include "app/RunTimeError.h"
#include "conduit/Conducto.h"
#include "conduit/FileConduitConfig.h"
#include "conduit/SyncMonitor.h"
#include "cradle/HandheldDevice.h"
#include "cradle/SqliteFile.h"
#include "history/JobHistory.h"
#include "settings/DeviceSettings.h"
#include "store/StoreFile.h"
#include "store/StoreSchema.h"

#include <chrono>
#include <QFileInfo>
#include <thread>

namespace kv::cradle {

namespace {

const QString kSource = QStringLiteral("hotsync");
const QString kStoreSchema = QStringLiteral("store");

[[noreturn]] void refuse(long number, const QString& text) {
    throw RunTimeError(number, text + QStringLiteral(" Nothing was copied."), kSource);
}

// The registered tables a sync copies, checked against the tables a handheld holds.
QList<TableCopy> plan(const ConduitRegistration& conduit, int* untouched) {
    QList<TableCopy> copies;
    *untouched = 0;
    for (const RegisteredTable& t : conduit.tables) {
        if (t.transferCode != transfer::ToHandheld && t.transferCode != transfer::FromHandheld) {
            ++*untouched;
            continue;
        }
        const StoreTable* table = findStoreTable(t.name);
        if (!table)
            refuse(syncerr::TablesMissing,
                   QStringLiteral("The conduit %1 carries the table %2, which is not one of the tables of "
                                  "a handheld.")
                       .arg(conduit.name, t.name));
        copies << TableCopy{table->name, t.transferCode, 0, t.keySpec, 0};
    }
    return copies;
}

ConduitRegistration readRegistration() {
    FileConduitConfig library;
    ConduitRegistration conduit;
    const qint32 code = library.ReadConduit(kConduitName, &conduit);
    if (code == uc::ConduitNotFound)
        refuse(syncerr::ConduitNotReady,
               QStringLiteral("The conduit %1 is not registered in %2: the program registers it when it "
                              "waits for a sync.")
                   .arg(kConduitName, library.registryPath()));
    if (code != uc::Ok)
        refuse(syncerr::ConduitNotReady,
               QStringLiteral("Cannot read the registration of the conduit %1 in %2 "
                              "(code %3: %4).")
                   .arg(kConduitName, library.registryPath())
                   .arg(code)
                   .arg(MensajeConducto(code)));
    if (!conduit.enabled)
        refuse(syncerr::ConduitNotReady,
               QStringLiteral("The conduit %1 is disabled: the program enables it only while it waits for a "
                              "sync.")
                   .arg(kConduitName));
    return conduit;
}

void requireFile(const QString& path, const QString& what, const QString& hint) {
    if (!QFileInfo(path).isFile())
        refuse(storeerr::FileNotFound,
               QStringLiteral("There is no %1 %2 (%3).").arg(what, QFileInfo(path).absoluteFilePath(), hint));
}

// Both files must keep a rollback journal: with it SQLite commits a transaction over attached
// files through a super-journal, all or nothing; a WAL file would commit on its own.
void requireRollbackJournal(const Database& db, const QString& schema, const QString& what) {
    const QString mode =
        db.value(QStringLiteral("PRAGMA %1.journal_mode = DELETE").arg(quoteIdentifier(schema))).toString();
    if (mode.compare(QStringLiteral("delete"), Qt::CaseInsensitive) != 0)
        refuse(syncerr::JournalMode,
               QStringLiteral("The %1 is in journal mode \"%2\" and cannot be switched back to a rollback "
                              "journal while another program has it open.")
                   .arg(what, mode));
    db.exec(QStringLiteral("PRAGMA %1.synchronous = FULL").arg(quoteIdentifier(schema)));
}

// A document table of the handheld: a send keeps what the store does not hold.
bool keepsDocuments(const TableCopy& copy) {
    return CodigoTransferencia(copy.table, true) == transfer::FromHandheld;
}

// "s.A IS t.A AND s.B IS t.B" over the registered key columns.
QString sameKey(const TableCopy& copy, const QString& target) {
    QStringList terms;
    for (const KeyColumn& k : parseKeySpec(copy.keySpec).value_or(QList<KeyColumn>{}))
        terms << QStringLiteral("s.%1 IS %2.%1").arg(quoteIdentifier(k.column), target);
    if (terms.isEmpty())
        refuse(syncerr::ConduitNotReady, QStringLiteral("The table %1 has no key columns.").arg(copy.table));
    return terms.join(QStringLiteral(" AND "));
}

// Empties the destination's table and fills it with the source's rows, column by column by name.
qint64 copyTable(const Database& db, TableCopy& copy) {
    const StoreTable& table = *findStoreTable(copy.table);
    const bool toHandheld = copy.transferCode == transfer::ToHandheld;
    const QString from = quoteIdentifier(toHandheld ? kStoreSchema : QStringLiteral("main"));
    const QString to = quoteIdentifier(toHandheld ? QStringLiteral("main") : kStoreSchema);
    QStringList columns;
    for (const StoreColumn& c : table.columns)
        columns << quoteIdentifier(c.name);
    const QString list = columns.join(QStringLiteral(", "));
    const QString name = quoteIdentifier(table.name);
    try {
        if (toHandheld && keepsDocuments(copy)) {
            // Documents captured since the last receive have not reached the store yet: only the
            // rows the store holds are replaced.
            db.exec(QStringLiteral("DELETE FROM %1.%2 WHERE EXISTS (SELECT 1 FROM %3.%2 AS s WHERE %4)")
                        .arg(to, name, from, sameKey(copy, to + QLatin1Char('.') + name)));
            copy.kept = db.value(QStringLiteral("SELECT COUNT(*) FROM %1.%2").arg(to, name)).toLongLong();
        } else {
            db.exec(QStringLiteral("DELETE FROM %1.%2").arg(to, name));
        }
        db.exec(QStringLiteral("INSERT INTO %1.%2 (%3) SELECT %3 FROM %4.%2").arg(to, name, list, from));
    } catch (const RunTimeError& e) {
        refuse(e.number(), QStringLiteral("Cannot copy %1 (%2): %3.")
                               .arg(table.name, directionText(copy.transferCode), db.lastError()));
    }
    return db.changes() + copy.kept;
}

// A send that did not wait registered this sync: no program records it or switches the conduit
// off, so the sync does both (the switch only while the registration is still its own).
void endUnattended(const ConduitRegistration& conduit, const SyncResult& result) {
    bool ended = false;
    FileConduitConfig().EndUnattended(kConduitName, conduit.generation, &ended);
    QList<history::TableRows> tables;
    for (const TableCopy& c : result.copies) tables << history::TableRows{c.table, c.rows, false};
    history::recordSyncWithoutWait(conduit.device, tables);
}

void checkDevice(const ConduitRegistration& conduit, qint32 device, SyncResult& result) {
    if (conduit.device == 0) return;
    if (device == 0) {
        result.note =
            QStringLiteral("The handheld has no device number (it was made before handhelds carried "
                           "one); it is taken as device %1.")
                .arg(conduit.device);
        return;
    }
    if (device != conduit.device)
        refuse(syncerr::WrongDevice,
               QStringLiteral("This handheld is device %1, but the program waits for device %2's sync; put "
                              "device %2's handheld in the cradle.")
                   .arg(device)
                   .arg(conduit.device));
}

} // namespace

QString directionText(qint32 transferCode) {
    return transferCode == transfer::FromHandheld ? QStringLiteral("handheld -> store")
                                                  : QStringLiteral("store -> handheld");
}

SyncResult hotSync(const QString& handheldPath, int holdSeconds,
                   const std::function<void(const QString&)>& progress, qint32 device) {
    std::optional<SyncLock> lock = SyncLock::tryTake();
    if (!lock)
        refuse(syncerr::SyncUnderWay,
               QStringLiteral("Another sync is under way (it holds the sync lock in the application folder); "
                              "try again when it has ended."));

    SyncResult result;
    const ConduitRegistration conduit = readRegistration();
    result.copies = plan(conduit, &result.untouched);

    const QString storePath = settings::storePath();
    requireFile(handheldPath, QStringLiteral("handheld"), QStringLiteral("kvhandheld init creates one"));
    requireFile(storePath, QStringLiteral("local sync store"),
                QStringLiteral("the settings file names it under General/BaseDeDatos; kvctl store init "
                               "creates one"));
    result.handheld = QFileInfo(handheldPath).absoluteFilePath();
    result.store = QFileInfo(storePath).absoluteFilePath();
    if (QFileInfo(handheldPath).canonicalFilePath() == QFileInfo(storePath).canonicalFilePath())
        refuse(syncerr::SameFile,
               QStringLiteral("The handheld %1 is the local sync store itself.").arg(result.handheld));

    {
        // Opening the store on its own first also rolls back what a killed sync left in it.
        const Database store(storePath, QStringLiteral("local sync store"));
        if (const QString missing = missingTables(store); !missing.isEmpty())
            refuse(syncerr::TablesMissing, missing);
    }
    const Database db(handheldPath, QStringLiteral("handheld"));
    if (const QString missing = missingTables(db); !missing.isEmpty())
        refuse(syncerr::TablesMissing, missing);
    const qint32 carried = handheldDevice(db);
    if (device > 0 && carried > 0 && carried != device)
        refuse(syncerr::WrongDevice,
               QStringLiteral("This handheld is device %1, but it syncs as device %2.").arg(carried).arg(device));
    checkDevice(conduit, device > 0 ? device : carried, result);

    Statement attach(db, QStringLiteral("ATTACH DATABASE ? AS %1").arg(quoteIdentifier(kStoreSchema)));
    attach.bind(1, result.store);
    attach.run();
    requireRollbackJournal(db, QStringLiteral("main"), QStringLiteral("handheld"));
    requireRollbackJournal(db, kStoreSchema, QStringLiteral("local sync store"));

    // From here on the sync counts for the wait that registered it, copied or refused.
    result.sequence = lock->began(conduit.generation);
    Transaction transaction(db);
    for (TableCopy& copy : result.copies)
        copy.rows = copyTable(db, copy);
    if (holdSeconds > 0) {
        if (progress)
            progress(QStringLiteral("Copied %1 tables; the sync completes in %2 s.")
                         .arg(result.copies.size())
                         .arg(holdSeconds));
        std::this_thread::sleep_for(std::chrono::seconds(holdSeconds));
    }
    // One commit for both files: SQLite writes a super-journal naming both journals and deletes
    // it as the commit point, so a crash at any moment leaves both copied or neither.
    try {
        transaction.commit();
    } catch (const RunTimeError& e) {
        refuse(e.number(), QStringLiteral("Cannot complete the sync: %1.").arg(db.lastError()));
    }
    lock->ended(true);
    if (conduit.unattended) endUnattended(conduit, result);
    // The lock is released on return, after the commit: a program that waits for the sync to end
    // finds the copied tables in place.
    return result;
}

} // namespace kv::cradle
