#pragma once

#include "ScriptedOperator.h"
#include "TestEnv.h"
#include "data/Engine.h"

#include <QVariant>
#include <memory>

namespace kv::test {

// The site the tests of kvctl and the cradle start from: a small demo ERP in the file `erpPath`
// (40 clients, 20 articles, no documents), an empty local sync store at `store` that the settings
// file names, and device 1 serving vendor 2.
void makeDemoSite(const QString& erpPath, const QString& store);

// A demo ERP (SQLite file or a fresh PostgreSQL database), an empty local sync store, and the
// program's two data-access objects connected to them, with a scripted operator.
class ErpFixture {
public:
    struct Sizes {
        int clients = 30;
        int articles = 20;
        int vendors = 3;
        int documents = 0;
    };
    ErpFixture(Engine engine, Sizes sizes);
    ErpFixture(Engine engine) : ErpFixture(engine, Sizes{}) {}
    ~ErpFixture();
    bool available() const { return m_available; }
    QString erpPath() const { return m_erpPath; } // the SQLite ERP file (empty on PostgreSQL)
    // The launch string of the ERP, and (PostgreSQL) its libpq connection for psql.
    QString launch() const;
    QString connInfo() const;

    TempHome home;
    ScopedOperator person;
    QString storePath;

    // Runs a statement on the ERP / the store with plain values, outside the program's objects.
    void erpExec(const QString& sql);
    void storeExec(const QString& sql, const QVariantList& values = {});
    // The rows of a query, each row its values joined by "|" (Null shown as "<null>").
    QStringList erpRows(const QString& sql);
    QStringList storeRows(const QString& sql);

private:
    std::unique_ptr<TempPgDatabase> m_pg;
    QString m_erpPath;
    bool m_available = false;
};

// A demo ERP without documents in a database "erp" of a private server; false without one.
bool makePrivateErp(PrivatePgServer& server, int clients, int articles);

// A readable name for an engine parameter.
std::string engineTestName(Engine e);

} // namespace kv::test
