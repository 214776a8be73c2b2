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

// A copy step: every source row into the destination table, all committed together. A row the
// store refuses fails the step and nothing of it is written; the rest of the rows are still
// checked, so the message names every refused row (the first ones, and how many more).
qint64 runCopyStep(const ExportStep& step, const QString& clientFilter, const QString& priceListFilter,
                   Connection& erp, StoreConnection& store) {
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
    qint64 copied = 0;
    QStringList refusals;
    qint64 refused = 0;
    store.exec(QStringLiteral("BEGIN IMMEDIATE"));
    try {
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
                    store.fail(QStringLiteral("%1, row %2: %3").arg(step.destination).arg(copied + refused + 1).arg(why));
                if (refusals.size() < kListedRefusals) refusals << plan.refusal(*rows, why);
                ++refused;
            } else {
                ++copied;
            }
            sqlite3_reset(st);
            if ((copied + refused) % kProgressRows == 0) {
                exportProgress().setRowsCopied(step.description, copied);
                op().processEvents();
            }
        }
        sqlite3_finalize(st);
        st = nullptr;
        if (refused > 0) store.fail(refusedRowsMessage(refusals, refused));
        op().processEvents(); // a job stopped meanwhile leaves the table as it was
        store.exec(QStringLiteral("COMMIT"));
    } catch (...) {
        sqlite3_finalize(st);
        store.rollback();
        throw;
    }
    return copied;
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
        // Until every step has gone through, no sync hands this store to a handheld.
        markSendUnderWay(store->handle());
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
