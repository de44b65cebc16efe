#include "signengine/signengine.h"

#include "app/logfile.h"
#include "crypto/keyfilereader.h"
#include "signengine/base64.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

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

// Characters of a text to decrypt that are decoded at a time, a whole number of Base64 groups.
constexpr int kDecodePiece = 1 << 20;

// The blocks of one cryptText, shared among threads. Each thread takes a share of blocks at a time, in the
// order of the text, with a library context of its own over the common key. A share is a multiple of three
// blocks, so that the Base64 text of an encrypted share begins at a whole group (three blocks of k bytes are 4k
// characters), and about a millisecond or two of work, so that cancelling and progress stay fine-grained: a
// private-key block takes some 0.3 ms at 2048 bits (several at 4096), a public-key block some 20 microseconds.
//
// Once a block fails, no thread takes a share behind it, but every block before it is still done: the failure
// reported (and logged) is the first one in the text, as on one thread.
class BlockRun
{
public:
    BlockRun(EVP_PKEY* key, bool usePublicKey, bool encrypt, qint64 blockCount, SignEngine::CryptControl& control)
        : key(key), usePublicKey(usePublicKey), encrypt(encrypt), blockSize(EVP_PKEY_get_size(key)),
          chunkSize(blockSize - kPaddingOverhead), blockCount(blockCount), share(usePublicKey ? 96 : 3),
          control(control)
    {
    }

    // Encrypting: the text to encrypt, and the Base64 text of the ciphertext, to be written.
    const unsigned char* plain = nullptr;
    int plainLength = 0;
    char* text = nullptr;
    // Decrypting: the ciphertext, whose blocks are replaced by what they decrypt to, and their lengths.
    unsigned char* cipher = nullptr;
    quint16* lengths = nullptr;

    // Every block, on as many threads as the control allows and the text is worth. 0, RsaBlockFailed (logged) or
    // Cancelled.
    int run()
    {
        control.blocksTotal.store(blockCount);
        control.blocksDone.store(0);
        const qint64 shares = (blockCount + share - 1) / share;
        const int wanted =
            control.threads > 0 ? control.threads : static_cast<int>(std::thread::hardware_concurrency());
        const int threads = static_cast<int>(std::clamp<qint64>(shares, 1, std::max(wanted, 1)));
        std::vector<std::thread> helpers;
        for (int i = 1; i < threads; ++i) {
            try {
                helpers.emplace_back([this] { work(); });
            } catch (const std::system_error&) {
                break; // fewer threads do the same work
            }
        }
        work();
        for (std::thread& helper : helpers)
            helper.join();

        if (interrupted.load())
            return SignEngine::Cancelled;
        if (failure.block == kNone)
            return 0;
        const QByteArray reason = failure.error == 0 ? QByteArray(failure.what) : crypto::errorText(failure.error);
        LogFile::instance()->write("%s%s", kLogPrefix, reason.constData());
        return SignEngine::RsaBlockFailed;
    }

private:
    static constexpr qint64 kNone = std::numeric_limits<qint64>::max();

    // One thread's part: shares, in order, until none is left or there is no point in going on.
    void work()
    {
        ERR_clear_error();
        crypto::PkeyCtxPtr context;
        std::vector<unsigned char> scratch(static_cast<size_t>(share * blockSize));
        for (;;) {
            const qint64 first = nextShare.fetch_add(1) * share;
            if (first >= blockCount || first > firstFailed.load())
                break;
            if (control.cancelled.load(std::memory_order_relaxed)) {
                interrupted.store(true);
                break;
            }
            if (!context && !(context = makeContext())) {
                fail(first, "cannot set up the RSA operation");
                break;
            }
            const qint64 end = std::min(first + share, blockCount);
            qint64 block = first;
            for (; block < end && block <= firstFailed.load(); ++block) {
                if (control.cancelled.load(std::memory_order_relaxed)) {
                    interrupted.store(true);
                    break;
                }
                if (!cryptBlock(context.get(), block, scratch.data() + (block - first) * blockSize)) {
                    fail(block, encrypt ? "RSA encryption failed" : "RSA decryption failed");
                    break;
                }
            }
            if (block < end)
                break;
            if (encrypt)
                encode(first, end, scratch.data());
            control.blocksDone.fetch_add(end - first, std::memory_order_relaxed);
        }
        if (!encrypt)
            OPENSSL_cleanse(scratch.data(), scratch.size());
        ERR_clear_error();
    }

    crypto::PkeyCtxPtr makeContext() const
    {
        crypto::PkeyCtxPtr context(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
        if (!context)
            return context;
        int ready = 0;
        if (usePublicKey)
            ready = encrypt ? EVP_PKEY_encrypt_init(context.get()) : EVP_PKEY_verify_recover_init(context.get());
        else
            ready = encrypt ? EVP_PKEY_sign_init(context.get()) : EVP_PKEY_decrypt_init(context.get());
        if (ready <= 0 || EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) <= 0)
            return crypto::PkeyCtxPtr();
        if (!usePublicKey && !encrypt) {
            // Newer libraries answer a bad padding with random bytes instead of an error; keep the error. Older
            // ones do not know the control, and their complaint about it is dropped.
            ERR_set_mark();
            EVP_PKEY_CTX_ctrl_str(context.get(), "rsa_pkcs1_implicit_rejection", "0");
            ERR_pop_to_mark();
        }
        return context;
    }

    // Encrypting: chunk `block` of the text into scratch. Decrypting: the block in place, through scratch (the
    // library refuses to write a recovered block into less room than the key's size).
    bool cryptBlock(EVP_PKEY_CTX* context, qint64 block, unsigned char* scratch)
    {
        size_t written = static_cast<size_t>(blockSize);
        if (encrypt) {
            const qint64 offset = block * chunkSize;
            const size_t chunk = static_cast<size_t>(std::min<qint64>(chunkSize, plainLength - offset));
            const int ok = usePublicKey ? EVP_PKEY_encrypt(context, scratch, &written, plain + offset, chunk)
                                        : EVP_PKEY_sign(context, scratch, &written, plain + offset, chunk);
            return ok > 0 && written == static_cast<size_t>(blockSize);
        }
        unsigned char* const data = cipher + block * blockSize;
        const int ok = usePublicKey ? EVP_PKEY_verify_recover(context, scratch, &written, data, blockSize)
                                    : EVP_PKEY_decrypt(context, scratch, &written, data, blockSize);
        if (ok <= 0 || written > static_cast<size_t>(chunkSize))
            return false;
        std::memcpy(data, scratch, written);
        lengths[block] = static_cast<quint16>(written);
        return true;
    }

    // The Base64 text of blocks first to end, encrypted into ciphertext, in its place in the whole text.
    void encode(qint64 first, qint64 end, const unsigned char* ciphertext)
    {
        const qint64 bytes = (end - first) * blockSize;
        char* const out = text + first * blockSize / 3 * 4;
        for (qint64 i = 0; i < bytes; i += 3)
            base64EncodeGroup(ciphertext + i, static_cast<int>(std::min<qint64>(3, bytes - i)), out + i / 3 * 4);
    }

    void fail(qint64 block, const char* what)
    {
        const unsigned long error = ERR_get_error();
        const std::lock_guard<std::mutex> lock(failureLock);
        if (block < failure.block) {
            failure = {block, error, what};
            firstFailed.store(block);
        }
    }

    struct Failure
    {
        qint64 block = kNone;
        unsigned long error = 0; // the library's earliest error on the failing thread; 0 if it queued none
        const char* what = nullptr;
    };

    EVP_PKEY* const key;
    const bool usePublicKey;
    const bool encrypt;
    const int blockSize;
    const int chunkSize;
    const qint64 blockCount;
    const qint64 share;
    SignEngine::CryptControl& control;
    std::atomic<qint64> nextShare{0};
    std::atomic<qint64> firstFailed{kNone};
    std::atomic<bool> interrupted{false};
    std::mutex failureLock;
    Failure failure;
};

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
    if (blockSize - kPaddingOverhead <= 0) {
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
    const int chunkSize = blockSize - kPaddingOverhead;
    const qint64 blocks = (static_cast<qint64>(input.size()) + chunkSize - 1) / chunkSize;
    // An empty text gives no block, and no ciphertext to encode.
    if (blocks == 0)
        return CipherTextNotEncoded;
    const int textLength = base64Length(blocks * blockSize);
    if (textLength < 0)
        return TextTooLarge;
    QByteArray text(textLength, Qt::Uninitialized);
    BlockRun run(rsaKey.get(), usePublicKey, true, blocks, control);
    run.plain = reinterpret_cast<const unsigned char*>(input.constData());
    run.plainLength = input.size();
    run.text = text.data();
    const int result = run.run();
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
    BlockRun run(rsaKey.get(), usePublicKey, false, blocks, control);
    run.cipher = data;
    run.lengths = lengths.data();
    const int result = run.run();
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
