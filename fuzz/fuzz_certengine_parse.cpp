// CertEngine::parseCertificate on arbitrary pasted text, and verifyCertificate of whatever it accepts, with and
// without the check against the held key. The root certificate lies in the working directory, as installed.
#include "certengine/certengine.h"
#include "fuzzsupport.h"

#include <QDir>
#include <QFile>

#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

namespace {

// A self-signed root certificate for the key, in PEM.
QByteArray makeRoot(EVP_PKEY* key)
{
    crypto::X509Ptr root(X509_new());
    X509_NAME* name = X509_get_subject_name(root.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("fuzz root"), -1, -1,
                               0);
    fuzzing::require(X509_set_version(root.get(), 2) == 1 && X509_set_issuer_name(root.get(), name) == 1 &&
                         X509_gmtime_adj(X509_getm_notBefore(root.get()), 0) &&
                         X509_gmtime_adj(X509_getm_notAfter(root.get()), 86400) &&
                         X509_set_pubkey(root.get(), key) == 1 && X509_sign(root.get(), key, EVP_sha256()) > 0,
                     "making the root certificate");
    crypto::BioPtr bio = crypto::writeBio();
    fuzzing::require(PEM_write_bio_X509(bio.get(), root.get()) == 1, "writing the root certificate");
    return crypto::bioContents(bio.get());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzing::start(argc, argv);
    crypto::PkeyPtr rootKey(EVP_RSA_gen(2048));
    fuzzing::require(rootKey != nullptr, "a root key");
    QDir().mkdir(QStringLiteral("cert"));
    QFile root(QStringLiteral("cert/RootCA_ZX.cer"));
    const QByteArray pem = makeRoot(rootKey.get());
    fuzzing::require(root.open(QIODevice::WriteOnly) && root.write(pem) == pem.size(), "installing the root");
    root.close();
    fuzzing::require(CertEngine::instance()->generateKeyPair() == 0, "the held key pair");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CertEngine* engine = CertEngine::instance();
    X509* parsed = nullptr;
    const int code = engine->parseCertificate(QByteArray(reinterpret_cast<const char*>(data), int(size)), &parsed);
    crypto::X509Ptr certificate(parsed);
    fuzzing::require((code == 0) == (certificate != nullptr), "a certificate exactly on success");
    if (certificate) {
        engine->verifyCertificate(certificate.get(), true);
        engine->verifyCertificate(certificate.get(), false);
    }
    return 0;
}
