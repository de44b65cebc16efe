#include "testpki.h"

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

} // namespace pki
