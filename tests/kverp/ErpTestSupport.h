#pragma once

#include "data/Connection.h"
#include "DemoErp.h"
#include "ErpSchema.h"
#include "TestEnv.h"

#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <QMap>
#include <QTemporaryDir>
#include <string>

namespace kv::test {

struct EngineCase {
    const char* name;
    Engine engine;
};

inline void PrintTo(const EngineCase& c, std::ostream* os) {
    *os << c.name;
}

// Names of parameterised tests: "sqlite", or "sqlite_" followed by the case's name.
struct EngineName {
    std::string operator()(const ::testing::TestParamInfo<EngineCase>& info) const { return info.param.name; }
};
struct EngineAndCaseName {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<std::tuple<EngineCase, Case>>& info) const {
        return std::string(std::get<0>(info.param).name) + "_" + std::string(std::get<1>(info.param).name);
    }
};

inline const EngineCase kSqlite{"sqlite", Engine::Sqlite};
inline const EngineCase kPostgres{"postgresql", Engine::PostgreSql};

// A demo ERP made in process on a fresh SQLite file or a fresh database of the PostgreSQL test
// server, opened through the record-set layer as the program opens it. Without a server it is
// not available and the test skips.
class DemoErpDb {
public:
    DemoErpDb(Engine engine, const erp::Options& options);
    bool available() const { return m_available; }
    const erp::Target& target() const { return m_target; }
    const erp::Summary& summary() const { return m_summary; }
    Connection& connection() { return m_connection; }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<TempPgDatabase> m_pg;
    erp::Target m_target;
    erp::Summary m_summary;
    Connection m_connection;
    bool m_available = false;
};

// The demo ERP with default sizes and seed 1, made once per engine and test program and shared
// by the tests that only read it; nullptr when the engine has no server.
DemoErpDb* sharedErp(Engine engine);

// Rows of a statement opened through the record-set layer, each as its column values.
QList<QVariantList> rowsOf(Connection& c, const QString& sql);
// The first value of the first row.
QVariant scalar(Connection& c, const QString& sql);

// Every table's rows as engine-neutral text (trailing blanks of codes dropped, numbers with
// four decimals, dates as ISO text), sorted and hashed: the same rows give the same print
// whatever the engine and the order it returns them in.
QMap<QString, QByteArray> fingerprint(Connection& c);

} // namespace kv::test
