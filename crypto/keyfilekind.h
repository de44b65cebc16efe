#ifndef CRYPTO_KEYFILEKIND_H
#define CRYPTO_KEYFILEKIND_H

#include <QString>

// What a chosen key or certificate file holds, as the file chooser decides it from the file name. The values are
// fixed.
enum KeyFileKind : int {
    KeyFilePkcs12 = 0,      // PKCS#12, opened with a password
    KeyFileCertificate = 1, // ".cer": a DER certificate
    KeyFilePem = 2,         // ".pem": PEM key and/or certificate
};

// The kind of a file by its name, case-insensitively and anywhere in it: ".pem" is PEM, ".cer" a DER certificate
// where certificates are accepted, anything else PKCS#12.
KeyFileKind keyFileKindOf(const QString& fileName, bool certificatesToo);

#endif // CRYPTO_KEYFILEKIND_H
