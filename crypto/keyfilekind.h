#ifndef CRYPTO_KEYFILEKIND_H
#define CRYPTO_KEYFILEKIND_H

// What a chosen key or certificate file holds, as the file chooser decides it from the file name. The values are
// fixed.
enum KeyFileKind : int {
    KeyFilePkcs12 = 0,      // PKCS#12, opened with a password
    KeyFileCertificate = 1, // ".cer": a DER certificate
    KeyFilePem = 2,         // ".pem": PEM key and/or certificate
};

#endif // CRYPTO_KEYFILEKIND_H
