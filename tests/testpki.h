#ifndef TESTS_TESTPKI_H
#define TESTS_TESTPKI_H

#include <QByteArray>
#include <QString>

// The keys and certificates of the tests, made once per test program by the openssl command in the working
// directory (see WorkDirectory):
//   cert/RootCA_ZX.cer, ca.key   the root certificate where the program looks for it, and its key
//   key.pem, pub.pem             the merchant's key (PKCS#8) and its public half
//   cert.pem, cert.cer           the merchant's certificate, issued by the root, PEM and DER
//   cert.p12                     key and certificate as PKCS#12, password kP12Password
//   legacy.p12                   the same as older tools wrote it, with an RC2-40 certificate bag
//   key_enc.pem                  the merchant's key encrypted (PKCS#8), pass phrase kKeyPassphrase
//   other.pem                    a stranger's key
//   hidden_pbes1.p12, hidden_pbes2.p12
//                                as cert.p12, but the key bag lies in an encrypted part and claims 8,388,607
//                                iterations (PKCS#12 PBE, PBES2 with PBKDF2), which only the password reveals
namespace pki {

// Subject of the merchant's certificate, with Chinese names, as openssl -subj takes it.
constexpr char kSubject[] = "/C=CN/ST=Beijing/L=Beijing/O=Zorvik商户系统/OU=测试商户/CN=898110000000001";
constexpr char kP12Password[] = "secret123";
constexpr char kKeyPassphrase[] = "secret";
constexpr char kRoot[] = "cert/RootCA_ZX.cer";

// Makes the files above; a step that fails fails the running test.
void make();
// A certificate for the request, PEM, issued by the root or by another CA made with makeCa.
QByteArray issue(const QByteArray& csr, const QString& ca = QStringLiteral("ca"));
// A certificate for the key in keyFile, issued as above.
QByteArray issueFor(const QString& keyFile, const QString& ca = QStringLiteral("ca"));
// Another CA: name.key and name.pem.
void makeCa(const QString& name);
// key.pem and cert.pem as DER PKCS#12 with the password kP12Password and a MAC, every bag in an encrypted part (no
// openssl command writes it so); the key bag is encrypted with keyPbe (as openssl's -keypbe takes it) and claims
// 8,388,607 iterations.
QByteArray keyBagInEncryptedPart(const QString& keyPbe);

} // namespace pki

#endif // TESTS_TESTPKI_H
