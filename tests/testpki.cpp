#include "testpki.h"

#include "crypto/cryptosupport.h"
#include "opensslcommand.h"

#include <QDir>
#include <QTest>

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
    run("pkcs12 -export -legacy -inkey key.pem -in cert.pem -passout pass:" + QString::fromLatin1(kP12Password) +
        " -out legacy.p12");
    const OpensslResult legacy = opensslMayFail({"pkcs12", "-info", "-noout", "-legacy", "-in", "legacy.p12", "-passin",
                                                 "pass:" + QString::fromLatin1(kP12Password)});
    if (!legacy.errors.contains("pbeWithSHA1And40BitRC2-CBC"))
        QTest::qFail(("legacy.p12 has no RC2-40 bag: " + legacy.errors).constData(), __FILE__, __LINE__);
    run("pkey -in key.pem -aes256 -passout pass:" + QString::fromLatin1(kKeyPassphrase) + " -out key_enc.pem");
    run(QStringLiteral("x509 -in cert.pem -outform DER -out cert.cer"));
    run("pkcs12 -export -inkey key.pem -in cert.pem -passout pass:" + QString::fromLatin1(kP12Password) +
        " -out cert.p12");
    write(QStringLiteral("hidden_pbes1.p12"), keyBagInEncryptedPart(QStringLiteral("PBE-SHA1-3DES")));
    write(QStringLiteral("hidden_pbes2.p12"), keyBagInEncryptedPart(QStringLiteral("AES-256-CBC")));
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

QByteArray keyBagInEncryptedPart(const QString& keyPbe)
{
    // openssl writes the bags into parts without encryption, where the count can be raised; they then move.
    const QByteArray plain = raiseIterationCounts(
        exportPkcs12("key.pem", "cert.pem", kP12Password, 65536, {"-keypbe", keyPbe, "-certpbe", "NONE", "-nomac"}));
    const auto* in = reinterpret_cast<const unsigned char*>(plain.constData());
    const crypto::Pkcs12Ptr source(d2i_PKCS12(nullptr, &in, plain.size()));
    STACK_OF(PKCS7)* parts = source ? PKCS12_unpack_authsafes(source.get()) : nullptr;
    bool moved = sk_PKCS7_num(parts) > 0;
    for (int i = 0; moved && i < sk_PKCS7_num(parts); ++i) {
        STACK_OF(PKCS12_SAFEBAG)* bags = PKCS12_unpack_p7data(sk_PKCS7_value(parts, i));
        PKCS7* encrypted = bags ? PKCS12_pack_p7encdata(NID_pbe_WithSHA1And3_Key_TripleDES_CBC, kP12Password, -1,
                                                        nullptr, 0, 2048, bags)
                                : nullptr;
        sk_PKCS12_SAFEBAG_pop_free(bags, PKCS12_SAFEBAG_free);
        moved = encrypted != nullptr;
        if (moved) {
            PKCS7_free(sk_PKCS7_value(parts, i));
            sk_PKCS7_set(parts, i, encrypted);
        }
    }
    const crypto::Pkcs12Ptr pkcs12(moved ? PKCS12_add_safes(parts, 0) : nullptr);
    sk_PKCS7_pop_free(parts, PKCS7_free);
    if (!pkcs12 || PKCS12_set_mac(pkcs12.get(), kP12Password, -1, nullptr, 0, 2048, nullptr) != 1)
        return QByteArray();
    return crypto::writtenToMemory([&pkcs12](BIO* bio) { return i2d_PKCS12_bio(bio, pkcs12.get()); });
}

} // namespace pki
