#pragma once

#include <QString>
#include <string>
#include <vector>

namespace kv::test {

// Things that can stand where a file should be and cannot be read as one, or that read as a
// damaged settings file: emptied by a crash, only a byte-order mark left, binary junk, cut off in
// the middle of device 1's REPARTO.
inline const std::vector<std::string> kUnreadableKinds = {"directory", "fifo",   "no_permission", "device_link",
                                                          "emptied",   "bom_only", "binary_junk",  "cut_off"};

// Puts one of them in the path's place. False when this user cannot make it (no permission means
// nothing to the superuser).
bool makeUnreadable(const QString& path, const std::string& kind);
// Whether it is still exactly that (nothing was written in or through it).
bool stillUnreadable(const QString& path, const std::string& kind);

} // namespace kv::test
