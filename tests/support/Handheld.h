#pragma once

#include "TestEnv.h"

#include <QStringList>
#include <functional>

namespace kv::test {

// A handheld that captured `count` orders ("NP" + branch + numbers from `first`) of `lines`
// lines each for `client`, in a file holding the store's tables; the keys, in order.
QStringList captureOrders(const QString& handheld, int count, int lines, const QString& client, int first = 1,
                          const QString& branch = QStringLiteral("0001"));

// kvctl with `args` (after --home), its cradle button pressed for `handheld` once it waits, as a
// person at two terminals does it; `beforePress` runs while it waits.
ToolRun kvctlWithSync(const TempHome& home, const QStringList& args, const QString& handheld,
                      const std::function<void()>& beforePress = {});

} // namespace kv::test
