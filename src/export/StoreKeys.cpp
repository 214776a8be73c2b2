#include "export/StoreKeys.h"

#include "app/RunTimeError.h"
#include "data/EngineDriver.h"
#include "data/RowStream.h"
#include "export/CopyPlan.h"
#include "store/StoreSchema.h"

#include <sqlite3.h>

namespace kv {

StoreKeys::StoreKeys(const CopyPlan& plan) : m_plan(plan) {
    // "": a private database in a temporary file, so a million keys do not sit in memory.
    if (sqlite3_open_v2("", &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) fail();
    sqlite3_exec(m_db, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF", nullptr, nullptr, nullptr);
    const StoreTable* table = findStoreTable(plan.step().destination);
    if (!table || plan.keyColumns().isEmpty()) return;
    for (const QString& statement : storeKeyStatements(*table))
        if (sqlite3_exec(m_db, statement.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK) fail();
    QStringList names, marks;
    for (qsizetype i : plan.keyColumns()) {
        names << quoteIdentifier(plan.step().columns.at(i).destination);
        marks << QStringLiteral("?");
    }
    const QString insert = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                               .arg(quoteIdentifier(table->name), names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
    if (sqlite3_prepare_v2(m_db, insert.toUtf8().constData(), -1, &m_insert, nullptr) != SQLITE_OK) fail();
}

StoreKeys::~StoreKeys() {
    sqlite3_finalize(m_insert);
    sqlite3_close_v2(m_db);
}

void StoreKeys::fail() const {
    throw RunTimeError(adoerr::ErrorsInCommand, QString::fromUtf8(sqlite3_errmsg(m_db)), QStringLiteral("Store"));
}

QString StoreKeys::take(const RowStream& row) {
    if (!m_insert) return QString();
    int parameter = 1;
    // Bound as the send binds them, so the key column's affinity sees the same values.
    for (qsizetype i : m_plan.keyColumns()) {
        if (m_plan.converts(i)) bindValue(m_insert, parameter, m_plan.value(i, row));
        else row.bind(m_insert, parameter, m_plan.sourceIndex(i));
        ++parameter;
    }
    const int rc = sqlite3_step(m_insert);
    const QString why = rc == SQLITE_DONE ? QString() : QString::fromUtf8(sqlite3_errmsg(m_db));
    sqlite3_reset(m_insert);
    if (rc != SQLITE_DONE && (rc & 0xFF) != SQLITE_CONSTRAINT) fail();
    return why;
}

} // namespace kv
