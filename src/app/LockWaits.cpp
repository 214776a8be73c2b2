#include "app/LockWaits.h"

#include "app/SettingsFile.h"
#include "data/LockStatements.h"

namespace kv {

namespace {

std::optional<int>& lockOverride() {
    static std::optional<int> v;
    return v;
}
std::optional<int>& importOverride() {
    static std::optional<int> v;
    return v;
}

// A whole number of seconds from 1; anything else (blank, text, 0: on PostgreSQL that would mean
// no bound at all) leaves the default.
int seconds(const std::optional<int>& given, const char* key, int fallback) {
    if (given) return *given;
    bool ok = false;
    const int n = LeerIni(QStringLiteral("CN000pr.INI"), QStringLiteral("General"), QLatin1String(key)).trimmed().toInt(&ok);
    return ok && n >= 1 ? n : fallback;
}

} // namespace

LockWaits lockWaits() {
    return {seconds(lockOverride(), "LockTimeout", kDefaultLockTimeoutSeconds),
            seconds(importOverride(), "ImportLockTimeout", kDefaultImportLockTimeoutSeconds)};
}

void overrideLockWaits(std::optional<int> lock, std::optional<int> import) {
    lockOverride() = lock;
    importOverride() = import;
}

} // namespace kv
