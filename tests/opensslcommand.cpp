#include "opensslcommand.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

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

OpensslResult runOpenssl(const QStringList& arguments, const QByteArray& input, bool quiet)
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

QByteArray readTextFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly | QIODevice::Text) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}
