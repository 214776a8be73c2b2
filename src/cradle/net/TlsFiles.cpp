#include "cradle/net/TlsFiles.h"

#include <gnutls/gnutls.h>
#include <QFile>

namespace kv::cradle {

namespace {

// A PEM certificate chain or key is a few kilobytes; anything far larger is not one.
constexpr qint64 kMaxPemBytes = 1 << 20;

bool readPem(const QString& path, QByteArray* text, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    *text = file.read(kMaxPemBytes + 1);
    if (text->size() > kMaxPemBytes) {
        *error = QStringLiteral("%1 is too large for a PEM file").arg(path);
        return false;
    }
    return true;
}

} // namespace

bool readTlsFiles(const QString& certificatePath, const QString& keyPath, TlsFiles* files, QString* error) {
    if (!readPem(certificatePath, &files->certificate, error) || !readPem(keyPath, &files->key, error))
        return false;
    gnutls_certificate_credentials_t credentials = nullptr;
    if (gnutls_certificate_allocate_credentials(&credentials) < 0) {
        *error = QStringLiteral("cannot set up TLS");
        return false;
    }
    const gnutls_datum_t cert{reinterpret_cast<unsigned char*>(files->certificate.data()),
                              unsigned(files->certificate.size())};
    const gnutls_datum_t key{reinterpret_cast<unsigned char*>(files->key.data()),
                             unsigned(files->key.size())};
    const int status =
        gnutls_certificate_set_x509_key_mem2(credentials, &cert, &key, GNUTLS_X509_FMT_PEM, nullptr, 0);
    gnutls_certificate_free_credentials(credentials);
    if (status == GNUTLS_E_CERTIFICATE_KEY_MISMATCH) {
        *error = QStringLiteral("the key in %1 is not the key of the certificate in %2")
                     .arg(keyPath, certificatePath);
        return false;
    }
    if (status < 0) {
        *error = QStringLiteral("%1 and %2 are not a PEM certificate and its private key: %3")
                     .arg(certificatePath, keyPath, QString::fromUtf8(gnutls_strerror(status)));
        return false;
    }
    return true;
}

} // namespace kv::cradle
