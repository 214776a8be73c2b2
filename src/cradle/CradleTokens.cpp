#include "cradle/CradleTokens.h"

#include "app/AppHome.h"
#include "app/AtomicFile.h"
#include "app/RunTimeError.h"
#include "store/StoreFile.h"

#include <algorithm>
#include <QCryptographicHash>
#include <QRandomGenerator>

namespace kv::cradle {

namespace {

const QString kSource = QStringLiteral("kvcradle");

QByteArray digest(const QByteArray& token) {
    return QCryptographicHash::hash(token, QCryptographicHash::Sha256);
}

bool sameBytes(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

} // namespace

CradleTokens::CradleTokens(QString path) : m_path(std::move(path)) {
    if (m_path.isEmpty()) m_path = AppHome::file(fileName());
}

QList<std::pair<qint32, QByteArray>> CradleTokens::read() const {
    QList<std::pair<qint32, QByteArray>> entries;
    // Opened once, never looked up by name first: `issue` replaces the file while kvcradle reads it.
    for (const QByteArray& line : FileVersion::contents(m_path, kSource).split('\n')) {
        const QList<QByteArray> parts = line.simplified().split(' ');
        bool ok = false;
        const qint32 device = parts.value(0).toInt(&ok);
        const QByteArray hash = QByteArray::fromHex(parts.value(1));
        if (ok && device > 0 && hash.size() == 32) entries.append({device, hash});
    }
    return entries;
}

QString CradleTokens::issue(qint32 device, bool renew) {
    // Two devices' tokens made at once must not lose one another.
    FileLock lock(m_path + QStringLiteral(".lock"), kSource, 5000);
    QList<std::pair<qint32, QByteArray>> entries = read();
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries[i].first != device) continue;
        if (!renew)
            throw RunTimeError(
                storeerr::FileAlreadyExists,
                QStringLiteral("Device %1 already has a token; --renew replaces it.").arg(device), kSource);
        entries.removeAt(i--);
    }
    quint32 random[8];
    QRandomGenerator::system()->fillRange(random);
    const QByteArray token = QByteArray(reinterpret_cast<const char*>(random), sizeof random)
                                 .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    entries.append({device, digest(token)});
    std::sort(entries.begin(), entries.end());
    QByteArray text = "# kvcradle device tokens: device number and the SHA-256 of its token\n";
    for (const auto& [d, hash] : entries)
        text += QByteArray::number(d) + ' ' + hash.toHex() + '\n';
    writeFileAtomically(m_path, text, 0600, kSource);
    return QString::fromLatin1(token);
}

std::optional<qint32> CradleTokens::deviceFor(const QByteArray& token) const {
    const QByteArray presented = digest(token);
    std::optional<qint32> found;
    for (const auto& [device, hash] : read())
        if (sameBytes(presented, hash) && !token.isEmpty()) found = device;
    return found;
}

QList<qint32> CradleTokens::devices() const {
    QList<qint32> list;
    for (const auto& entry : read())
        list << entry.first;
    return list;
}

} // namespace kv::cradle
