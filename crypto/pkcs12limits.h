#ifndef CRYPTO_PKCS12LIMITS_H
#define CRYPTO_PKCS12LIMITS_H

#include <openssl/pkcs12.h>

namespace crypto {

// The most key-derivation iterations that one step of opening a PKCS#12 file may ask for. Exporters write
// 2,048 (OpenSSL) to 10,000 (Java, Windows); current advice for PBKDF2 is 600,000. A million takes a fraction of
// a second, while a file may name 2^31 - 1 in four bytes, which would hold the program for many minutes.
constexpr long kMaxPkcs12Iterations = 1000000;

// False when opening the file would ask for more key derivation than kMaxPkcs12Iterations allows: its MAC, an
// encrypted part or a shrouded key bag that can be read without the password, or an scrypt cost above that
// bound. Parts that cannot be read are left to PKCS12_parse, which refuses them. Bags inside an encrypted part
// are not examined: they are reached only with the file's right password. Leaves the error queue as it was.
bool pkcs12WorkWithinLimit(const PKCS12* pkcs12);

} // namespace crypto

#endif // CRYPTO_PKCS12LIMITS_H
