#pragma once

#include "TestEnv.h"

#include <QMap>
#include <QStringList>

namespace kv::test {

// An operator's workstation in a fresh application folder: a demo ERP in an SQLite file, the
// local sync store at its default place, a handheld file, and kvctl run against them as a
// person at a terminal runs it.
class Workstation {
public:
    struct Sizes {
        int clients = 200;
        int articles = 60;
        int vendors = 4;
    };
    explicit Workstation(Sizes sizes);
    Workstation() : Workstation(Sizes{}) {}

    TempHome home;
    QString erpPath;
    QString storePath;
    QString handheldPath;

    QString launch() const;
    ToolRun kvctl(const QStringList& command, int timeoutMs = 120000) const;
    // kvctl's arguments for a command: --home and --launch first.
    QStringList kvctlArguments(const QStringList& command) const;
    // A device parameter in the settings file.
    void setDevice(int device, const QString& key, const QString& value) const;
    // Vendor codes of the ERP, in order.
    QStringList vendors() const;
    QStringList erpRows(const QString& sql) const;
};

// The rows of every master table of a store (what a send writes), each table's rows sorted.
QMap<QString, QStringList> masterTables(const QString& storePath);
// Row counts of the master tables.
QMap<QString, int> masterCounts(const QString& storePath);
// "ok" when SQLite finds the file sound.
QString integrity(const QString& path);

} // namespace kv::test
