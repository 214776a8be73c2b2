#pragma once

#include "app/RunTimeError.h"
#include "conduit/ConduitConfig.h"

#include <QMap>
#include <QStringList>

namespace kv::test {

// A configuration library that answers from a script and records every call, so each result
// code, and a library that raises errors, can be played to the registration procedures.
class ScriptedConduitConfig : public ConduitConfig {
public:
    qint32 conduitAnswer = 0;
    qint32 tableAnswer = 0;             // for every table not in tableAnswers
    QMap<QString, qint32> tableAnswers; // by table name
    qint32 enableAnswer = 0;            // SetEnableStatus with 1
    qint32 disableAnswer = 0;           // SetEnableStatus with 0
    int throwAtCall = 0;                // the n-th call (1-based) raises an error instead

    QList<ConduitRecord> conduits;
    QList<TableRecord> tables;
    QStringList log; // "conduit NAME", "table CONDUIT NAME CODE", "enable CONDUIT FLAG"
    bool enabled = false;

    qint32 AddUpdateConduit(const ConduitRecord& c) override {
        call(QStringLiteral("conduit ") + c.name);
        conduits << c;
        return conduitAnswer;
    }
    qint32 AddUpdateTable(const QString& conduit, const TableRecord& t) override {
        call(QStringLiteral("table %1 %2 %3").arg(conduit, t.name).arg(t.transferCode));
        tables << t;
        return tableAnswers.value(t.name, tableAnswer);
    }
    qint32 SetEnableStatus(const QString& conduit, qint32 flag) override {
        call(QStringLiteral("enable %1 %2").arg(conduit).arg(flag));
        const qint32 answer = flag ? enableAnswer : disableAnswer;
        if (answer == 0) enabled = flag == 1;
        return answer;
    }

private:
    void call(const QString& what) {
        if (++m_calls == throwAtCall)
            throw RunTimeError(48, QStringLiteral("Error al cargar la biblioteca de conductos"), what);
        log << what;
    }
    int m_calls = 0;
};

// Installs a scripted library as the program-wide one for the lifetime of the object.
class ScopedConduitConfig {
public:
    ScopedConduitConfig() { setConduitConfig(&library); }
    ~ScopedConduitConfig() { setConduitConfig(nullptr); }
    ScriptedConduitConfig library;
};

} // namespace kv::test
