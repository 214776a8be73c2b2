#include "cradle/HandheldDocuments.h"

#include "app/RunTimeError.h"
#include "cradle/HandheldDevice.h"
#include "cradle/HotSync.h"
#include "cradle/SqliteFile.h"
#include "conduit/Conducto.h"
#include "store/StoreFile.h"
#include "store/StoreSchema.h"

namespace kv {

using cradle::Database;
using cradle::Statement;
using cradle::Transaction;
using cradle::TableCopy;

namespace {

std::unique_ptr<const Database> openChecked(const QString& path, std::chrono::seconds workBudget) {
    std::unique_ptr<const Database> db = cradle::openHandheld(path, workBudget);
    if (const cradle::StoreProblem problem = cradle::storeProblems(*db))
        throw RunTimeError(problem.number, problem.text, QStringLiteral("exchange"));
    return db;
}

} // namespace

void takeDocuments(const QString& handheldPath, const QString& storePath, qint32 device,
                   std::chrono::seconds workBudget) {
    const std::unique_ptr<const Database> db = openChecked(handheldPath, workBudget);
    const qint32 carried = cradle::handheldDevice(*db);
    if (carried > 0 && carried != device)
        throw RunTimeError(cradle::syncerr::WrongDevice,
                           QStringLiteral("This handheld is device %1, but it exchanges as device %2. Nothing was "
                                          "copied.")
                               .arg(carried)
                               .arg(device),
                           QStringLiteral("exchange"));
    createStore(storePath);
    const qint64 room = cradle::growthRoom(handheldPath, storePath);
    cradle::attachStore(*db, storePath, room);
    Transaction transaction(*db);
    for (const StoreTable& table : storeTables()) {
        if (table.kind != StoreTable::Document) continue;
        TableCopy copy{table.name, transfer::FromHandheld, 0, table.keySpec, 0};
        cradle::copyTable(*db, copy, room);
    }
    transaction.commit();
}

void answerHandheld(const QString& handheldPath, const QString& storePath, const QStringList& inErp,
                    const BranchNumbers& numbers, std::chrono::seconds workBudget) {
    const std::unique_ptr<const Database> db = openChecked(handheldPath, workBudget);
    const qint64 room = cradle::growthRoom(handheldPath, storePath);
    cradle::attachStore(*db, storePath, room);
    db->exec(QStringLiteral("CREATE TEMP TABLE kv_in_erp (document_key TEXT PRIMARY KEY)"));
    Transaction transaction(*db);
    {
        Statement add(*db, QStringLiteral("INSERT OR IGNORE INTO temp.kv_in_erp VALUES (?)"));
        for (const QString& key : inErp) {
            add.bind(1, key);
            add.run();
        }
    }
    for (const StoreTable& table : storeTables()) {
        if (table.kind == StoreTable::Document) {
            // A document's rows in every document table carry its key in their first key column.
            db->exec(QStringLiteral("DELETE FROM main.%1 WHERE %2 IN (SELECT document_key FROM temp.kv_in_erp)")
                         .arg(quoteIdentifier(table.name), quoteIdentifier(table.keyColumns.value(0))));
            continue;
        }
        TableCopy copy{table.name, transfer::ToHandheld, 0, table.keySpec, 0};
        cradle::copyTable(*db, copy, room);
    }
    for (const auto& [type, last] : numbers.last.asKeyValueRange())
        if (!cradle::raiseLastNumber(*db, type, numbers.branch, last)) break;
    transaction.commit();
}

} // namespace kv
