#include "testpki.h"

#include "crypto/cryptosupport.h"
#include "opensslcommand.h"

#include <QDir>
#include <QTest>

#include <openssl/pem.h>

#include <memory>

namespace pki {

namespace {

void run(const QString& command)
{
    openssl(command.split(' '));
}

void write(const QString& name, const QByteArray& content)
{
    if (content.isEmpty() || !writeFile(name, content))
        QTest::qFail(qPrintable("cannot write " + name), __FILE__, __LINE__);
}

template <typename T> using Owned = std::unique_ptr<T, void (*)(T*)>;

} // namespace

void makeCa(const QString& name)
{
    const QString cert = name == QLatin1String("ca") ? QString(kRoot) : name + ".pem";
    openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key", "-out", cert, "-utf8", "-subj",
             "/C=CN/O=Zorvik商户系统/CN=Zorvik Test Root " + name, "-days", "30"});
}

void make()
{
    if (!QDir().mkpath(QStringLiteral("cert")))
        QTest::qFail("cannot make the directory cert", __FILE__, __LINE__);
    makeCa(QStringLiteral("ca"));
    // The certificates the root issues are of version 3, as a platform's are.
    write(QStringLiteral("v3.cnf"), "basicConstraints=CA:FALSE\nsubjectKeyIdentifier=hash\n");
    run(QStringLiteral("genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out key.pem"));
    run(QStringLiteral("genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out other.pem"));
    run(QStringLiteral("pkey -in key.pem -pubout -out pub.pem"));
    write(QStringLiteral("cert.pem"),
          issue(openssl({"req", "-new", "-key", "key.pem", "-utf8", "-subj", QString::fromUtf8(kSubject)})));
    run(QStringLiteral("x509 -in cert.pem -outform DER -out cert.cer"));
    run("pkcs12 -export -inkey key.pem -in cert.pem -passout pass:" + QString::fromLatin1(kP12Password) +
        " -out cert.p12");
    write(QStringLiteral("hidden_pbes1.p12"), keyBagInEncryptedPart(NID_pbe_WithSHA1And3_Key_TripleDES_CBC));
    write(QStringLiteral("hidden_pbes2.p12"), keyBagInEncryptedPart(NID_aes_256_cbc));
}

QByteArray issue(const QByteArray& csr, const QString& ca)
{
    static int serial = 1;
    return openssl({"x509", "-req", "-CA", ca == QLatin1String("ca") ? QString(kRoot) : ca + ".pem", "-CAkey",
                    ca + ".key", "-set_serial", QString::number(serial++), "-days", "30", "-extfile", "v3.cnf"},
                   csr);
}

QByteArray issueFor(const QString& keyFile, const QString& ca)
{
    return issue(openssl({"req", "-new", "-key", keyFile, "-subj", "/CN=test"}), ca);
}

QByteArray keyBagInEncryptedPart(int keyPbe)
{
    const QByteArray keyText = readFile(QStringLiteral("key.pem"));
    const QByteArray certText = readFile(QStringLiteral("cert.pem"));
    crypto::PkeyPtr key(PEM_read_bio_PrivateKey(crypto::readBio(keyText).get(), nullptr, nullptr, nullptr));
    crypto::X509Ptr cert(PEM_read_bio_X509(crypto::readBio(certText).get(), nullptr, nullptr, nullptr));
    Owned<PKCS8_PRIV_KEY_INFO> keyInfo(key ? EVP_PKEY2PKCS8(key.get()) : nullptr, PKCS8_PRIV_KEY_INFO_free);
    // Made with 65,536 iterations, which its DER then raises without anything derived.
    Owned<PKCS12_SAFEBAG> made(
        keyInfo ? PKCS12_SAFEBAG_create_pkcs8_encrypt(keyPbe, kP12Password, -1, nullptr, 0, 65536, keyInfo.get())
                : nullptr,
        PKCS12_SAFEBAG_free);
    QByteArray der(made ? i2d_PKCS12_SAFEBAG(made.get(), nullptr) : 0, '\0');
    auto* out = reinterpret_cast<unsigned char*>(der.data());
    if (!cert || der.isEmpty() || i2d_PKCS12_SAFEBAG(made.get(), &out) != der.size())
        return QByteArray();
    const QByteArray raised = raiseIterationCounts(der);
    const auto* in = reinterpret_cast<const unsigned char*>(raised.constData());
    PKCS12_SAFEBAG* keyBag = raised != der ? d2i_PKCS12_SAFEBAG(nullptr, &in, raised.size()) : nullptr;

    STACK_OF(PKCS12_SAFEBAG)* bags = nullptr;
    STACK_OF(PKCS7)* parts = nullptr;
    QByteArray result;
    if (keyBag && PKCS12_add_cert(&bags, cert.get()) && sk_PKCS12_SAFEBAG_push(bags, keyBag) > 0) {
        keyBag = nullptr;
        Owned<PKCS12> pkcs12(PKCS12_add_safe(&parts, bags, NID_pbe_WithSHA1And3_Key_TripleDES_CBC, 2048, kP12Password)
                                 ? PKCS12_add_safes(parts, 0)
                                 : nullptr,
                             PKCS12_free);
        if (pkcs12 && PKCS12_set_mac(pkcs12.get(), kP12Password, -1, nullptr, 0, 2048, nullptr) == 1)
            result = crypto::writtenToMemory([&pkcs12](BIO* bio) { return i2d_PKCS12_bio(bio, pkcs12.get()); });
    }
    PKCS12_SAFEBAG_free(keyBag);
    sk_PKCS12_SAFEBAG_pop_free(bags, PKCS12_SAFEBAG_free);
    sk_PKCS7_pop_free(parts, PKCS7_free);
    return result;
}

} // namespace pki
