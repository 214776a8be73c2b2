#pragma once

#include <QByteArray>
#include <QString>

namespace kv::cradle {

// The cradle's certificate and its private key, as PEM text.
struct TlsFiles {
    QByteArray certificate;
    QByteArray key;
};

// Reads both files and makes sure the key is the certificate's, so a wrong pair is found at
// start and not at the first handshake; false with the reason in *error.
bool readTlsFiles(const QString& certificatePath, const QString& keyPath, TlsFiles* files, QString* error);

} // namespace kv::cradle
