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

QByteArray readFile(const QString& path);
bool writeFile(const QString& path, const QByteArray& content);

#endif // TESTS_OPENSSLCOMMAND_H
