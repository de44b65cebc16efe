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
