#ifndef CRYPTO_KEYFILEREADER_H
#define CRYPTO_KEYFILEREADER_H

#include "crypto/cryptosupport.h"

#include <QByteArray>
#include <QString>

namespace crypto {

// A key or certificate file that a merchant chose, read whole once and parsed from memory: the one way both engines
// read such files, so that a limit or a mend holds for both. The bytes may hold a private key: they are overwritten
// when the reader ends or reads again. The parsers leave the library's error queued for the caller to log.
class KeyFileReader
{
public:
    enum Pkcs12Result {
        Pkcs12Opened,
        NotPkcs12,             // no DER PKCS#12 structure
        Pkcs12WorkBeyondLimit, // refused before any key derivation (see pkcs12WorkWithinLimit); nothing queued
        Pkcs12NotOpened,       // the password does not open it, or it is damaged
    };

    // What is read of a file at most: far more than any key or certificate file holds, and little enough that an
    // endless device or a huge wrong choice cannot fill the memory. What lies beyond is never looked at, and the
    // file then fails as one whose content is not what its kind says.
    static constexpr qint64 kMaxFileSize = 8 << 20;
    // What an engine logs for Pkcs12WorkBeyondLimit.
    static constexpr char kBeyondLimitText[] =
        "the PKCS#12 file asks for more key derivation work than any sound file does";

    KeyFileReader() = default;
    ~KeyFileReader();
    KeyFileReader(const KeyFileReader&) = delete;
    KeyFileReader& operator=(const KeyFileReader&) = delete;

    // Reads the file at path ("/" as separator; one with a NUL inside is refused), up to kMaxFileSize bytes. False when
    // it cannot be opened or read; errorText() then says why, for the log.
    bool read(const QString& path);
    QByteArray errorText() const { return error; }

    // The DER PKCS#12 structure, opened with password: on Pkcs12Opened key and certificate receive what it holds
    // (either may be null), otherwise they are left alone.
    Pkcs12Result readPkcs12(const QByteArray& password, PkeyPtr& key, X509Ptr& certificate) const;
    // The first PEM private key that needs no pass phrase (none is ever asked for), the first PEM public key
    // (SubjectPublicKeyInfo), the first PEM certificate, or the DER certificate; null if there is none.
    PkeyPtr pemPrivateKey() const;
    PkeyPtr pemPublicKey() const;
    X509Ptr pemCertificate() const;
    X509Ptr derCertificate() const;

private:
    QByteArray bytes;
    QByteArray error;
};

} // namespace crypto

#endif // CRYPTO_KEYFILEREADER_H
