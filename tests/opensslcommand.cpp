#include "opensslcommand.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

namespace {

// openssl.exe of a Windows build looks for its configuration and modules where that build was installed, seldom
// where it lies now, and reads its arguments in the ANSI code page: point it at ../ssl and ../lib/ossl-modules
// beside it and let it take UTF-8. Elsewhere the command is used as installed.
QProcessEnvironment opensslEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
#ifdef Q_OS_WIN
    const QDir prefix(QFileInfo(QStringLiteral(OPENSSL_COMMAND)).absolutePath() + QStringLiteral("/.."));
    if (!environment.contains(QStringLiteral("OPENSSL_CONF")))
        environment.insert(QStringLiteral("OPENSSL_CONF"),
                           QDir::toNativeSeparators(prefix.absoluteFilePath(QStringLiteral("ssl/openssl.cnf"))));
    if (!environment.contains(QStringLiteral("OPENSSL_MODULES")))
        environment.insert(QStringLiteral("OPENSSL_MODULES"),
                           QDir::toNativeSeparators(prefix.absoluteFilePath(QStringLiteral("lib/ossl-modules"))));
    environment.insert(QStringLiteral("OPENSSL_WIN32_UTF8"), QStringLiteral("1"));
#endif
    return environment;
}

// openssl.exe writes text (PEM, dumps) to a text-mode stream, which ends lines with CR LF, and binary output (DER,
// signatures, raw decryptions) to a binary one. Text is told by being UTF-8 without control characters other
// than tab and line ends: a DER structure or a random signature is not.
QByteArray fromTextMode(const QByteArray& output)
{
#ifdef Q_OS_WIN
    for (const char byte : output) {
        if (static_cast<unsigned char>(byte) < 0x20 && byte != '\t' && byte != '\r' && byte != '\n')
            return output;
    }
    const QString text = QString::fromUtf8(output);
    if (text.toUtf8() != output || text.contains(QChar::ReplacementCharacter))
        return output;
    return QByteArray(output).replace("\r\n", "\n");
#else
    return output;
#endif
}

} // namespace

OpensslResult opensslMayFail(const QStringList& arguments, const QByteArray& input)
{
    QProcess process;
    process.setProcessEnvironment(opensslEnvironment());
    process.start(QStringLiteral(OPENSSL_COMMAND), arguments);
    OpensslResult result;
    if (!process.waitForStarted())
        return result;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.output = fromTextMode(process.readAllStandardOutput());
    result.errors = fromTextMode(process.readAllStandardError());
    return result;
}

QByteArray openssl(const QStringList& arguments, const QByteArray& input, const char* file, int line)
{
    const OpensslResult result = opensslMayFail(arguments, input);
    if (result.exitCode == 0)
        return result.output;
    const QByteArray message = "openssl " + arguments.join(' ').toUtf8() + " failed (" +
                               QByteArray::number(result.exitCode) + "): " + result.errors;
    QTest::qFail(message.constData(), file, line);
    return QByteArray();
}

QByteArray publicKeyOf(const QByteArray& pem)
{
    if (pem.contains("-----BEGIN CERTIFICATE REQUEST-----"))
        return openssl({"req", "-noout", "-pubkey"}, pem);
    if (pem.contains("-----BEGIN CERTIFICATE-----"))
        return openssl({"x509", "-noout", "-pubkey"}, pem);
    return openssl({"pkey", "-pubout"}, pem);
}

QByteArray publicKeyOfFile(const QString& path)
{
    return publicKeyOf(readFile(path));
}

QByteArray exportPkcs12(const QString& keyPath, const QString& certPath, const QByteArray& password, int iterations,
                        const QStringList& options)
{
    return openssl(QStringList{"pkcs12", "-export", "-inkey", keyPath, "-in", certPath, "-passout",
                               "pass:" + QString::fromUtf8(password), "-iter", QString::number(iterations)} +
                   options);
}

QByteArray raiseIterationCounts(const QByteArray& der)
{
    // INTEGER, three bytes long: 0x010000 becomes 0x7FFFFF.
    return QByteArray(der).replace(QByteArray("\x02\x03\x01\x00\x00", 5), QByteArray("\x02\x03\x7f\xff\xff", 5));
}
