#include "cradle/net/SqliteImage.h"

#include "app/AtomicFileWriter.h"

#include <QByteArray>

namespace kv::cradle {

namespace {

quint32 bigEndian(const QByteArray& bytes, int at, int size) {
    quint32 v = 0;
    for (int i = 0; i < size; ++i)
        v = (v << 8) | quint8(bytes[at + i]);
    return v;
}

} // namespace

QString sqliteImageProblem(const AtomicFileWriter& file, qint64 declaredLength) {
    const qint64 size = file.written();
    if (declaredLength >= 0 && size != declaredLength)
        return QStringLiteral("was cut short (%1 of %2 bytes)").arg(size).arg(declaredLength);
    const QByteArray head = file.peek(0, 100);
    if (head.size() < 100 || !head.startsWith(QByteArrayView("SQLite format 3\0", 16)))
        return QStringLiteral("is not an SQLite database");
    // The header's page count holds only while its change counter matches the one it was
    // written with (offsets 24 and 92); an older writer leaves it stale, and then only the size
    // is checked, as whole pages.
    const quint32 pageSize = bigEndian(head, 16, 2) == 1 ? 65536 : bigEndian(head, 16, 2);
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0 || size % pageSize != 0)
        return QStringLiteral("is not a whole SQLite database");
    const quint32 pages = bigEndian(head, 28, 4);
    if (bigEndian(head, 24, 4) == bigEndian(head, 92, 4) && pages > 0 && qint64(pages) * pageSize != size)
        return QStringLiteral("is not a whole SQLite database (%1 pages of %2 bytes, %3 bytes)")
            .arg(pages)
            .arg(pageSize)
            .arg(size);
    return QString();
}

} // namespace kv::cradle
