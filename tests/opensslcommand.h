#ifndef TESTS_OPENSSLCOMMAND_H
#define TESTS_OPENSSLCOMMAND_H

// Whoever runs openssl reads and writes its files and checks their access lists: those helpers come along.
#include "accesslist.h"
#include "workdirectory.h"

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

// Standard output of openssl run with input on its standard input. A command that fails fails the running test,
// at the caller's line and with the command's standard error; its output is then empty.
QByteArray openssl(const QStringList& arguments, const QByteArray& input = QByteArray(),
                   const char* file = __builtin_FILE(), int line = __builtin_LINE());
// The same for a command whose failure is expected or judged by the caller: nothing is reported.
OpensslResult opensslMayFail(const QStringList& arguments, const QByteArray& input = QByteArray());

// The public key, PEM, of a PEM key, certificate or certificate request.
QByteArray publicKeyOf(const QByteArray& pem);
QByteArray publicKeyOfFile(const QString& path);

// openssl pkcs12 -export of a key and its certificate, protected by password with the iteration count given,
// as DER. options go to the command as well.
QByteArray exportPkcs12(const QString& keyPath, const QString& certPath, const QByteArray& password, int iterations,
                        const QStringList& options = QStringList());
// Every count of 65,536 in a DER structure raised to 8,388,607 (the same encoded length), as a hostile file
// would claim it; the structure unchanged when it holds no such count.
QByteArray raiseIterationCounts(const QByteArray& der);

#endif // TESTS_OPENSSLCOMMAND_H
