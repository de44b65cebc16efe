#include "signengine/signengine.h"

#include "app/logfile.h"
#include "crypto/keyfilereader.h"
#include "signengine/base64.h"
#include "signengine/blockrun.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr char kLogPrefix[] = "cert sign util error. ";

// Names as UTF-8 instead of the \xNN escapes of the traditional printer, so Chinese names stay readable; control
// characters are still escaped. Without blanks around "=", an ASCII name reads as the traditional printer shows
// it, and so does the rest of the certificate.
constexpr unsigned long kNameFlags =
    (XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB & ~XN_FLAG_SPC_EQ) | ASN1_STRFLGS_UTF8_CONVERT;

bool isRsa(const EVP_PKEY* key)
{
    return key && EVP_PKEY_get_base_id(key) == EVP_PKEY_RSA;
}

// The most a QByteArray holds, with room for its header and the NUL behind the data.
constexpr qint64 kLargestText = INT_MAX - 64;

// Characters of the Base64 text of so many bytes, or -1 if that text would not fit in a QByteArray.
int base64Length(qint64 bytes)
{
    const qint64 characters = 4 * ((bytes + 2) / 3);
    return characters <= kLargestText ? static_cast<int>(characters) : -1;
}

// The Base64 text of data, into a buffer with room for the NUL that the encoder writes behind it. Null when
// the encoder refuses.
QByteArray base64Text(const QByteArray& data, int textLength)
{
    QByteArray text(textLength + 1, Qt::Uninitialized);
    int written = 0;
    if (base64Encode(reinterpret_cast<const unsigned char*>(data.constData()), data.size(), text.data(), text.size(),
                     &written) != 0)
        return QByteArray();
    text.resize(written);
    return text;
}

// Characters of a text to decrypt that are decoded at a time, a whole number of Base64 groups.
constexpr int kDecodePiece = 1 << 20;

} // namespace

// Every operation needs an engine, so the providers are loaded before any of them; without the default provider
// each then fails with its own code.
SignEngine::SignEngine()
{
    crypto::ensureProviders();
}

// The providers stay loaded for the whole process: other engines may still be working with them.
SignEngine::~SignEngine() = default;

int SignEngine::loadKeyFile(const QByteArray& path, QByteArray password)
{
    const crypto::ScopedCleanse forgetPassword(password);
    ERR_clear_error();

    x509Cert.reset();
    hasPrivateKey = false;
    hasCertificate = true;
    if (fileKind != KeyFilePkcs12 && fileKind != KeyFileCertificate && fileKind != KeyFilePem)
        return UnknownFileKind;

    const QByteArray cleanPath = QByteArray(path).replace("\\\\", "/");
    crypto::KeyFileReader file;
    if (!file.read(QString::fromUtf8(cleanPath.constData(), cleanPath.size()))) {
        logError(file.errorText().constData());
        return KeyFileNotOpened;
    }
    switch (fileKind) {
    case KeyFilePkcs12:
        return readPkcs12(file, password);
    case KeyFilePem:
        if (readPemKey(file) == 0) {
            hasCertificate = false;
            return 0;
        }
        return readCertificate(file, true);
    default:
        return readCertificate(file, false);
    }
}

int SignEngine::readPkcs12(const crypto::KeyFileReader& file, const QByteArray& password)
{
    crypto::PkeyPtr key;
    switch (file.readPkcs12(password, key, x509Cert)) {
    case crypto::KeyFileReader::Pkcs12Opened:
        break;
    case crypto::KeyFileReader::NotPkcs12:
        logCryptoError("not a PKCS#12 file");
        return NotPkcs12;
    case crypto::KeyFileReader::Pkcs12WorkBeyondLimit:
        logError(crypto::KeyFileReader::kBeyondLimitText);
        return Pkcs12WorkBeyondLimit;
    case crypto::KeyFileReader::Pkcs12NotOpened:
        logCryptoError("cannot open the PKCS#12 file with this password");
        return Pkcs12NotOpened;
    }
    if (!isRsa(key.get())) {
        logCryptoError("the PKCS#12 file holds no RSA private key");
        return Pkcs12WithoutRsaKey;
    }
    rsaKey = std::move(key);
    hasPrivateKey = true;
    return 0;
}

int SignEngine::readPemKey(const crypto::KeyFileReader& file)
{
    // An encrypted key is never asked for and counts as absent.
    crypto::PkeyPtr key = file.pemPrivateKey();
    const bool isPrivate = key != nullptr;
    if (!key)
        key = file.pemPublicKey();
    if (!key) {
        logCryptoError("no key in the PEM file");
        return NoPemKey;
    }
    if (!isRsa(key.get()))
        return PemKeyNotRsa;
    rsaKey = std::move(key);
    hasPrivateKey = isPrivate;
    return 0;
}

int SignEngine::readCertificate(const crypto::KeyFileReader& file, bool pem)
{
    // What a failed key read of the same file left behind is not this step's error.
    ERR_clear_error();
    x509Cert = pem ? file.pemCertificate() : file.derCertificate();
    if (!x509Cert) {
        logCryptoError("no certificate in the file");
        return NoCertificateInFile;
    }
    return publicKeyFromCertificate();
}

int SignEngine::publicKeyFromCertificate()
{
    crypto::PkeyPtr key(X509_get_pubkey(x509Cert.get()));
    if (!key)
        return CertificateWithoutKey;
    if (!isRsa(key.get())) {
        logCryptoError("the certificate's public key is not an RSA key");
        return CertificateKeyNotRsa;
    }
    rsaKey = std::move(key);
    return 0;
}

int SignEngine::signText(const QByteArray& text, QByteArray& signature) const
{
    ERR_clear_error();
    if (!hasPrivateKey)
        return NoPrivateKeyToSign;
    if (!rsaKey)
        return SigningFailed;

    const int size = EVP_PKEY_get_size(rsaKey.get());
    const int textLength = base64Length(size);
    if (size <= 0 || textLength < 0)
        return SigningFailed;
    QByteArray buffer(size, '\0');
    const int result = signDigest(text, reinterpret_cast<unsigned char*>(buffer.data()), buffer.size());
    if (result != 0)
        return result;

    const QByteArray encoded = base64Text(buffer, textLength);
    if (encoded.isNull())
        return SignatureNotEncoded;
    signature = encoded;
    return 0;
}

int SignEngine::signDigest(const QByteArray& text, unsigned char* signature, size_t size) const
{
    crypto::MdCtxPtr context(EVP_MD_CTX_new());
    EVP_PKEY_CTX* keyContext = nullptr;
    size_t length = size;
    if (!context ||
        EVP_DigestSignInit_ex(context.get(), &keyContext, "SHA256", nullptr, nullptr, rsaKey.get(), nullptr) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(keyContext, RSA_PKCS1_PADDING) <= 0 ||
        EVP_DigestSign(context.get(), signature, &length, reinterpret_cast<const unsigned char*>(text.constData()),
                       static_cast<size_t>(text.size())) != 1) {
        logCryptoError("signing failed");
        return SigningFailed;
    }
    return 0;
}

int SignEngine::verifyText(const QByteArray& signature, const QByteArray& text, bool& match) const
{
    ERR_clear_error();
    match = false;
    if (!rsaKey)
        return NoKeyToVerify;
    const int size = EVP_PKEY_get_size(rsaKey.get());
    if (size <= 0)
        return NoKeyToVerify;

    // Zero-filled: a shorter signature is checked with zeros behind it, and so does not match.
    QByteArray buffer(size, '\0');
    int decoded = 0;
    if (base64Decode(signature.constData(), signature.size(), reinterpret_cast<unsigned char*>(buffer.data()), size,
                     &decoded) != 0)
        return SignatureNotBase64;
    return verifyDigest(reinterpret_cast<const unsigned char*>(buffer.constData()), buffer.size(), text, match);
}

int SignEngine::verifyDigest(const unsigned char* signature, size_t size, const QByteArray& text, bool& match) const
{
    match = false;
    crypto::MdCtxPtr context(EVP_MD_CTX_new());
    EVP_PKEY_CTX* keyContext = nullptr;
    if (context &&
        EVP_DigestVerifyInit_ex(context.get(), &keyContext, "SHA256", nullptr, nullptr, rsaKey.get(), nullptr) == 1 &&
        EVP_PKEY_CTX_set_rsa_padding(keyContext, RSA_PKCS1_PADDING) > 0 &&
        EVP_DigestVerify(context.get(), signature, size, reinterpret_cast<const unsigned char*>(text.constData()),
                         static_cast<size_t>(text.size())) == 1) {
        match = true;
    } else {
        logCryptoError("the signature does not match");
    }
    return 0;
}

int SignEngine::cryptText(bool usePublicKey, bool encrypt, const QByteArray& input, QByteArray& output,
                          CryptControl* control) const
{
    ERR_clear_error();
    if (!rsaKey)
        return NoKeyToCrypt;
    if (!usePublicKey && !hasPrivateKey)
        return NoPrivateKeyToCrypt;

    const int blockSize = EVP_PKEY_get_size(rsaKey.get());
    if (blockSize - BlockRun::kPaddingOverhead <= 0) {
        logError("the key is too small for PKCS#1 padding");
        return RsaBlockFailed;
    }
    CryptControl ownControl;
    CryptControl& used = control ? *control : ownControl;
    return encrypt ? encryptText(usePublicKey, input, output, used) : decryptText(usePublicKey, input, output, used);
}

// The blocks are encrypted share by share, and each share is written as Base64 straight into the final text:
// no buffer of the whole ciphertext is ever held beside it.
int SignEngine::encryptText(bool usePublicKey, const QByteArray& input, QByteArray& output, CryptControl& control) const
{
    const int blockSize = EVP_PKEY_get_size(rsaKey.get());
    const int chunkSize = blockSize - BlockRun::kPaddingOverhead;
    const qint64 blocks = (static_cast<qint64>(input.size()) + chunkSize - 1) / chunkSize;
    // An empty text gives no block, and no ciphertext to encode.
    if (blocks == 0)
        return CipherTextNotEncoded;
    const int textLength = base64Length(blocks * blockSize);
    if (textLength < 0)
        return TextTooLarge;
    QByteArray text(textLength, Qt::Uninitialized);
    BlockRun run(rsaKey.get(), usePublicKey, blocks, control, reinterpret_cast<const unsigned char*>(input.constData()),
                 input.size(), text.data());
    const int result = run.run();
    if (result == RsaBlockFailed)
        logError(run.failureReason().constData());
    if (result != 0)
        return result;
    output = text;
    return 0;
}

// The blocks are decrypted in place: what block i yields replaces its ciphertext, and the pieces are joined in
// order at the end, so the decoded ciphertext is the only buffer of the text's size.
int SignEngine::decryptText(bool usePublicKey, const QByteArray& input, QByteArray& output, CryptControl& control) const
{
    const int blockSize = EVP_PKEY_get_size(rsaKey.get());
    QByteArray cipher(input.size() / 4 * 3, Qt::Uninitialized);
    unsigned char* const data = reinterpret_cast<unsigned char*>(cipher.data());
    int decoded = 0;
    // Whole groups decode alone, so pieces of them decode as the whole text would, and cancelling need not wait
    // for megabytes of it.
    for (int offset = 0; offset < input.size(); offset += kDecodePiece) {
        if (control.cancelled.load(std::memory_order_relaxed))
            return Cancelled;
        const int length = std::min(kDecodePiece, int(input.size()) - offset);
        int written = 0;
        if (base64Decode(input.constData() + offset, length, data + decoded, cipher.size() - decoded, &written) != 0)
            return CipherTextNotBase64;
        decoded += written;
    }
    if (decoded == 0) {
        output.clear();
        return 0;
    }
    // A piece of a block is no RSA block; refused up front instead of hoping that its padding check fails.
    if (decoded % blockSize != 0) {
        logError("the ciphertext is no whole number of RSA blocks");
        return RsaBlockFailed;
    }

    const qint64 blocks = decoded / blockSize;
    std::vector<quint16> lengths(static_cast<size_t>(blocks));
    BlockRun run(rsaKey.get(), usePublicKey, blocks, control, data, lengths.data());
    const int result = run.run();
    if (result == RsaBlockFailed)
        logError(run.failureReason().constData());
    if (result != 0) {
        OPENSSL_cleanse(data, static_cast<size_t>(decoded));
        return result;
    }
    qint64 produced = 0;
    for (qint64 block = 0; block < blocks; ++block) {
        const size_t length = lengths[static_cast<size_t>(block)];
        if (produced != block * blockSize)
            std::memmove(data + produced, data + block * blockSize, length);
        produced += static_cast<qint64>(length);
    }
    cipher.truncate(static_cast<int>(produced));
    output = cipher;
    return 0;
}

int SignEngine::certificateText(QByteArray& text) const
{
    ERR_clear_error();
    if (!x509Cert)
        return NoCertificateLoaded;
    try {
        crypto::BioPtr bio = crypto::writeBio();
        if (!bio)
            return NoMemoryForText;
        // As the standard printer does, a part that cannot be printed does not withhold the rest. The auxiliary
        // data that a PKCS#12 bag attaches (key id, trust) is no part of the certificate: without it, one
        // certificate prints the same from every kind of file.
        X509_print_ex(bio.get(), x509Cert.get(), kNameFlags, X509_FLAG_NO_AUX);
        QByteArray printed = crypto::bioContents(bio.get());
        const int end = printed.indexOf('\0');
        if (end >= 0)
            printed.truncate(end);
        if (printed.isEmpty())
            return CertificateTextEmpty;
        text = printed;
        return 0;
    } catch (const std::bad_alloc&) {
        return NoMemoryForText;
    }
}

// The earliest library error of this operation; where the library queued none (a check of our own failed),
// what went wrong in our words.
void SignEngine::logCryptoError(const char* fallback)
{
    crypto::logLibraryError(kLogPrefix, fallback);
}

void SignEngine::logError(const char* text)
{
    LogFile::instance()->write("%s%s", kLogPrefix, text);
}
