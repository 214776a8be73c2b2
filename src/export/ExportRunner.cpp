#include "export/ExportRunner.h"

#include "app/Operator.h"
#include "app/RunTimeError.h"
#include "data/DB_Dll.h"
#include "data/Dialect.h"
#include "data/RowStream.h"
#include "export/CopyPlan.h"
#include "progress/StepProgress.h"
#include "store/StoreFile.h"
#include "store/StoreSchema.h"

#include <QFile>
#include <QSet>
#include <sqlite3.h>

namespace kv {

namespace {

constexpr qint64 kProgressRows = 1000;

// The local connection of the package: the store file, opened (never created) for writing.
class StoreConnection {
public:
    explicit StoreConnection(const QString& path) {
        if (!QFile::exists(path)) fail(QStringLiteral("Could not find file '%1'.").arg(path));
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            fail(QString::fromUtf8(sqlite3_errmsg(m_db)));
        sqlite3_busy_timeout(m_db, 60000);
    }
    ~StoreConnection() { sqlite3_close_v2(m_db); }
    sqlite3* handle() const { return m_db; }
    void exec(const QString& sql) {
        char* message = nullptr;
        if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
            const QString why = QString::fromUtf8(message ? message : sqlite3_errmsg(m_db));
            sqlite3_free(message);
            fail(why);
        }
    }
    void rollback() { sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr); }
    [[noreturn]] void fail(const QString& why) const { throw RunTimeError(adoerr::ErrorsInCommand, why, QStringLiteral("Store")); }

private:
    sqlite3* m_db = nullptr;
};

// The delete step: each table's DELETE on its own savepoint, all in one transaction. A table
// that cannot be emptied keeps its rows and goes into `notEmptied` (the step then fails naming
// it and why); the others are emptied. When the transaction itself cannot start, no table is.
void runDeleteStep(StoreConnection& store, QSet<QString>& notEmptied) {
    const QStringList batches = batchesOf(deleteTaskText());
    QStringList tables;
    for (const QString& batch : batches) tables << batch.section(QLatin1Char(' '), -1);
    QStringList failures;
    try {
        store.exec(QStringLiteral("BEGIN IMMEDIATE"));
        // From the first table emptied until every step has gone through, no sync hands this
        // store to a handheld.
        markSendUnderWay(store.handle());
        for (qsizetype i = 0; i < batches.size(); ++i) {
            store.exec(QStringLiteral("SAVEPOINT emptying"));
            try {
                store.exec(dialect::toSqlite(batches[i]));
            } catch (const RunTimeError& e) {
                store.exec(QStringLiteral("ROLLBACK TO emptying"));
                notEmptied.insert(tables[i]);
                failures << tables[i] + QStringLiteral(": ") + e.description();
            }
            store.exec(QStringLiteral("RELEASE emptying"));
        }
        op().processEvents(); // a job stopped meanwhile leaves the tables as they were
        store.exec(QStringLiteral("COMMIT"));
    } catch (...) {
        store.rollback(); // nothing to undo when the transaction never began
        notEmptied = QSet<QString>(tables.begin(), tables.end());
        throw;
    }
    if (!failures.isEmpty()) store.fail(failures.join(QLatin1Char('\n')));
}

// What one pass over a copy step's source left: the rows written, the rows refused and the
// first refusals named.
struct CopyPass {
    qint64 copied = 0;
    qint64 refused = 0;
    QStringList refusals;
};

// Every source row of the step into its table, in the caller's transaction. With `stopAtRefusal`
// the pass ends at the first refused row (the caller then goes over the rows again); otherwise
// the rest of the rows are still checked, so every refused row is counted and the first ones named.
CopyPass copyRows(const ExportStep& step, const QString& clientFilter, const QString& priceListFilter,
                  Connection& erp, StoreConnection& store, bool stopAtRefusal) {
    auto rows = openCopySource(step, clientFilter, priceListFilter, erp);
    const CopyPlan plan(step, rows->columns());
    QStringList names;
    for (const ColumnCopy& c : step.columns) names << quoteIdentifier(c.destination);
    const QString insert = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                               .arg(quoteIdentifier(step.destination), names.join(QLatin1Char(',')),
                                    QStringList(names.size(), QStringLiteral("?")).join(QLatin1Char(',')));
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(store.handle(), insert.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK)
        store.fail(QString::fromUtf8(sqlite3_errmsg(store.handle())));
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> finalizer(st, sqlite3_finalize);
    CopyPass pass;
    while (rows->next()) {
        for (qsizetype i = 0; i < plan.size(); ++i) {
            if (plan.converts(i)) bindValue(st, int(i) + 1, plan.value(i, *rows));
            else rows->bind(st, int(i) + 1, plan.sourceIndex(i));
        }
        const int rc = sqlite3_step(st);
        if (rc != SQLITE_DONE) {
            const QString why = QString::fromUtf8(sqlite3_errmsg(store.handle()));
            // A refused value: named and counted, the others go on being checked.
            if ((rc & 0xFF) != SQLITE_CONSTRAINT)
                store.fail(QStringLiteral("%1, row %2: %3").arg(step.destination).arg(pass.copied + pass.refused + 1).arg(why));
            ++pass.refused;
            if (stopAtRefusal) return pass;
            if (pass.refusals.size() < kListedRefusals) pass.refusals << plan.refusal(*rows, why);
        } else {
            ++pass.copied;
        }
        sqlite3_reset(st);
        if ((pass.copied + pass.refused) % kProgressRows == 0) {
            exportProgress().setRowsCopied(step.description, pass.copied);
            op().processEvents();
        }
    }
    return pass;
}

// The table's own indexes (its key's among them) dropped for the copy, to be built again from
// their stored statements after it: one sort over the finished table instead of an index update
// per row. The statements come back in their order in the schema.
QStringList dropIndexes(StoreConnection& store, const QString& table) {
    sqlite3_stmt* st = nullptr;
    const char* sql = "SELECT name, sql FROM main.sqlite_master WHERE type = 'index' AND sql IS NOT NULL "
                      "AND tbl_name = ?1 COLLATE NOCASE ORDER BY rowid";
    if (sqlite3_prepare_v2(store.handle(), sql, -1, &st, nullptr) != SQLITE_OK)
        store.fail(QString::fromUtf8(sqlite3_errmsg(store.handle())));
    const QByteArray name = table.toUtf8();
    sqlite3_bind_text(st, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
    QStringList names, statements;
    while (sqlite3_step(st) == SQLITE_ROW) {
        names << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        statements << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
    }
    sqlite3_finalize(st);
    for (const QString& index : names) store.exec(QStringLiteral("DROP INDEX main.") + quoteIdentifier(index));
    return statements;
}

// Builds the dropped indexes again; false when the copied rows break one (two rows with one key).
bool buildIndexes(StoreConnection& store, const QStringList& statements) {
    for (const QString& statement : statements) {
        const int rc = sqlite3_exec(store.handle(), statement.toUtf8().constData(), nullptr, nullptr, nullptr);
        if ((rc & 0xFF) == SQLITE_CONSTRAINT) return false;
        if (rc != SQLITE_OK) store.fail(QString::fromUtf8(sqlite3_errmsg(store.handle())));
    }
    return true;
}

// A copy step: every source row into the destination table, all committed together. A row the
// store refuses fails the step and nothing of it is written; the message names every refused
// row (the first ones, and how many more). The rows go in with the table's indexes dropped and
// built after; when a row is refused that way, the copy is undone and made again with the
// indexes in place, so each refused row is named with the store's own reason.
qint64 runCopyStep(const ExportStep& step, const QString& clientFilter, const QString& priceListFilter,
                   Connection& erp, StoreConnection& store) {
    store.exec(QStringLiteral("BEGIN IMMEDIATE"));
    try {
        store.exec(QStringLiteral("SAVEPOINT copying"));
        const QStringList indexes = dropIndexes(store, step.destination);
        CopyPass pass = copyRows(step, clientFilter, priceListFilter, erp, store, !indexes.isEmpty());
        if (pass.refused > 0 || !buildIndexes(store, indexes)) {
            store.exec(QStringLiteral("ROLLBACK TO copying"));
            if (!indexes.isEmpty()) pass = copyRows(step, clientFilter, priceListFilter, erp, store, false);
        }
        store.exec(QStringLiteral("RELEASE copying"));
        if (pass.refused > 0) store.fail(refusedRowsMessage(pass.refusals, pass.refused));
        op().processEvents(); // a job stopped meanwhile leaves the table as it was
        store.exec(QStringLiteral("COMMIT"));
        return pass.copied;
    } catch (...) {
        store.rollback();
        throw;
    }
}

} // namespace

StepProgress& exportProgress() {
    static StepProgress progress;
    return progress;
}

void ActualizarEstadoPaso(int position, const StepOutcome& outcome) {
    const QString description = exportSteps().at(position - 1).description;
    exportProgress().setDetail(description, outcome.error);
    if (outcome.executionResult == 1) exportProgress().StatusPaso(description, 5);
    else exportProgress().StatusPaso(description, qint16(outcome.executionStatus));
}

QList<StepOutcome> EjecutarExportacion(const QString& storePath, const QString& clientFilter,
                                       const QString& priceListFilter, Connection& erp) {
    StepProgress& progress = exportProgress();
    op().showStepProgress(progress);
    for (const ExportStep& step : exportSteps()) progress.AgregarPaso(step.description);
    op().processEvents();

    QList<StepOutcome> outcomes;
    QSet<QString> notEmptied; // tables the delete step left filled: their copies would only add to them
    std::unique_ptr<StoreConnection> store;
    QString storeError;
    try {
        store = std::make_unique<StoreConnection>(storePath);
    } catch (const RunTimeError& e) {
        storeError = e.description();
    }
    for (const ExportStep& step : exportSteps()) {
        progress.StatusPaso(step.description, 2);
        StepOutcome outcome;
        try {
            if (!store) throw RunTimeError(adoerr::Failure, storeError, QStringLiteral("Store"));
            if (step.destination.isEmpty()) runDeleteStep(*store, notEmptied);
            else if (notEmptied.contains(step.destination))
                throw RunTimeError(adoerr::Failure, QStringLiteral("not copied: the table could not be emptied"),
                                   QStringLiteral("Store"));
            else outcome.rows = runCopyStep(step, clientFilter, priceListFilter, erp, *store);
            outcome.executionStatus = 4;
        } catch (const RunTimeError& e) {
            outcome.executionResult = 1;
            outcome.executionStatus = 4;
            outcome.error = e.description();
        }
        outcomes << outcome;
        ActualizarEstadoPaso(step.position, outcome);
    }
    if (store && failedSteps(outcomes).isEmpty()) {
        try {
            markSendComplete(store->handle());
        } catch (const RunTimeError& e) {
            outcomes.last().executionResult = 1;
            outcomes.last().error = e.description();
            ActualizarEstadoPaso(exportSteps().last().position, outcomes.last());
        }
    }
    return outcomes;
}

QList<StepOutcome> EjecutarExportacion(const QString& storePath, const QString& clientFilter,
                                       const QString& priceListFilter) {
    // The package's ERP connection is its own, made from the ERP data-access object's values.
    const DB_Dll& erpDb = ErpDb();
    Connection erp;
    erp.setEngine(erpDb.gCnn.engine());
    erp.setOdbcDriver(erpDb.gCnn.odbcDriver());
    erp.setLockTimeout(erpDb.gCnn.lockTimeout());
    erp.open(erpDb.gConnString);
    if (erpDb.gCnn.statementTimeout() > 0) erp.setCommandTimeout(erpDb.gCnn.statementTimeout());
    erp.setIsolationLevel(erpDb.gCnn.isolationLevel());
    return EjecutarExportacion(storePath, clientFilter, priceListFilter, erp);
}

QStringList failedSteps(const QList<StepOutcome>& outcomes) {
    QStringList failed;
    for (int i = 0; i < outcomes.size() && i < exportSteps().size(); ++i)
        if (outcomes[i].executionResult == 1) failed << exportSteps()[i].description;
    return failed;
}

} // namespace kv
