#pragma once

#include <functional>
#include <optional>
#include <QByteArray>
#include <QString>
#include <sys/types.h>

namespace kv::test {

inline const QString kFile = QStringLiteral("CN000pr.INI"); // the settings file, in the application folder
inline const QString kDevice3 = QStringLiteral("PARAMETROS PALM Nº 3");
inline const QString kNone = QStringLiteral("<none>"); // a default no stored value equals

QByteArray readBytes(const QString& path);
void writeBytes(const QString& path, const QByteArray& bytes);

// Runs body in a forked child and returns its exit code, or 128 + the signal that ended it.
// The child leaves with _exit, so nothing of the test program's own shutdown runs twice.
pid_t startChild(const std::function<int()>& body);
// The child's exit code once it has ended; without `wait`, nothing while it still runs.
std::optional<int> childExit(pid_t pid, bool wait = true);
inline int inChild(const std::function<int()>& body) {
    return childExit(startChild(body)).value_or(-1);
}

} // namespace kv::test
