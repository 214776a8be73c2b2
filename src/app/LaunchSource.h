#pragma once

#include <QString>

namespace kv {

// Where a tool takes its launch string from, so a scheduled job never shows the ERP password
// in the process list: the command line's text, else an owner-only file, else the variable
// KVCONTROL_LAUNCH. A launch string without "@Password" takes KVCONTROL_PASSWORD when it is set.
struct LaunchSource {
    QString text;     // --launch, or the console's launch-string arguments
    QString file;     // --launch-file
};

struct ResolvedLaunch {
    QString text;  // the launch string to start with (empty: none given anywhere)
    QString error; // why it could not be read; empty when it was
};

ResolvedLaunch resolveLaunch(const LaunchSource& source);

} // namespace kv
