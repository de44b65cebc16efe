#ifndef TESTS_OPENSSLCOMMAND_H
#define TESTS_OPENSSLCOMMAND_H

#include <QByteArray>
#include <QString>
#include <QStringList>

// The openssl command line, the independent implementation that reads what the program writes and writes
// what it must read.
struct OpensslResult
{
    int exitCode = -1; // -1 when the command did not start or did not end normally
    QByteArray output;
    QByteArray errors;
};

// Runs openssl with input on its standard input; a failure is also printed as a warning unless quiet.
OpensslResult runOpenssl(const QStringList& arguments, const QByteArray& input = QByteArray(), bool quiet = false);

// openssl pkcs12 -export of a key and its certificate, protected by password with the iteration count given,
// as DER; empty when the command fails. options go to the command as well.
QByteArray exportPkcs12(const QString& keyPath, const QString& certPath, const QByteArray& password, int iterations,
                        const QStringList& options = QStringList());
// Every count of 65,536 in a DER structure raised to 8,388,607 (the same encoded length), as a hostile file
// would claim it; the structure unchanged when it holds no such count.
QByteArray raiseIterationCounts(const QByteArray& der);

QByteArray readFile(const QString& path);
// A file that the program writes in text mode, as the log: its line ends read as LF, whether the platform wrote LF
// or CR LF (Windows).
QByteArray readTextFile(const QString& path);
bool writeFile(const QString& path, const QByteArray& content);

#endif // TESTS_OPENSSLCOMMAND_H
