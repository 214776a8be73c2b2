#pragma once

#include <QByteArrayView>
#include <QString>
#include <memory>
#include <sys/types.h>

namespace kv {

// Replaces a file's contents so that readers see the old file or the new one, never part of
// either: the data goes to a temporary sibling, is flushed to disk and renamed over the file.
// A new file gets `mode`; an existing one keeps its owner (where the process may set it) and its
// permissions, or with ModeOf::Always gets `mode` too (a file that holds passwords is owner-only
// whatever it was). A symbolic link is written through to its target. On failure the old file
// is untouched, the temporary sibling is removed, and a RunTimeError names the file.
enum class ModeOf { NewFile, Always };
void writeFileAtomically(const QString& path, QByteArrayView data, mode_t mode, const QString& source = QString(),
                         ModeOf applies = ModeOf::NewFile);

// An exclusive lock (flock) on a lock file, created owner-only when missing, held while the
// object lives; waits while another process or thread holds it. The lock dies with the process,
// so a crash never leaves it stuck. The lock file itself stays: removing it would let two
// holders lock different files.
class FileLock {
public:
    // With a wait limit (milliseconds), a lock still held by another after it fails with a
    // RunTimeError instead of waiting on.
    FileLock(const QString& lockPath, const QString& source = QString(), int waitLimitMs = -1);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // The lock only when no one holds it, without waiting: nullptr while another process (or
    // another holder in this one) has it. Throws RunTimeError when the lock file cannot be used.
    static std::unique_ptr<FileLock> tryTake(const QString& lockPath, const QString& source = QString());

private:
    explicit FileLock(int fd) : m_fd(fd) {}
    int m_fd;
};

// The RunTimeError for a file that cannot be used: "Cannot <action> "<path>": <reason>", the
// reason given as text or as an errno value.
[[noreturn]] void throwFileError(const QString& action, const QString& path, const QString& reason,
                                 const QString& source);
[[noreturn]] void throwFileError(const QString& action, const QString& path, int errorNumber,
                                 const QString& source);

} // namespace kv
