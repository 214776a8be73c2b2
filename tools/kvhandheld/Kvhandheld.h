#pragma once

#include <QStringList>
#include <QTextStream>

namespace kv::handheld {

// kvhandheld's whole behaviour: global options, the five commands, help and exit status
// (0 done, 1 failed or refused with the reason on `err`, 2 wrong usage).
int runKvhandheld(const QStringList& arguments, QTextStream& out, QTextStream& err);

} // namespace kv::handheld
