#pragma once

#include "app/AtomicFile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <sys/types.h>

namespace kv {

// A file written in pieces and put in the place of another whole, so that it can come from a
// stream of any length without being held in memory: the pieces go to a temporary sibling of
// the file, which commit() flushes to disk and renames over it. A writer gone without commit()
// removes its sibling and leaves the file as it was. Modes and owners as writeFileAtomically
// keeps them; failures are RunTimeErrors naming the file.
class AtomicFileWriter {
public:
    AtomicFileWriter(const QString& path, mode_t mode, const QString& source = QString(),
                     ModeOf applies = ModeOf::NewFile);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    void write(QByteArrayView data);
    qint64 written() const { return m_written; }
    // The bytes written so far, from `offset` (at most `size` of them), for a look before commit().
    QByteArray peek(qint64 offset, qint64 size) const;
    // Flushes the sibling, renames it over the file and flushes the folder.
    void commit();

private:
    [[noreturn]] void fail(int error);
    QString m_path;
    QString m_source;
    QByteArray m_target; // the file written, a symbolic link's target in its place
    QByteArray m_temp;
    int m_fd = -1;
    qint64 m_written = 0;
};

} // namespace kv
