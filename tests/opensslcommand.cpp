#include "opensslcommand.h"

#include <QFile>
#include <QProcess>

OpensslResult runOpenssl(const QStringList& arguments, const QByteArray& input, bool quiet)
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
    if (result.exitCode != 0 && !quiet)
        qWarning("openssl %s: %s", qPrintable(arguments.join(QLatin1Char(' '))), result.errors.constData());
    return result;
}

QByteArray exportPkcs12(const QString& keyPath, const QString& certPath, const QByteArray& password, int iterations,
                        const QStringList& options)
{
    const OpensslResult result =
        runOpenssl(QStringList{"pkcs12", "-export", "-inkey", keyPath, "-in", certPath, "-passout",
                               "pass:" + QString::fromUtf8(password), "-iter", QString::number(iterations)} +
                   options);
    return result.exitCode == 0 ? result.output : QByteArray();
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
