#pragma once

// For test programs that link kvctllib: kvctl run in this process, its output captured, so a
// test can compare exact text without starting a process.
#include "Command.h"
#include "TestEnv.h"

#include <QTextStream>

namespace kv::test {

inline ToolRun kvctlInProcess(const TempHome& home, const QStringList& args) {
    QString out, err, in;
    QTextStream o(&out), e(&err), i(&in);
    ToolRun r;
    r.exitCode = cli::runKvctl(QStringList{QStringLiteral("--home"), home.path()} + args, o, e, i, false);
    o.flush();
    e.flush();
    r.out = out;
    r.err = err;
    return r;
}

} // namespace kv::test
