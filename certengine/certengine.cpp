#include "certengine/certengine.h"

#include "app/logfile.h"
#include "app/workingfolder.h"
#include "certengine/outputfileset.h"
#include "crypto/keyfilereader.h"
#include "history/historystore.h"

#include <QDir>
#include <QFile>

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/rsa.h>

#include <functional>

namespace {

constexpr int kKeyBits = 2048;
constexpr unsigned long kPublicExponent = 65537;
constexpr int kPkcs12Iterations = 2048;
constexpr char kFriendlyName[] = "Zorvik Certificate";

using BignumPtr = std::unique_ptr<BIGNUM, crypto::Deleter<&BN_free>>;

// The root certificate's name, relative to the working folder and to the program's own folder.
const QString kRootCertificateName = QStringLiteral("cert/RootCA_ZX.cer");

// Paths travel with "/" inside the program. The log shows them as the merchant's system writes them; on Windows
// with every separator doubled ("fielPath:C:\\certs\\cert.p12"), as the log has always shown them.
QByteArray shownInLog(const QString& path)
{
    QByteArray shown = QDir::toNativeSeparators(path).toUtf8();
    return QDir::separator() == QLatin1Char('\\') ? shown.replace("\\", "\\\\") : shown;
}

// Where the root certificate is looked for, in this order: the merchant's own in the working folder, then the
// one installed with the program (where the installation put one).
QStringList rootCertificateCandidates()
{
    QStringList paths{QDir::current().absoluteFilePath(kRootCertificateName)};
    const QString folder = WorkingFolder::applicationFolder();
    const QString shipped = QDir(folder).absoluteFilePath(kRootCertificateName);
    if (!folder.isEmpty() && QDir::cleanPath(shipped) != QDir::cleanPath(paths.first()))
        paths.append(shipped);
    return paths;
}

// A certificate in PEM or DER form: Windows exports a .cer as DER by default.
crypto::X509Ptr certificateFrom(const QByteArray& content)
{
    crypto::BioPtr bio = crypto::readBio(content);
    crypto::X509Ptr certificate(bio ? PEM_read_bio_X509(bio.get(), nullptr, crypto::refusePassphrase, nullptr)
                                    : nullptr);
    if (certificate)
        return certificate;
    const auto* der = reinterpret_cast<const unsigned char*>(content.constData());
    certificate.reset(d2i_X509(nullptr, &der, content.size()));
    // Trailing bytes after the DER structure are no certificate file.
    if (der != reinterpret_cast<const unsigned char*>(content.constData()) + content.size())
        certificate.reset();
    return certificate;
}

// One of the three files that packaging writes, with the codes of its failures.
struct OutputFile
{
    QByteArray path;
    // The key file, and the PKCS#12 file, whose password can be guessed offline, are the owner's alone.
    bool ownerOnly;
    int openFailure;
    int writeFailure;
    std::function<int(BIO*)> writeContent; // fills a memory BIO and returns 1
};

} // namespace

CertEngine::CertEngine()
{
    crypto::ensureProviders();
}

CertEngine::~CertEngine() = default;

CertEngine* CertEngine::instance()
{
    static CertEngine engine;
    return &engine;
}

void CertEngine::reset()
{
    key.reset();
    rootCa.reset();
    rootCaPath.clear();
    spName.clear();
    spNo.clear();
}

void CertEngine::setMerchant(const QByteArray& merchantNo, const QByteArray& merchantName)
{
    spNo = merchantNo;
    spName = merchantName;
}

void CertEngine::logCryptoError() const
{
    // An empty queue gives code 0, whose text is logged all the same.
    crypto::logLibraryError("error. ");
}

int CertEngine::generateKeyPair()
{
    ERR_clear_error();
    crypto::PkeyCtxPtr context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    BignumPtr exponent(BN_new());
    if (!context || !exponent || BN_set_word(exponent.get(), kPublicExponent) != 1 ||
        EVP_PKEY_keygen_init(context.get()) <= 0 || EVP_PKEY_CTX_set_rsa_keygen_bits(context.get(), kKeyBits) <= 0 ||
        EVP_PKEY_CTX_set1_rsa_keygen_pubexp(context.get(), exponent.get()) <= 0) {
        logCryptoError();
        return KeyGeneratorUnavailable;
    }
    EVP_PKEY* generated = nullptr;
    if (EVP_PKEY_generate(context.get(), &generated) <= 0) {
        EVP_PKEY_free(generated);
        logCryptoError();
        return KeyGenerationFailed;
    }
    key.reset(generated);
    return 0;
}

int CertEngine::loadKey(const QByteArray& path, KeyFileKind kind, QByteArray password)
{
    const crypto::ScopedCleanse forgetPassword(password);
    ERR_clear_error();
    crypto::KeyFileReader file;
    if (!file.read(QString::fromUtf8(path.constData(), path.size()))) {
        LogFile::instance()->write("error. %s", file.errorText().constData());
        return KeyFileNotOpened;
    }
    // From here on the previous key is gone, whatever the file holds.
    key.reset();
    switch (kind) {
    case KeyFilePkcs12: {
        crypto::X509Ptr certificate;
        switch (file.readPkcs12(password, key, certificate)) {
        case crypto::KeyFileReader::Pkcs12Opened:
            return 0;
        case crypto::KeyFileReader::NotPkcs12:
            logCryptoError();
            return NotPkcs12;
        case crypto::KeyFileReader::Pkcs12WorkBeyondLimit:
            LogFile::instance()->write("error. %s", crypto::KeyFileReader::kBeyondLimitText);
            return Pkcs12WorkBeyondLimit;
        case crypto::KeyFileReader::Pkcs12NotOpened:
            break;
        }
        logCryptoError();
        return Pkcs12NotOpened;
    }
    case KeyFilePem:
        key = file.pemPrivateKey();
        if (!key) {
            logCryptoError();
            return NoPemPrivateKey;
        }
        return 0;
    default:
        // A certificate holds no private key; the caller finds the engine without one.
        return 0;
    }
}

int CertEngine::makeRequest(QByteArray& csr)
{
    ERR_clear_error();
    if (!key)
        return NoKeyForRequest;

    crypto::X509ReqPtr request(X509_REQ_new());
    crypto::X509NamePtr subject(X509_NAME_new());
    if (!request || !subject || X509_REQ_set_version(request.get(), 0) != 1 ||
        X509_REQ_set_pubkey(request.get(), key.get()) != 1) {
        logCryptoError();
        return RequestNotBuilt;
    }

    struct Entry
    {
        const char* field;
        QByteArray value;
    };
    const Entry entries[] = {
        {"C", QByteArrayLiteral("CN")},
        {"ST", QByteArrayLiteral("GuangDong")},
        {"L", QByteArrayLiteral("ShenZhen")},
        {"O", QByteArrayLiteral("Zorvik商户系统")},
        {"OU", spName},
        {"CN", spNo},
    };
    for (const Entry& entry : entries) {
        if (entry.value.isEmpty())
            continue;
        // The library refuses values over the field's upper bound (64 characters for OU and CN); a request
        // without the merchant's number or name would be useless, so that is a failure.
        if (X509_NAME_add_entry_by_txt(subject.get(), entry.field, MBSTRING_UTF8,
                                       reinterpret_cast<const unsigned char*>(entry.value.constData()), -1, -1,
                                       0) != 1) {
            logCryptoError();
            return SubjectEntryRefused;
        }
    }

    if (X509_REQ_set_subject_name(request.get(), subject.get()) != 1 ||
        X509_REQ_sign(request.get(), key.get(), EVP_sha256()) <= 0) {
        logCryptoError();
        return RequestNotBuilt;
    }

    const QByteArray text =
        crypto::writtenToMemory([&request](BIO* bio) { return PEM_write_bio_X509_REQ(bio, request.get()); });
    if (text.isEmpty()) {
        logCryptoError();
        return RequestTextNotWritten;
    }
    csr = text;
    return 0;
}

int CertEngine::generateRequest(QByteArray& csr, const QByteArray& keyPath, KeyFileKind kind, QByteArray password,
                                int* historyCode)
{
    const crypto::ScopedCleanse forgetPassword(password);
    if (!keyPath.isEmpty())
        return generateRequest(csr, *this, loadKey(keyPath, kind, password), historyCode);
    const int code = generateKeyPair();
    if (code != 0) {
        LogFile::instance()->write("生成公私钥错误，%d", code);
        return code;
    }
    return requestForHeldKey(csr, historyCode);
}

int CertEngine::generateRequest(QByteArray& csr, CertEngine& loaded, int loadCode, int* historyCode)
{
    if (&loaded != this)
        key = std::move(loaded.key);
    if (loadCode != 0) {
        LogFile::instance()->write("获取公私钥错误，%d", loadCode);
        return loadCode;
    }
    return requestForHeldKey(csr, historyCode);
}

int CertEngine::requestForHeldKey(QByteArray& csr, int* historyCode)
{
    QByteArray text;
    const int code = key ? makeRequest(text) : NoKeyForRequest;
    if (code != 0) {
        LogFile::instance()->write("生成证书请求串错误，%d", code);
        return code;
    }
    csr = text;

    const int saved = HistoryStore::save(spNo, spName, key.get(), csr);
    if (saved != 0)
        LogFile::instance()->write("保存历史操作失败，%d", saved);
    if (historyCode)
        *historyCode = saved;
    return 0;
}

int CertEngine::parseCertificate(const QByteArray& certText, X509** cert) const
{
    ERR_clear_error();
    if (cert)
        *cert = nullptr;
    if (certText.isEmpty())
        return CertificateTextEmpty;
    // The text is taken as pasted; the reader skips whatever stands around the PEM block.
    crypto::BioPtr bio = crypto::readBio(certText);
    crypto::X509Ptr parsed(bio ? PEM_read_bio_X509(bio.get(), nullptr, crypto::refusePassphrase, nullptr) : nullptr);
    if (!parsed)
        return NoPemCertificate;
    if (cert)
        *cert = parsed.release();
    return 0;
}

int CertEngine::verifyCertificate(X509* cert, bool checkKey)
{
    ERR_clear_error();
    if (!cert)
        return NoCertificate;
    if (checkKey) {
        if (!key)
            return NoKeyToCheck;
        if (X509_check_private_key(cert, key.get()) != 1)
            return CertificateOfAnotherKey;
    }
    // Read at the first verification and kept; a failed read leaves it unset, so the next attempt retries.
    if (!rootCa) {
        const int code = loadRootCertificate();
        if (code != 0)
            return code;
    }
    // Only the signature counts: dates, issuer name and key usage are not examined.
    EVP_PKEY* rootKey = X509_get0_pubkey(rootCa.get());
    if (!rootKey || X509_verify(cert, rootKey) != 1) {
        LogFile::instance()->write("error. the certificate is not signed by the root certificate %s",
                                   shownInLog(rootCaPath).constData());
        return NotSignedByRoot;
    }
    return 0;
}

int CertEngine::loadRootCertificate()
{
    const QStringList candidates = rootCertificateCandidates();
    QStringList notOpened;
    for (const QString& path : candidates) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            notOpened.append(file.errorString());
            continue;
        }
        // The first file found counts, even when it is unreadable: the merchant's own is never passed over.
        rootCaPath = path;
        rootCa = certificateFrom(file.readAll());
        if (!rootCa) {
            LogFile::instance()->write("error. root certificate %s holds no PEM or DER certificate",
                                       shownInLog(path).constData());
            return RootCertificateUnreadable;
        }
        return 0;
    }
    for (int index = 0; index < candidates.size(); ++index)
        LogFile::instance()->write("error. root certificate %s not opened: %s",
                                   shownInLog(candidates.at(index)).constData(),
                                   notOpened.at(index).toUtf8().constData());
    // Where the merchant's own belongs.
    rootCaPath = candidates.first();
    return RootCertificateNotOpened;
}

QString CertEngine::rootCertificatePath() const
{
    return rootCaPath.isEmpty() ? rootCertificateCandidates().first() : rootCaPath;
}

int CertEngine::exportPkcs12(const QByteArray& certText, QByteArray password, const QByteArray& targetPath)
{
    const crypto::ScopedCleanse forgetPassword(password);
    ERR_clear_error();
    if (certText.isEmpty() || targetPath.isEmpty())
        return ExportInputEmpty;

    // The names of cert.pem and cert_key.pem come from the file name alone, so a directory named like
    // "certs.p12" or "x.pem" stays what it is.
    const int separator = targetPath.lastIndexOf('/');
    const QByteArray directory = targetPath.left(separator + 1);
    const QByteArray fileName = targetPath.mid(separator + 1);
    if (!fileName.contains(".p12"))
        return TargetNameWithoutP12;
    const QByteArray pemName = QByteArray(fileName).replace(".p12", ".pem");
    const QByteArray certPemPath = directory + pemName;
    const QByteArray keyPemPath = directory + QByteArray(pemName).replace(".pem", "_key.pem");

    X509* parsed = nullptr;
    int code = parseCertificate(certText, &parsed);
    crypto::X509Ptr cert(parsed);
    if (code != 0) {
        logCryptoError();
        return code;
    }
    code = verifyCertificate(cert.get(), true);
    if (code != 0)
        return code;

    // Triple-DES for key and certificate bags and a SHA-1 MAC: what every PKCS#12 reader opens, old or new.
    crypto::Pkcs12Ptr pkcs12(PKCS12_create(password.constData(), kFriendlyName, key.get(), cert.get(), nullptr,
                                           NID_pbe_WithSHA1And3_Key_TripleDES_CBC,
                                           NID_pbe_WithSHA1And3_Key_TripleDES_CBC, kPkcs12Iterations, -1, 0));
    if (!pkcs12 ||
        PKCS12_set_mac(pkcs12.get(), password.constData(), -1, nullptr, 0, kPkcs12Iterations, EVP_sha1()) != 1) {
        logCryptoError();
        return Pkcs12NotBuilt;
    }

    enum { Pkcs12, CertPem, KeyPem };
    const OutputFile outputs[] = {
        {targetPath, true, Pkcs12FileNotOpened, Pkcs12FileNotWritten,
         [&](BIO* bio) { return i2d_PKCS12_bio(bio, pkcs12.get()); }},
        {certPemPath, false, CertPemNotOpened, CertPemNotWritten,
         [&](BIO* bio) { return PEM_write_bio_X509(bio, cert.get()); }},
        {keyPemPath, true, KeyPemNotOpened, KeyPemNotWritten,
         [&](BIO* bio) { return PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr); }},
    };
    // The three files replace the old ones together or not at all: a new cert.p12 beside the old cert_key.pem
    // would be a set whose key does not match its certificate.
    OutputFileSet files;
    for (const OutputFile& output : outputs) {
        LogFile::instance()->write("fielPath:%s", shownInLog(QString::fromUtf8(output.path)).constData());
        files.add(QString::fromUtf8(output.path), output.ownerOnly);
    }
    if (!files.open()) {
        LogFile::instance()->write("error. %s", files.errorString().toUtf8().constData());
        return outputs[files.failedFile()].openFailure;
    }
    // The certificate and the key before the PKCS#12 file that holds both.
    for (const int index : {CertPem, KeyPem, Pkcs12}) {
        QByteArray content = crypto::writtenToMemory(outputs[index].writeContent);
        const crypto::ScopedCleanse forgetContent(content); // the private key, in the clear or under the password
        if (content.isEmpty()) {
            logCryptoError();
            return outputs[index].writeFailure;
        }
        if (!files.write(index, content)) {
            LogFile::instance()->write("error. %s", files.errorString().toUtf8().constData());
            return outputs[index].writeFailure;
        }
    }
    if (!files.commit()) {
        LogFile::instance()->write("error. %s", files.errorString().toUtf8().constData());
        const OutputFile& failed = outputs[files.failedFile()];
        return files.refused() ? failed.openFailure : failed.writeFailure;
    }
    return 0;
}

QStringList CertEngine::listHistory(int* code) const
{
    return HistoryStore::list(code);
}

int CertEngine::restoreHistory(const QString& name, QString& merchantNo, QString& merchantName, QString& csr)
{
    ERR_clear_error();
    HistoryStore::Record record = HistoryStore::restore(name);
    if (record.code != 0)
        return record.code;
    key = std::move(record.key);
    merchantNo = record.spNo;
    merchantName = record.spName;
    csr = record.csr;
    spNo = merchantNo.toUtf8();
    spName = merchantName.toUtf8();
    return 0;
}

void CertEngine::clearHistory()
{
    HistoryStore::clear();
}
