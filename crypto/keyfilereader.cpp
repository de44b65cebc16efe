#include "crypto/keyfilereader.h"

#include "crypto/pkcs12limits.h"

#include <QFile>

#include <openssl/pem.h>
#include <openssl/pkcs12.h>

namespace crypto {

KeyFileReader::~KeyFileReader()
{
    cleanse(bytes);
}

bool KeyFileReader::read(const QString& path)
{
    cleanse(bytes);
    error.clear();
    // A NUL inside the path would silently open another file.
    if (path.contains(QChar(0))) {
        error = "the file name holds a NUL character";
        return false;
    }
    QFile file(path);
    // Unbuffered: Qt's read buffer would keep a copy of the bytes that nobody clears.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        error = "cannot open the file: " + file.errorString().toUtf8();
        return false;
    }
    // A regular file is read in the size it has, anything else (a pipe, a device) up to the limit.
    const qint64 room = file.isSequential() ? kMaxFileSize : qMin(file.size(), kMaxFileSize);
    bytes.resize(static_cast<int>(room));
    qint64 filled = 0;
    while (filled < room) {
        const qint64 got = file.read(bytes.data() + filled, room - filled);
        if (got < 0 && file.error() != QFileDevice::NoError) {
            cleanse(bytes);
            error = "cannot read the file: " + file.errorString().toUtf8();
            return false;
        }
        if (got <= 0)
            break;
        filled += got;
    }
    // Shrinking keeps the buffer, which then holds nothing beyond the new size.
    bytes.resize(static_cast<int>(filled));
    return true;
}

KeyFileReader::Pkcs12Result KeyFileReader::readPkcs12(const QByteArray& password, PkeyPtr& key,
                                                      X509Ptr& certificate) const
{
    BioPtr bio = readBio(bytes);
    Pkcs12Ptr pkcs12(bio ? d2i_PKCS12_bio(bio.get(), nullptr) : nullptr);
    if (!pkcs12)
        return NotPkcs12;
    if (!pkcs12WorkWithinLimit(pkcs12.get(), password))
        return Pkcs12WorkBeyondLimit;
    EVP_PKEY* privateKey = nullptr;
    X509* cert = nullptr;
    if (PKCS12_parse(pkcs12.get(), password.constData(), &privateKey, &cert, nullptr) != 1)
        return Pkcs12NotOpened;
    key.reset(privateKey);
    certificate.reset(cert);
    return Pkcs12Opened;
}

PkeyPtr KeyFileReader::pemPrivateKey() const
{
    BioPtr bio = readBio(bytes);
    return PkeyPtr(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, refusePassphrase, nullptr) : nullptr);
}

PkeyPtr KeyFileReader::pemPublicKey() const
{
    BioPtr bio = readBio(bytes);
    return PkeyPtr(bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, refusePassphrase, nullptr) : nullptr);
}

X509Ptr KeyFileReader::pemCertificate() const
{
    BioPtr bio = readBio(bytes);
    return X509Ptr(bio ? PEM_read_bio_X509(bio.get(), nullptr, refusePassphrase, nullptr) : nullptr);
}

X509Ptr KeyFileReader::derCertificate() const
{
    BioPtr bio = readBio(bytes);
    return X509Ptr(bio ? d2i_X509_bio(bio.get(), nullptr) : nullptr);
}

} // namespace crypto
