#include "signengine/signengine.h"

#include "app/logfile.h"
#include "crypto/pkcs12limits.h"
#include "signengine/base64.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace {

constexpr char kLogPrefix[] = "cert sign util error. ";

// PKCS#1 v1.5 padding takes 11 bytes of every block.
constexpr int kPaddingOverhead = 11;

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

} // namespace

SignEngine::SignEngine()
{
    crypto::ensureProviders();
}

// The providers stay loaded for the whole process: other engines may still be working with them.
SignEngine::~SignEngine() = default;

int SignEngine::loadKeyFile(const QByteArray& path, const QByteArray& password)
{
    crypto::ensureProviders();
    ERR_clear_error();

    x509Cert.reset();
    hasPrivateKey = false;
    hasCertificate = true;

    switch (fileKind) {
    case KeyFilePkcs12:
        return readPkcs12(path, password);
    case KeyFileCertificate:
        return readCertificate(path, false);
    case KeyFilePem:
        if (readPemKey(path) == 0) {
            hasCertificate = false;
            return 0;
        }
        return readCertificate(path, true);
    default:
        return 20003;
    }
}

crypto::BioPtr SignEngine::openKeyFile(const QByteArray& path, int& result)
{
    QByteArray cleanPath = path;
    cleanPath.replace("\\\\", "/");
    crypto::BioPtr bio;
    // A NUL inside the path would silently open another file. Binary mode: text mode would alter DER files.
    if (!cleanPath.contains('\0'))
        bio.reset(BIO_new_file(cleanPath.constData(), "rb"));
    if (!bio) {
        logCryptoError("cannot open the key file");
        result = 20001;
        return bio;
    }
    result = 0;
    return bio;
}

int SignEngine::readPkcs12(const QByteArray& path, const QByteArray& password)
{
    int result = 0;
    crypto::BioPtr bio = openKeyFile(path, result);
    if (!bio)
        return result;
    crypto::Pkcs12Ptr pkcs12(d2i_PKCS12_bio(bio.get(), nullptr));
    if (!pkcs12) {
        logCryptoError("not a PKCS#12 file");
        return 20052;
    }
    if (!crypto::pkcs12WorkWithinLimit(pkcs12.get())) {
        logError("the PKCS#12 file asks for more key derivation work than any sound file does");
        return 20063;
    }
    return parsePkcs12(pkcs12.get(), password);
}

int SignEngine::parsePkcs12(PKCS12* pkcs12, const QByteArray& password)
{
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    if (!PKCS12_parse(pkcs12, password.constData(), &key, &certificate, nullptr)) {
        logCryptoError("cannot open the PKCS#12 file with this password");
        return 20061;
    }
    crypto::PkeyPtr ownedKey(key);
    x509Cert.reset(certificate);
    if (!isRsa(ownedKey.get())) {
        logCryptoError("the PKCS#12 file holds no RSA private key");
        return 20062;
    }
    rsaKey = std::move(ownedKey);
    hasPrivateKey = true;
    return 0;
}

int SignEngine::readPemKey(const QByteArray& path)
{
    int result = 0;
    crypto::BioPtr bio = openKeyFile(path, result);
    if (!bio)
        return result;
    hasPrivateKey = false;

    // The refusing callback keeps an encrypted key from prompting on the terminal; such a key counts as absent.
    crypto::PkeyPtr key(PEM_read_bio_PrivateKey(bio.get(), nullptr, crypto::refusePassphrase, nullptr));
    const bool isPrivate = key != nullptr;
    if (!key && BIO_reset(bio.get()) == 0)
        key.reset(PEM_read_bio_PUBKEY(bio.get(), nullptr, crypto::refusePassphrase, nullptr));
    if (!key) {
        logCryptoError("no key in the PEM file");
        return 20005;
    }
    if (!isRsa(key.get()))
        return 20006;
    rsaKey = std::move(key);
    hasPrivateKey = isPrivate;
    return 0;
}

int SignEngine::readCertificate(const QByteArray& path, bool pem)
{
    // What a failed key read of the same file left behind is not this step's error.
    ERR_clear_error();
    int result = 0;
    crypto::BioPtr bio = openKeyFile(path, result);
    if (!bio)
        return result;
    X509* certificate = pem ? PEM_read_bio_X509(bio.get(), nullptr, crypto::refusePassphrase, nullptr)
                            : d2i_X509_bio(bio.get(), nullptr);
    if (!certificate) {
        logCryptoError("no certificate in the file");
        return 20002;
    }
    x509Cert.reset(certificate);
    return publicKeyFromCertificate();
}

int SignEngine::publicKeyFromCertificate()
{
    crypto::PkeyPtr key(X509_get_pubkey(x509Cert.get()));
    if (!key)
        return 20011;
    if (!isRsa(key.get())) {
        logCryptoError("the certificate's public key is not an RSA key");
        return 20012;
    }
    rsaKey = std::move(key);
    return 0;
}

int SignEngine::signText(const QByteArray& text, QByteArray& signature)
{
    ERR_clear_error();
    if (!hasPrivateKey)
        return 20100;
    if (!rsaKey)
        return 20101;

    const int size = EVP_PKEY_get_size(rsaKey.get());
    const int textLength = base64Length(size);
    if (size <= 0 || textLength < 0)
        return 20101;
    QByteArray buffer(size, '\0');
    const int result = signDigest(text, reinterpret_cast<unsigned char*>(buffer.data()), buffer.size());
    if (result != 0)
        return result;

    const QByteArray encoded = base64Text(buffer, textLength);
    if (encoded.isNull())
        return 20102;
    signature = encoded;
    return 0;
}

int SignEngine::signDigest(const QByteArray& text, unsigned char* signature, size_t size)
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
        return 20101;
    }
    return 0;
}

int SignEngine::verifyText(const QByteArray& signature, const QByteArray& text, bool& match)
{
    ERR_clear_error();
    match = false;
    if (!rsaKey)
        return 20210;
    const int size = EVP_PKEY_get_size(rsaKey.get());
    if (size <= 0)
        return 20210;

    // Zero-filled: a shorter signature is checked with zeros behind it, and so does not match.
    QByteArray buffer(size, '\0');
    int decoded = 0;
    if (base64Decode(signature.constData(), signature.size(), reinterpret_cast<unsigned char*>(buffer.data()), size,
                     &decoded) != 0)
        return 20211;
    return verifyDigest(reinterpret_cast<const unsigned char*>(buffer.constData()), buffer.size(), text, match);
}

int SignEngine::verifyDigest(const unsigned char* signature, size_t size, const QByteArray& text, bool& match)
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

int SignEngine::cryptText(bool usePublicKey, bool encrypt, const QByteArray& input, QByteArray& output)
{
    ERR_clear_error();
    if (!rsaKey)
        return 20310;
    if (!usePublicKey && !hasPrivateKey)
        return 20311;

    const int blockSize = EVP_PKEY_get_size(rsaKey.get());
    const int chunkSize = blockSize - kPaddingOverhead;
    if (chunkSize <= 0) {
        logError("the key is too small for PKCS#1 padding");
        return 20301;
    }

    if (encrypt) {
        const qint64 blocks = (static_cast<qint64>(input.size()) + chunkSize - 1) / chunkSize;
        const qint64 cipherSize = blocks * blockSize;
        const int textLength = base64Length(cipherSize);
        // An empty text gives no block, and no ciphertext to encode.
        if (blocks == 0)
            return 20315;
        if (textLength < 0)
            return 20316;
        QByteArray cipher(static_cast<int>(cipherSize), Qt::Uninitialized);
        int produced = 0;
        const int result = cryptBlocks(usePublicKey, true, reinterpret_cast<const unsigned char*>(input.constData()),
                                       input.size(), reinterpret_cast<unsigned char*>(cipher.data()), produced);
        if (result != 0)
            return result;
        const QByteArray text = base64Text(cipher, textLength);
        if (text.isNull())
            return 20315;
        output = text;
        return 0;
    }

    QByteArray cipher(input.size() / 4 * 3, Qt::Uninitialized);
    int decoded = 0;
    if (base64Decode(input.constData(), input.size(), reinterpret_cast<unsigned char*>(cipher.data()), cipher.size(),
                     &decoded) != 0)
        return 20313;
    if (decoded == 0) {
        output.clear();
        return 0;
    }
    // A piece of a block is no RSA block; refused up front instead of hoping that its padding check fails.
    if (decoded % blockSize != 0) {
        logError("the ciphertext is no whole number of RSA blocks");
        return 20301;
    }
    QByteArray plain(decoded / blockSize * chunkSize, Qt::Uninitialized);
    int produced = 0;
    const int result = cryptBlocks(usePublicKey, false, reinterpret_cast<const unsigned char*>(cipher.constData()),
                                   decoded, reinterpret_cast<unsigned char*>(plain.data()), produced);
    if (result != 0)
        return result;
    plain.truncate(produced);
    output = plain;
    return 0;
}

// Runs the whole text through one context. Encrypting: input is cut into chunks of (key size - 11) bytes and
// each block of key size is written behind the previous one. Decrypting: input is whole key-sized blocks, and
// the bytes each one yields are joined in output.
int SignEngine::cryptBlocks(bool usePublicKey, bool encrypt, const unsigned char* input, int length,
                            unsigned char* output, int& produced)
{
    produced = 0;
    EVP_PKEY* const key = rsaKey.get();
    const int blockSize = EVP_PKEY_get_size(key);
    const int chunkSize = blockSize - kPaddingOverhead;

    crypto::PkeyCtxPtr context(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    int ready = 0;
    if (context) {
        if (usePublicKey)
            ready = encrypt ? EVP_PKEY_encrypt_init(context.get()) : EVP_PKEY_verify_recover_init(context.get());
        else
            ready = encrypt ? EVP_PKEY_sign_init(context.get()) : EVP_PKEY_decrypt_init(context.get());
    }
    if (ready <= 0 || EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) <= 0) {
        logCryptoError("cannot set up the RSA operation");
        return 20301;
    }
    if (!usePublicKey && !encrypt) {
        // Newer libraries answer a bad padding with random bytes instead of an error; keep the error. Older
        // ones do not know the control, and their complaint about it is dropped.
        ERR_set_mark();
        EVP_PKEY_CTX_ctrl_str(context.get(), "rsa_pkcs1_implicit_rejection", "0");
        ERR_pop_to_mark();
    }

    if (encrypt) {
        for (int offset = 0; offset < length; offset += chunkSize) {
            const size_t chunk = static_cast<size_t>(std::min(chunkSize, length - offset));
            size_t written = static_cast<size_t>(blockSize);
            unsigned char* const block = output + produced;
            const int ok = usePublicKey ? EVP_PKEY_encrypt(context.get(), block, &written, input + offset, chunk)
                                        : EVP_PKEY_sign(context.get(), block, &written, input + offset, chunk);
            if (ok <= 0 || written != static_cast<size_t>(blockSize)) {
                logCryptoError("RSA encryption failed");
                return 20301;
            }
            produced += blockSize;
        }
        return 0;
    }

    // The library refuses to write a recovered block into less room than the key's size.
    QByteArray scratch(blockSize, Qt::Uninitialized);
    unsigned char* const block = reinterpret_cast<unsigned char*>(scratch.data());
    int result = 0;
    for (int offset = 0; offset < length; offset += blockSize) {
        size_t written = static_cast<size_t>(blockSize);
        const int ok = usePublicKey ? EVP_PKEY_verify_recover(context.get(), block, &written, input + offset, blockSize)
                                    : EVP_PKEY_decrypt(context.get(), block, &written, input + offset, blockSize);
        if (ok <= 0 || written > static_cast<size_t>(chunkSize)) {
            logCryptoError("RSA decryption failed");
            result = 20301;
            break;
        }
        std::memcpy(output + produced, block, written);
        produced += static_cast<int>(written);
    }
    OPENSSL_cleanse(block, static_cast<size_t>(blockSize));
    return result;
}

int SignEngine::certificateText(QByteArray& text)
{
    ERR_clear_error();
    if (!x509Cert)
        return 20330;
    try {
        crypto::BioPtr bio = crypto::writeBio();
        if (!bio)
            return 20332;
        // As the standard printer does, a part that cannot be printed does not withhold the rest. The auxiliary
        // data that a PKCS#12 bag attaches (key id, trust) is no part of the certificate: without it, one
        // certificate prints the same from every kind of file.
        X509_print_ex(bio.get(), x509Cert.get(), kNameFlags, X509_FLAG_NO_AUX);
        QByteArray printed = crypto::bioContents(bio.get());
        const int end = printed.indexOf('\0');
        if (end >= 0)
            printed.truncate(end);
        if (printed.isEmpty())
            return 20331;
        text = printed;
        return 0;
    } catch (const std::bad_alloc&) {
        return 20332;
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
