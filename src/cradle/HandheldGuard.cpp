#include "cradle/HandheldGuard.h"

#include "app/RunTimeError.h"
#include "cradle/HotSync.h"
#include "cradle/SqliteFile.h"

#include <algorithm>
#include <atomic>
#include <QFileInfo>
#include <sqlite3.h>

namespace kv::cradle {

namespace {

const QString kSource = QStringLiteral("handheld");

// Steps between two looks at the clock: a step takes well under a microsecond, so the budget is
// checked at least every millisecond or so and the clock costs nothing noticeable.
constexpr int kStepsBetweenChecks = 1000;

std::atomic<bool> g_stopping{false};
static_assert(std::atomic<bool>::is_always_lock_free, "stopHandheldWork runs in signal handlers");

struct Limit {
    int id;
    int value;
};

// Each is far above what the sync's own statements and an honest handheld need (the largest is
// a 45 MB store copied unfiltered from the ERP), and far below SQLite's defaults (a gigabyte per
// value, a thousand levels of nesting). The file's own schema is parsed under them too.
constexpr Limit kLimits[] = {
    // A value or a whole row. The longest honest values are the memo columns (a task's further
    // description), whose forms take 65,535 characters: at most 256 KB in UTF-8.
    {SQLITE_LIMIT_LENGTH, 8 * 1024 * 1024},
    // The sync's statements are under 1 KB and the store's longest CREATE TABLE is 3.3 KB; a
    // handheld application's own tables fit as well.
    {SQLITE_LIMIT_SQL_LENGTH, 100000},
    // The widest store table has 18 columns; 255 is what a table of the file database the store
    // stands for may hold.
    {SQLITE_LIMIT_COLUMN, 255},
    // The deepest expression of the sync is the key match of CPTES_DB_CR, eight columns joined
    // by AND inside EXISTS: 23 levels.
    {SQLITE_LIMIT_EXPR_DEPTH, 100},
    // The sync runs no compound SELECT; a handheld application's own views still load.
    {SQLITE_LIMIT_COMPOUND_SELECT, 20},
    // The largest statement of the sync, a copy into MV_CPTE_DETALLE with its 18 column rules and
    // its key index, compiles to 225 instructions.
    {SQLITE_LIMIT_VDBE_OP, 25000},
    // The store's rules call functions of one or two arguments.
    {SQLITE_LIMIT_FUNCTION_ARG, 16},
    // The sync attaches exactly one database: the local sync store.
    {SQLITE_LIMIT_ATTACHED, 1},
    // The sync matches no LIKE; a pattern in a handheld's rule stays short and cheap to match.
    {SQLITE_LIMIT_LIKE_PATTERN_LENGTH, 100},
    // The widest insert, a document line on capture, binds 18 values.
    {SQLITE_LIMIT_VARIABLE_NUMBER, 64},
    // The handheld may carry no trigger on a store table; the store's own stay shallow.
    {SQLITE_LIMIT_TRIGGER_DEPTH, 10},
};

struct Setting {
    int op;
    int value;
    const char* name;
};

constexpr Setting kSettings[] = {
    // The file cannot be damaged through SQL: no writable schema, no journal switched off.
    {SQLITE_DBCONFIG_DEFENSIVE, 1, "defensive"},
    // Functions with side effects cannot run from the file's own definitions.
    {SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, "trusted_schema"},
    {SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, "load_extension"},
    // A view computes its rows by a query the file chose; the sync reads stored rows only.
    {SQLITE_DBCONFIG_ENABLE_VIEW, 0, "enable_view"},
    // A double-quoted name that is no column is an error, never a text.
    {SQLITE_DBCONFIG_DQS_DML, 0, "dqs_dml"},
    {SQLITE_DBCONFIG_DQS_DDL, 0, "dqs_ddl"},
};

} // namespace

void WorkBudget::restart(std::chrono::seconds budget) {
    m_budget = budget;
    m_deadline = std::chrono::steady_clock::now() + budget;
    m_end = End::None;
}

RunTimeError WorkBudget::error() const {
    if (m_end == End::Stopped)
        return RunTimeError(syncerr::Stopped,
                            QStringLiteral("The sync was stopped: the program is shutting down; nothing was "
                                           "copied."),
                            kSource);
    return RunTimeError(syncerr::TooMuchWork,
                        QStringLiteral("The handheld's file asks for more work than a sync may take (more "
                                       "than %1 s); nothing was copied.")
                            .arg(m_budget.count()),
                        kSource);
}

int WorkBudget::check(void* budget) {
    auto* self = static_cast<WorkBudget*>(budget);
    if (g_stopping.load(std::memory_order_relaxed))
        self->m_end = End::Stopped;
    else if (std::chrono::steady_clock::now() >= self->m_deadline)
        self->m_end = End::Spent;
    return self->m_end == End::None ? 0 : 1;
}

void guardConnection(sqlite3* db, WorkBudget* budget) {
    for (const Setting& s : kSettings) {
        int now = -1;
        if (sqlite3_db_config(db, s.op, s.value, &now) != SQLITE_OK || now != s.value)
            throw RunTimeError(err::ProviderError,
                               QStringLiteral("This SQLite library does not take the setting %1 that a "
                                              "handheld's file is read with.")
                                   .arg(QLatin1String(s.name)),
                               kSource);
    }
    sqlite3_enable_load_extension(db, 0);
    for (const Limit& l : kLimits)
        sqlite3_limit(db, l.id, l.value);
    sqlite3_progress_handler(db, kStepsBetweenChecks, &WorkBudget::check, budget);
}

bool refusedByContent(int extendedCode) {
    switch (extendedCode & 0xff) {
    case SQLITE_CONSTRAINT:
    case SQLITE_MISMATCH:
    case SQLITE_TOOBIG:
        return true;
    default:
        return false;
    }
}

qint64 defaultGrowthLimit(qint64 bytes) {
    return std::max(4 * bytes, kDefaultHandheldBytes);
}

void stopHandheldWork() noexcept {
    g_stopping.store(true, std::memory_order_relaxed);
}

void checkHandheldFile(const QString& path) {
    // The messages speak of the handheld's file, never of where the caller keeps it.
    const QString shown = QStringLiteral("handheld ") + QFileInfo(path).absoluteFilePath();
    const QString subject = QStringLiteral("handheld's file");
    const auto refuse = [&](long number, QString text) {
        text.replace(shown, subject);
        if (!text.endsWith(QStringLiteral("nothing was copied.")))
            text += QStringLiteral(" Nothing was copied.");
        throw RunTimeError(number, text, kSource);
    };
    try {
        const Database db(path, QStringLiteral("handheld"), Trust::Untrusted);
        if (const StoreProblem p = storeProblems(db)) refuse(p.number, p.text);
    } catch (const RunTimeError& e) {
        if (e.source() == kSource) throw;
        refuse(e.number(), e.description());
    }
}

} // namespace kv::cradle
