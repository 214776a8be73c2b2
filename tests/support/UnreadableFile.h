#pragma once

#include <QString>
#include <string>
#include <vector>

namespace kv::test {

// Things that can stand where a file should be and cannot be read as one.
inline const std::vector<std::string> kUnreadableKinds = {"directory", "fifo", "no_permission", "device_link"};

// Puts one of them in the path's place. False when this user cannot make it (no permission means
// nothing to the superuser).
bool makeUnreadable(const QString& path, const std::string& kind);
// Whether it is still exactly that (nothing was written in or through it).
bool stillUnreadable(const QString& path, const std::string& kind);

} // namespace kv::test
