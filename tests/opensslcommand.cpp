#include "opensslcommand.h"

#include <QFile>
#include <QProcess>
#include <QTest>

OpensslResult opensslMayFail(const QStringList& arguments, const QByteArray& input)
{
    QProcess process;
    process.start(QStringLiteral(OPENSSL_COMMAND), arguments);
    OpensslResult result;
    if (!process.waitForStarted())
        return result;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.output = process.readAllStandardOutput();
    result.errors = process.readAllStandardError();
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

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}
