#pragma once

#include <QString>

struct sqlite3;
struct sqlite3_stmt;

namespace kv {

class CopyPlan;
class RowStream;

// The store's key rule for one copy step, kept in a scratch database of its own: the keys of the
// rows taken so far, in a table declared as the store declares its key, so a row whose key is
// taken already is refused with the store's own words ("UNIQUE constraint failed: ..."), as the
// send would refuse it. Nothing of the real store is touched.
class StoreKeys {
public:
    // Throws RunTimeError when the scratch database cannot be made.
    explicit StoreKeys(const CopyPlan& plan);
    ~StoreKeys();
    StoreKeys(const StoreKeys&) = delete;
    StoreKeys& operator=(const StoreKeys&) = delete;

    // Takes the row's key; empty when it was free, else the store's reason for refusing it.
    QString take(const RowStream& row);

private:
    [[noreturn]] void fail() const;

    const CopyPlan& m_plan;
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
};

} // namespace kv
