#ifndef CRYPTO_PKCS12LIMITS_H
#define CRYPTO_PKCS12LIMITS_H

#include <QByteArray>

#include <openssl/pkcs12.h>

namespace crypto {

// The most key-derivation iterations that one step of opening a PKCS#12 file may ask for. Exporters write
// 2,048 (OpenSSL) to 10,000 (Java, Windows); current advice for PBKDF2 is 600,000. A million takes a fraction of
// a second, while a file may name 2^31 - 1 in four bytes, which would hold the program for many minutes.
constexpr long kMaxPkcs12Iterations = 1000000;

// False when opening the file with password would ask for more key derivation than kMaxPkcs12Iterations allows,
// or for an scrypt cost above that bound, anywhere PKCS12_parse may derive a key: the MAC, each encrypted part, and
// each shrouded key bag at every level of nesting. Bags inside an encrypted part are seen only when the password
// opens it (an empty password in either form that PKCS12_parse tries); parts it cannot open, and anything that
// does not decode, are left to PKCS12_parse, which refuses them. Leaves the error queue as it was.
bool pkcs12WorkWithinLimit(const PKCS12* pkcs12, const QByteArray& password);

} // namespace crypto

#endif // CRYPTO_PKCS12LIMITS_H
