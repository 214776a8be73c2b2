#pragma once

#include <QStringList>
#include <QTextStream>

namespace kv::erp {

// The kverp command line: `init` with its options, or --help. Results go to `out`, progress
// and failures to `err`. Returns the exit status: 0 done, 1 failed, 2 wrong arguments.
int runKverp(const QStringList& arguments, QTextStream& out, QTextStream& err);

} // namespace kv::erp
