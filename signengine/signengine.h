#ifndef SIGNENGINE_SIGNENGINE_H
#define SIGNENGINE_SIGNENGINE_H

#include "crypto/cryptosupport.h"
#include "crypto/keyfilekind.h"

#include <QByteArray>

#include <atomic>
#include <functional>

namespace crypto {
class KeyFileReader;
}

// One local key or certificate file, and what can be done with its RSA key: SHA-256 signatures, PKCS#1 v1.5
// encryption in blocks with either half of the key, and the certificate's printed text. Every tool dialog owns
// its own engine. Every operation returns 0 or one of the codes of Code; library failures marked "logged" also
// write "cert sign util error. <library error text>" to the log.
//
// A failed load drops the certificate (or keeps the failed file's, when its key was the fault) and hasPrivateKey,
// but leaves the previous file's key in place, which verifyText and a public-key cryptText would go on using: a
// caller that must not use it loads into an engine of its own and keeps that one (as the tool windows do), or
// treats the engine as empty after a failed load.
//
// cryptText shares the RSA blocks of a long text among threads, one per core (each with its own library context
// over the loaded key, which none of them changes); the result is the same as on one thread. Everything else,
// loading included, runs on the calling thread. An engine serves one caller at a time: the key must not be
// replaced (loadKeyFile, assignment) while an operation of the engine runs.
//
// Sizes follow the key: a signature and a block have the key's size (256 bytes for a 2048-bit key, whose
// signature text is 344 characters), a plaintext chunk is 11 bytes less (245 for 2048 bits).
class SignEngine
{
public:
    enum Code : int {
        // loadKeyFile
        KeyFileNotOpened = 20001,      // the file cannot be opened (logged)
        NoCertificateInFile = 20002,   // no certificate can be read from the file: DER for KeyFileCertificate, PEM
                                       // for KeyFilePem (logged)
        UnknownFileKind = 20003,       // fileKind is none of the KeyFileKind values
        NoPemKey = 20005,              // internal, KeyFilePem: no usable private or public key (logged; never
                                       // returned: the file is then read as a certificate)
        PemKeyNotRsa = 20006,          // internal, KeyFilePem: the key is not RSA (never returned, as above)
        CertificateWithoutKey = 20011, // the certificate carries no usable public key
        CertificateKeyNotRsa = 20012,  // the certificate's public key is not RSA (logged)
        NotPkcs12 = 20052,             // the file is no DER PKCS#12 structure (logged)
        Pkcs12NotOpened = 20061,       // the PKCS#12 file does not open with the password, or is damaged (logged)
        Pkcs12WithoutRsaKey = 20062,   // the PKCS#12 file holds no RSA private key (logged)
        Pkcs12WorkBeyondLimit = 20063, // the PKCS#12 file asks for more key derivation iterations than any sound
                                       // file does, so that opening it would hold the program for minutes (logged)
        // signText
        NoPrivateKeyToSign = 20100,  // no private key loaded
        SigningFailed = 20101,       // no key loaded, or the signature operation failed (logged when it failed)
        SignatureNotEncoded = 20102, // the signature cannot be Base64-encoded
        // verifyText; a signature that does not match is no error: 0 with match false, reason logged
        NoKeyToVerify = 20210,      // no key loaded
        SignatureNotBase64 = 20211, // the signature text is no valid Base64, or decodes to more bytes than a
                                    // signature of the key has
        // cryptText
        RsaBlockFailed = 20301,       // an RSA block operation failed, or the ciphertext is no whole number of
                                      // key-sized blocks (logged)
        NoKeyToCrypt = 20310,         // no key loaded
        NoPrivateKeyToCrypt = 20311,  // a private-key operation asked for, no private key loaded
        CipherTextNotBase64 = 20313,  // the text to decrypt is no valid Base64
        CipherTextNotEncoded = 20315, // the ciphertext cannot be Base64-encoded (an empty text to encrypt)
        TextTooLarge = 20316,         // the text to encrypt is too large: its ciphertext's Base64 text would
                                      // exceed what a QByteArray holds (about 1.5 GB of input)
        Cancelled = 20317,            // the caller cancelled through its CryptControl before the operation ended
        // certificateText
        NoCertificateLoaded = 20330,  // no certificate loaded
        CertificateTextEmpty = 20331, // the certificate printed as empty text
        NoMemoryForText = 20332,      // no memory for the text: no memory BIO could be made, or a QByteArray
                                      // could not grow (its std::bad_alloc is caught)
    };

    SignEngine();
    ~SignEngine();
    SignEngine(const SignEngine&) = delete;
    SignEngine& operator=(const SignEngine&) = delete;
    // Takes over what another engine loaded, so a file can be loaded aside and the result kept or dropped whole.
    SignEngine(SignEngine&&) noexcept = default;
    SignEngine& operator=(SignEngine&&) noexcept = default;

    // What a caller may give cryptText besides the text, all of it optional: how many threads may share the
    // blocks, a flag that stops the work, and counters of how far it is. The flag and the counters may be set
    // and read from any thread while the operation runs; one object serves one operation.
    struct CryptControl
    {
        // Threads that share the blocks, the calling one included; 0 is one per core. A text of few blocks stays
        // on the calling thread whatever this says.
        int threads = 0;
        // Set from any thread: the operation stops after the blocks under way and returns Cancelled, leaving its
        // output untouched.
        std::atomic<bool> cancelled{false};
        // Written by the operation: the blocks of the text (known once a text to decrypt is decoded) and those
        // done so far.
        std::atomic<qint64> blocksTotal{0};
        std::atomic<qint64> blocksDone{0};
        // Called from a working thread each time the share of the blocks done passes another hundredth, with
        // that share in hundredths; may be empty. Set before the operation starts.
        std::function<void(int percent)> progressed;
    };

    KeyFileKind fileKind = KeyFilePkcs12; // the kind of file that the next loadKeyFile reads
    bool hasPrivateKey = false;
    // False only when a PEM file was loaded as a bare key.
    bool hasCertificate = true;

    // path and password are UTF-8; the password is empty when there is none. Doubled backslashes in the path
    // count as one "/". A password that the engine alone holds (a temporary the caller hands over) is overwritten
    // when it is done.
    int loadKeyFile(const QByteArray& path, QByteArray password);

    // RSASSA-PKCS1-v1_5 with SHA-256 over the bytes of text, as Base64 without line breaks.
    int signText(const QByteArray& text, QByteArray& signature) const;
    int verifyText(const QByteArray& signature, const QByteArray& text, bool& match) const;

    // Encrypts input in chunks of (key size - 11) bytes into one Base64 text, or decrypts such a text; either
    // half of the key in either direction. control, when given, limits the threads, follows the progress and
    // cancels; without it the operation uses every core and runs to its end.
    int cryptText(bool usePublicKey, bool encrypt, const QByteArray& input, QByteArray& output,
                  CryptControl* control = nullptr) const;

    // The certificate as the library prints it, with names as UTF-8.
    int certificateText(QByteArray& text) const;

private:
    int readPkcs12(const crypto::KeyFileReader& file, const QByteArray& password);
    int readPemKey(const crypto::KeyFileReader& file);
    int readCertificate(const crypto::KeyFileReader& file, bool pem);
    int publicKeyFromCertificate();
    int signDigest(const QByteArray& text, unsigned char* signature, size_t size) const;
    int verifyDigest(const unsigned char* signature, size_t size, const QByteArray& text, bool& match) const;
    int encryptText(bool usePublicKey, const QByteArray& input, QByteArray& output, CryptControl& control) const;
    int decryptText(bool usePublicKey, const QByteArray& input, QByteArray& output, CryptControl& control) const;

    static void logCryptoError(const char* fallback);
    static void logError(const char* text);

    crypto::PkeyPtr rsaKey;
    crypto::X509Ptr x509Cert;
};

#endif // SIGNENGINE_SIGNENGINE_H
