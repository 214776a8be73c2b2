#pragma once

#include <QByteArrayView>
#include <QString>
#include <memory>
#include <sys/stat.h>
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

// One version of a file that writeFileAtomically replaces, opened for reading. Whether the file
// is there is decided by the open alone, never by a look at the name first: while another
// process replaces the file, such a look can land on the version just replaced, already
// unlinked, and take the file for missing. Reads go through the open descriptor, so they give
// that one version whole whatever replaces it meanwhile. A folder or anything but a regular
// file in its place, or any failure but a missing file, throws a RunTimeError naming the file.
class FileVersion {
public:
    FileVersion(const QString& path, const QString& source = QString());
    ~FileVersion();
    FileVersion(const FileVersion&) = delete;
    FileVersion& operator=(const FileVersion&) = delete;

    bool found() const { return m_fd >= 0; }
    // The version's status (inode, size, times); only when found.
    const struct stat& status() const { return m_status; }
    // Its whole contents; empty when not found.
    QByteArray readAll() const;
    // The contents of the file at `path` now; empty when there is none.
    static QByteArray contents(const QString& path, const QString& source = QString());

private:
    QString m_path;
    QString m_source;
    int m_fd = -1;
    struct stat m_status {};
};

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
