#ifndef CERTENGINE_CERTENGINE_H
#define CERTENGINE_CERTENGINE_H

#include "crypto/cryptosupport.h"
#include "crypto/keyfilekind.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <openssl/x509.h>

// The process-wide engine of the certificate flows: it holds the merchant data and the key pair while the
// merchant moves between the wizard pages, makes the certificate request, checks the issued certificate
// against the held key and the platform's root certificate, and packages key and certificate into files.
// Text crosses the interface as UTF-8 byte strings. Every operation returns 0 on success or one of the codes of
// Code; restoreHistory those of HistoryStore. generateRequest passes on the codes of the steps it runs;
// exportPkcs12 those of parseCertificate and verifyCertificate. Library failures are written to the log as
// "error. <text>".
//
// exportPkcs12 checks all three names before it writes anything: 10103, 10105 and 10107 cover a directory, or a
// file that nobody may write, in that file's place (10103 also a directory in which no file can be created), and a
// refusal when the old file is replaced (no permission: another user's file in a shared folder, a folder turned
// read-only). 10104, 10106 and 10108 cover the content and its way to the disk (a full disk, a file-size limit, a
// failing device). After any of them none of the three files in the directory has changed, unless the directory
// stopped accepting changes while the files were being replaced: then the set is mixed, the log names which file
// is new and where each old one waits ("cert.pem.old-XXXXXX"), and the next export into the directory that
// succeeds removes such leftovers (see OutputFileSet).
class CertEngine
{
public:
    enum Code : int {
        // generateKeyPair
        KeyGeneratorUnavailable = 10001, // the key generator could not be set up (context, size or public exponent)
        KeyGenerationFailed = 10002,     // RSA key generation failed
        // generateRequest, makeRequest
        NoKeyForRequest = 10003, // no key is held (after loadKey with KeyFileCertificate, or after a failed load)
        // makeRequest
        RequestNotBuilt = 10004,       // the request could not be built or signed
        RequestTextNotWritten = 10005, // the PEM writer produced no text
        RequestTextNoMemory = 10006,   // kept for compatibility, not produced: a QByteArray that cannot grow throws
                                       // std::bad_alloc, which this engine does not catch (its texts are a few
                                       // kilobytes)
        SubjectEntryRefused = 10007,   // the library refused a subject entry (a merchant number or name over 64
                                       // characters); no request is made without the merchant's data
        // loadKey
        KeyFileNotOpened = 10010,      // the key file cannot be opened
        NotPkcs12 = 10011,             // the file is not a DER PKCS#12 structure
        Pkcs12NotOpened = 10012,       // the PKCS#12 file cannot be opened with the password
        NoPemPrivateKey = 10013,       // the PEM file holds no readable private key (an encrypted one included: the
                                       // engine never asks for a pass phrase)
        Pkcs12WorkBeyondLimit = 10014, // the PKCS#12 file asks for more key derivation iterations than any sound
                                       // file does, so that opening it would hold the program for minutes
        // verifyCertificate
        NoCertificate = 10024,             // no certificate was given
        NoKeyToCheck = 10025,              // the key is to be checked but no key is held
        CertificateOfAnotherKey = 10026,   // the certificate's public key does not match the held key
        RootCertificateNotOpened = 10027,  // no root certificate file can be opened (see rootCertificatePath)
        RootCertificateUnreadable = 10028, // the root certificate file holds no PEM or DER certificate
        NotSignedByRoot = 10029,           // the certificate's signature is not valid under the root certificate's key
        // exportPkcs12
        ExportInputEmpty = 10100,     // certificate text or target path empty
        TargetNameWithoutP12 = 10101, // the target file name holds no ".p12", so the three output names coincide
        Pkcs12NotBuilt = 10102,       // the PKCS#12 structure cannot be built
        Pkcs12FileNotOpened = 10103,  // the .p12 file may not be written or replaced
        Pkcs12FileNotWritten = 10104, // the .p12 file cannot be written
        CertPemNotOpened = 10105,     // the certificate .pem file may not be written or replaced
        CertPemNotWritten = 10106,    // the certificate .pem file cannot be written
        KeyPemNotOpened = 10107,      // the key _key.pem file may not be written or replaced
        KeyPemNotWritten = 10108,     // the key _key.pem file cannot be written
        // parseCertificate
        CertificateTextEmpty = 10150, // the certificate text is empty
        NoPemCertificate = 10151,     // the text holds no readable PEM certificate
    };

    static CertEngine* instance();
    // An engine apart from instance(), into which a key file is loaded off the GUI thread, so that a load that is
    // cancelled and ends later touches nothing of the process-wide engine; the generateRequest that takes a
    // loaded engine hands its key over.
    CertEngine();
    ~CertEngine();

    // Forgets key, merchant data and the cached root certificate; lastPath stays.
    void reset();
    void setMerchant(const QByteArray& spNo, const QByteArray& spName);
    // Writes the earliest queued library error (or the library's text for "no error") to the log.
    void logCryptoError() const;

    int generateKeyPair();
    // A password that the engine alone holds (a temporary the caller hands over) is overwritten when it is done.
    int loadKey(const QByteArray& path, KeyFileKind kind, QByteArray password);
    int makeRequest(QByteArray& csr);
    // Loads the key from keyPath (or generates a new one when keyPath is empty), makes the request and
    // records it in the history. csr is written only on success, and so is historyCode: the code of the
    // history save (0 when kept), whose failure does not fail the request.
    int generateRequest(QByteArray& csr, const QByteArray& keyPath, KeyFileKind kind, QByteArray password,
                        int* historyCode = nullptr);
    // The same for a key file that was loaded beforehand into the engine loaded (loadKey returned loadCode):
    // its key, none after a failed load, becomes this engine's.
    int generateRequest(QByteArray& csr, CertEngine& loaded, int loadCode, int* historyCode = nullptr);

    // On success *cert receives a certificate that the caller frees with X509_free; otherwise it is null.
    int parseCertificate(const QByteArray& certText, X509** cert) const;
    // The root certificate is cert/RootCA_ZX.cer in the working folder, the merchant's own, or else the one
    // installed in cert/ beside the program; read at the first verification and kept until reset. Its failures
    // (10027-10029) are logged with the path and the reason.
    int verifyCertificate(X509* cert, bool checkKey);
    // The root certificate file read, or the one that failed; before any, where the merchant's own belongs.
    QString rootCertificatePath() const;
    // Writes cert.p12 at targetPath and cert.pem and cert_key.pem beside it (names derived from its file name),
    // replacing the files of these names together or not at all; a symbolic link of such a name is replaced itself,
    // never what it points to. The two files with the private key, cert.p12 and cert_key.pem, are readable by their
    // owner only from the moment they are created.
    int exportPkcs12(const QByteArray& certText, QByteArray password, const QByteArray& targetPath);

    // code, when given, receives 0 or the history store's refusal of its directory (the list is then empty).
    QStringList listHistory(int* code = nullptr) const;
    // On success the record's key and merchant data replace the engine's, and the outputs are the record's; on
    // failure nothing changes.
    int restoreHistory(const QString& name, QString& spNo, QString& spName, QString& csr);
    void clearHistory();

    // The last file or directory chosen in any file dialog of the program; the engine never reads it.
    QString lastPath;

private:
    // Makes the request for the held key and records it in the history.
    int requestForHeldKey(QByteArray& csr, int* historyCode);

    CertEngine(const CertEngine&) = delete;
    CertEngine& operator=(const CertEngine&) = delete;

    QByteArray spNo;
    QByteArray spName;
    crypto::PkeyPtr key;
    crypto::X509Ptr rootCa;
    QString rootCaPath;

    int loadRootCertificate();
};

#endif // CERTENGINE_CERTENGINE_H
