#pragma once

#include <QString>

namespace kv {

// The application folder: $KVCONTROL_HOME when set, else ~/.local/share/kvcontrol. It holds the
// settings file, the error log, the lookup files, the conduit registry, the sync lock and, by
// default, the local sync store. Tools take --home DIR, which sets it for the whole process.
class AppHome {
public:
    // The folder, created on first use, always ending with "/".
    static QString folder();
    // A file inside the folder.
    static QString file(const QString& name);
    // Overrides the folder for this process (what --home does).
    static void set(const QString& dir);
};

} // namespace kv
