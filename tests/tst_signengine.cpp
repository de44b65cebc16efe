#include "signengine/signengine.h"

#include "app/logfile.h"
#include "certengine/certengine.h"
#include "opensslcommand.h"
#include "passphraseprompts.h"
#include "testpki.h"
#include "workdirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <openssl/pem.h>

#include <cstdio>
#include <memory>
#include <thread>

namespace {

const QByteArray kChineseText = QByteArray("Zorvik商户签名测试：订单 20260101 金额 ¥100.00\n");

QByteArray repeated(const QByteArray& pattern, int length)
{
    QByteArray out;
    while (out.size() < length)
        out += pattern;
    return out.left(length);
}

// cryptText on the given number of threads.
int cryptOn(int threads, SignEngine& engine, bool usePublicKey, bool encrypt, const QByteArray& input,
            QByteArray& output)
{
    SignEngine::CryptControl control;
    control.threads = threads;
    const int code = engine.cryptText(usePublicKey, encrypt, input, output, &control);
    if (code == 0 && control.blocksDone.load() != control.blocksTotal.load())
        return -1; // progress that does not reach its end
    return code;
}

} // namespace

Q_DECLARE_METATYPE(KeyFileKind)

class TestSignEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void everyFileKindLoadsWithItsFlags_data();
    void everyFileKindLoadsWithItsFlags();
    void doubledBackslashesNameTheSameFile();
    void failedLoadDropsPrivateKeyAndIsLogged();
    void pkcs12AskingForEndlessKeyDerivationIsRefused_data();
    void pkcs12AskingForEndlessKeyDerivationIsRefused();
    void onlyLibraryFailuresAreLogged_data();
    void onlyLibraryFailuresAreLogged();
    void missingLegacyProviderIsLoggedAndOnlyOldFilesFail();

    void signatureInteroperatesWithOpenssl_data();
    void signatureInteroperatesWithOpenssl();
    void signatureIsDeterministic();
    void changedTextOrOtherKeyDoesNotMatch();
    void malformedSignatureTextIsRefused_data();
    void malformedSignatureTextIsRefused();
    void operationsWithoutTheirKeyAreRefused();

    void ciphertextHasOneBlockPerChunk_data();
    void ciphertextHasOneBlockPerChunk();
    void publicEncryptionInteroperatesWithOpenssl();
    void privateEncryptionInteroperatesWithOpenssl();
    void textsRoundTrip_data();
    void textsRoundTrip();
    void onlyPublicKeyEncryptionIsRandomised();
    void cryptFailuresHaveTheirCodes_data();
    void cryptFailuresHaveTheirCodes();
    void wrongDirectionKeyOrDamageFailTheBlockOperation();
    void severalThreadsGiveWhatOneThreadGives_data();
    void severalThreadsGiveWhatOneThreadGives();
    void firstFailingBlockDecidesCodeAndLog_data();
    void firstFailingBlockDecidesCodeAndLog();
    void cancellingStopsTheWorkAndKeepsTheOutput();

    void otherKeySizesWork_data();
    void otherKeySizesWork();

    void certificateTextShowsChineseNamesAndSections();
    void asciiCertificatePrintsAsTheStandardPrinter();

    void destroyingOneEngineLeavesAnotherWorking();

private:
    QString file(const QString& name) const { return m_work.filePath(name); }
    // Loads a file of the working directory, of the kind its name gives, and expects success.
    void load(SignEngine& engine, const QString& name, const QByteArray& password = QByteArray());
    QByteArray opensslBlockwise(const QStringList& arguments, const QByteArray& data, int blockSize);

    WorkDirectory m_work;
};

QByteArray TestSignEngine::opensslBlockwise(const QStringList& arguments, const QByteArray& data, int blockSize)
{
    QByteArray out;
    for (int offset = 0; offset < data.size(); offset += blockSize) {
        const QByteArray piece = openssl(arguments, data.mid(offset, blockSize));
        if (piece.isEmpty())
            return QByteArray();
        out += piece;
    }
    return out;
}

void TestSignEngine::load(SignEngine& engine, const QString& name, const QByteArray& password)
{
    engine.fileKind = keyFileKindOf(name, true);
    QCOMPARE(engine.loadKeyFile(file(name).toUtf8(), password), 0);
}

void TestSignEngine::initTestCase()
{
    // Key material made once for the whole program: the shared files, and these.
    pki::make();
    const QStringList commands = {
        "pkey -in key.pem -traditional -out key_trad.pem",
        "pkey -in other.pem -pubout -out other_pub.pem",
        "pkey -in key.pem -traditional -aes256 -passout pass:secret -out key_enc_trad.pem",
        "pkcs12 -export -keypbe PBE-SHA1-3DES -certpbe PBE-SHA1-3DES -macalg sha1 -inkey key.pem -in cert.pem "
        "-passout pass:secret123 -out des.p12",
        "pkcs12 -export -inkey key.pem -in cert.pem -passout pass: -out nopass.p12",
        "req -x509 -new -key key.pem -subj /C=CN/O=Zorvik/CN=ascii -days 30 -out ascii.pem",
        "genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out ec.pem",
        "req -x509 -new -key ec.pem -subj /CN=ec -days 30 -outform DER -out ec.cer",
        "req -x509 -new -key ec.pem -subj /CN=ec -days 30 -out ec_cert.pem",
        "pkcs12 -export -inkey ec.pem -in ec_cert.pem -passout pass:secret123 -out ec.p12",
    };
    for (const QString& command : commands)
        openssl(command.split(' '));
    QVERIFY(writeFile("text.p12", "this is no PKCS#12 file\n"));
    QVERIFY(writeFile("cert_as_pem.cer", readFile("cert.pem")));
    QVERIFY(writeFile("nothing.pem", "-----BEGIN FOO-----\nAAAA\n-----END FOO-----\n"));
    QVERIFY(writeFile("enc_and_cert.pem", readFile("key_enc.pem") + readFile("cert.pem")));
    QVERIFY(writeFile("enc_trad_and_pub.pem", readFile("key_enc_trad.pem") + readFile("pub.pem")));
    QVERIFY(writeFile("ec_key_and_cert.pem", readFile("ec.pem") + readFile("cert.pem")));
#ifndef Q_OS_WIN
    QVERIFY(QFile::link("/dev/zero", "zero.pem"));
#endif
}

// ---- Loading

void TestSignEngine::everyFileKindLoadsWithItsFlags_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<KeyFileKind>("kind");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("privateKey");
    QTest::addColumn<bool>("certificate");
    QTest::newRow("PKCS#12") << "cert.p12" << KeyFilePkcs12 << QByteArray("secret123") << 0 << true << true;
    QTest::newRow("legacy PKCS#12") << "legacy.p12" << KeyFilePkcs12 << QByteArray("secret123") << 0 << true << true;
    QTest::newRow("triple-DES PKCS#12") << "des.p12" << KeyFilePkcs12 << QByteArray("secret123") << 0 << true << true;
    QTest::newRow("PKCS#12 empty password") << "nopass.p12" << KeyFilePkcs12 << QByteArray() << 0 << true << true;
    QTest::newRow("PKCS#12 wrong password")
        << "cert.p12" << KeyFilePkcs12 << QByteArray("wrong") << int(SignEngine::Pkcs12NotOpened) << false << true;
    QTest::newRow("text file as PKCS#12")
        << "text.p12" << KeyFilePkcs12 << QByteArray("x") << int(SignEngine::NotPkcs12) << false << true;
    QTest::newRow("DER certificate") << "cert.cer" << KeyFileCertificate << QByteArray() << 0 << false << true;
    QTest::newRow("PEM inside .cer") << "cert_as_pem.cer" << KeyFileCertificate << QByteArray()
                                     << int(SignEngine::NoCertificateInFile) << false << true;
    QTest::newRow("EC certificate") << "ec.cer" << KeyFileCertificate << QByteArray()
                                    << int(SignEngine::CertificateKeyNotRsa) << false << true;
    QTest::newRow("PEM certificate") << "cert.pem" << KeyFilePem << QByteArray() << 0 << false << true;
    QTest::newRow("PKCS#8 private key") << "key.pem" << KeyFilePem << QByteArray() << 0 << true << false;
    QTest::newRow("traditional private key") << "key_trad.pem" << KeyFilePem << QByteArray() << 0 << true << false;
    QTest::newRow("public key") << "pub.pem" << KeyFilePem << QByteArray() << 0 << false << false;
    QTest::newRow("nothing usable") << "nothing.pem" << KeyFilePem << QByteArray()
                                    << int(SignEngine::NoCertificateInFile) << false << true;
    QTest::newRow("encrypted key alone") << "key_enc.pem" << KeyFilePem << QByteArray()
                                         << int(SignEngine::NoCertificateInFile) << false << true;
    QTest::newRow("encrypted traditional key and public key")
        << "enc_trad_and_pub.pem" << KeyFilePem << QByteArray() << 0 << false << false;
    QTest::newRow("encrypted key and certificate")
        << "enc_and_cert.pem" << KeyFilePem << QByteArray() << 0 << false << true;
    QTest::newRow("EC private key") << "ec.pem" << KeyFilePem << QByteArray() << int(SignEngine::NoCertificateInFile)
                                    << false << true;
    // The key read fails as no RSA key; the certificate carries only the public half.
    QTest::newRow("EC private key and RSA certificate")
        << "ec_key_and_cert.pem" << KeyFilePem << QByteArray() << 0 << false << true;
    QTest::newRow("PKCS#12 with EC key") << "ec.p12" << KeyFilePkcs12 << QByteArray("secret123")
                                         << int(SignEngine::Pkcs12WithoutRsaKey) << false << true;
    for (int kind = 0; kind < 3; ++kind)
        QTest::newRow(qPrintable(QString("missing file, kind %1").arg(kind)))
            << "missing.p12" << KeyFileKind(kind) << QByteArray("x") << int(SignEngine::KeyFileNotOpened) << false
            << true;
    QTest::newRow("unknown kind") << "cert.pem" << KeyFileKind(3) << QByteArray() << int(SignEngine::UnknownFileKind)
                                  << false << true;
    QTest::newRow("NUL inside the name") << QString("cert.p12") + QChar(0) + "x" << KeyFilePkcs12
                                         << QByteArray("secret123") << int(SignEngine::KeyFileNotOpened) << false
                                         << true;
    // Endless derivation in a key bag that only the right password reveals, refused before it starts.
    for (const char* name : {"hidden_pbes1.p12", "hidden_pbes2.p12"})
        QTest::newRow(name) << name << KeyFilePkcs12 << QByteArray("secret123")
                            << int(SignEngine::Pkcs12WorkBeyondLimit) << false << true;
#ifndef Q_OS_WIN
    // An endless device is read no further than any key file goes, and fails by its content.
    QTest::newRow("endless device") << "zero.pem" << KeyFilePem << QByteArray() << int(SignEngine::NoCertificateInFile)
                                    << false << true;
#endif
}

void TestSignEngine::everyFileKindLoadsWithItsFlags()
{
    QFETCH(QString, name);
    QFETCH(KeyFileKind, kind);
    QFETCH(QByteArray, password);
    QFETCH(int, code);
    QFETCH(bool, privateKey);
    QFETCH(bool, certificate);
    SignEngine engine;
    engine.fileKind = kind;
    // The right pass phrase of the encrypted keys, should anything ask for it.
    const PassphrasePrompts prompts(pki::kKeyPassphrase);
    QCOMPARE(engine.loadKeyFile(file(name).toUtf8(), password), code);
    QCOMPARE(prompts.count(), 0);
    QCOMPARE(engine.hasPrivateKey, privateKey);
    QCOMPARE(engine.hasCertificate, certificate);
    if (code == 0) {
        bool match = false;
        QByteArray text;
        QCOMPARE(engine.verifyText(QByteArray(256, '\0').toBase64(), "x", match), 0);
        QCOMPARE(engine.certificateText(text), certificate ? 0 : SignEngine::NoCertificateLoaded);
    }
}

void TestSignEngine::doubledBackslashesNameTheSameFile()
{
    SignEngine engine;
    QByteArray doubled = file("cert.p12").toUtf8();
    doubled.replace('/', "\\\\");
    QCOMPARE(engine.loadKeyFile(doubled, "secret123"), 0);
    QVERIFY(engine.hasPrivateKey);
}

void TestSignEngine::failedLoadDropsPrivateKeyAndIsLogged()
{
    SignEngine engine;
    load(engine, "cert.p12", "secret123");
    QVERIFY(engine.hasPrivateKey);

    QFile::remove(file("log/certutil_zv.txt"));
    QCOMPARE(engine.loadKeyFile(file("missing.p12").toUtf8(), "secret123"), SignEngine::KeyFileNotOpened);
    QVERIFY(!engine.hasPrivateKey);
    QByteArray signature;
    QCOMPARE(engine.signText("x", signature), SignEngine::NoPrivateKeyToSign);
    QCOMPARE(engine.loadKeyFile(file("cert.p12").toUtf8(), "wrong"), SignEngine::Pkcs12NotOpened);
    QFile log(file("log/certutil_zv.txt"));
    QVERIFY(log.open(QIODevice::ReadOnly | QIODevice::Text));
    const QList<QByteArray> lines = log.readAll().trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    for (const QByteArray& line : lines)
        QVERIFY2(line.contains("] cert sign util error. ") && line.size() > 50, line.constData());
}

// A file may name 2^31 - 1 iterations for its MAC or a bag in a few bytes; opening it would hold the program for
// minutes. Counts of a million still open.
void TestSignEngine::pkcs12AskingForEndlessKeyDerivationIsRefused_data()
{
    QTest::addColumn<int>("iterations");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("raised");
    QTest::addColumn<int>("code");
    QTest::newRow("MAC") << 65536 << QStringList{"-keypbe", "NONE", "-certpbe", "NONE"} << true
                         << int(SignEngine::Pkcs12WorkBeyondLimit);
    QTest::newRow("shrouded key bag, PBKDF2, no MAC")
        << 65536 << QStringList{"-nomac", "-certpbe", "NONE"} << true << int(SignEngine::Pkcs12WorkBeyondLimit);
    QTest::newRow("encrypted certificates, legacy PBE, no MAC")
        << 65536 << QStringList{"-legacy", "-nomac", "-keypbe", "NONE", "-certpbe", "PBE-SHA1-RC2-40"} << true
        << int(SignEngine::Pkcs12WorkBeyondLimit);
    QTest::newRow("a million iterations everywhere") << 1000000 << QStringList() << false << 0;
}

void TestSignEngine::pkcs12AskingForEndlessKeyDerivationIsRefused()
{
    QFETCH(int, iterations);
    QFETCH(QStringList, options);
    QFETCH(bool, raised);
    QFETCH(int, code);
    const QByteArray exported = exportPkcs12(file("key.pem"), file("cert.pem"), "secret123", iterations, options);
    const QByteArray content = raised ? raiseIterationCounts(exported) : exported;
    QVERIFY(!exported.isEmpty() && (content != exported) == raised);
    QVERIFY(writeFile(file("hostile.p12"), content));

    SignEngine engine;
    engine.fileKind = KeyFilePkcs12;
    QFile::remove(file("log/certutil_zv.txt"));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(engine.loadKeyFile(file("hostile.p12").toUtf8(), "secret123"), code);
    QCOMPARE(engine.hasPrivateKey, code == 0);
    if (code != 0) {
        // Refused before any key derivation, so at once.
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(readFile(file("log/certutil_zv.txt")).contains("] cert sign util error. the PKCS#12 file asks"));
    }
}

namespace {
enum Step { LoadStep, SignStep, VerifyStep, EncryptPublicStep, DecryptPrivateStep };
}

void TestSignEngine::onlyLibraryFailuresAreLogged_data()
{
    QTest::addColumn<QString>("name"); // empty: no file loaded
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<int>("step");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("logged");
    const QByteArray none;
    QTest::newRow("20001") << "missing.cer" << none << int(LoadStep) << none << int(SignEngine::KeyFileNotOpened)
                           << true;
    QTest::newRow("20002") << "nothing.pem" << none << int(LoadStep) << none << int(SignEngine::NoCertificateInFile)
                           << true;
    QTest::newRow("20012") << "ec.cer" << none << int(LoadStep) << none << int(SignEngine::CertificateKeyNotRsa)
                           << true;
    QTest::newRow("20052") << "text.p12" << QByteArray("x") << int(LoadStep) << none << int(SignEngine::NotPkcs12)
                           << true;
    QTest::newRow("20061") << "cert.p12" << QByteArray("wrong") << int(LoadStep) << none
                           << int(SignEngine::Pkcs12NotOpened) << true;
    QTest::newRow("20062") << "ec.p12" << QByteArray("secret123") << int(LoadStep) << none
                           << int(SignEngine::Pkcs12WithoutRsaKey) << true;
    QTest::newRow("20006 on the way to a certificate")
        << "ec_key_and_cert.pem" << none << int(LoadStep) << none << 0 << false;
    QTest::newRow("public key after no private key") << "pub.pem" << none << int(LoadStep) << none << 0 << false;
    QTest::newRow("20100") << "cert.cer" << none << int(SignStep) << QByteArray("x")
                           << int(SignEngine::NoPrivateKeyToSign) << false;
    QTest::newRow("20100 without key") << "" << none << int(SignStep) << QByteArray("x")
                                       << int(SignEngine::NoPrivateKeyToSign) << false;
    QTest::newRow("20210") << "" << none << int(VerifyStep) << QByteArray("YWJj") << int(SignEngine::NoKeyToVerify)
                           << false;
    QTest::newRow("20211") << "cert.cer" << none << int(VerifyStep) << QByteArray("YWJj\n")
                           << int(SignEngine::SignatureNotBase64) << false;
    QTest::newRow("mismatch") << "cert.cer" << none << int(VerifyStep) << QByteArray(256, 'x').toBase64() << 0 << true;
    QTest::newRow("20310") << "" << none << int(EncryptPublicStep) << QByteArray("x") << int(SignEngine::NoKeyToCrypt)
                           << false;
    QTest::newRow("20311") << "cert.cer" << none << int(DecryptPrivateStep) << QByteArray("YWJj")
                           << int(SignEngine::NoPrivateKeyToCrypt) << false;
    QTest::newRow("20313") << "key.pem" << none << int(DecryptPrivateStep) << QByteArray("YWJ")
                           << int(SignEngine::CipherTextNotBase64) << false;
    QTest::newRow("20315") << "key.pem" << none << int(EncryptPublicStep) << none
                           << int(SignEngine::CipherTextNotEncoded) << false;
    QTest::newRow("20301 no RSA block") << "key.pem" << none << int(DecryptPrivateStep)
                                        << QByteArray(256, 'x').toBase64() << int(SignEngine::RsaBlockFailed) << true;
    QTest::newRow("20301 piece of a block")
        << "key.pem" << none << int(DecryptPrivateStep) << QByteArray(300, 'x').toBase64()
        << int(SignEngine::RsaBlockFailed) << true;
    QTest::newRow("encryption") << "key.pem" << none << int(EncryptPublicStep) << QByteArray("x") << 0 << false;
}

void TestSignEngine::onlyLibraryFailuresAreLogged()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, password);
    QFETCH(int, step);
    QFETCH(QByteArray, input);
    QFETCH(int, code);
    QFETCH(bool, logged);
    SignEngine engine;
    engine.fileKind = keyFileKindOf(name, true);
    if (step != LoadStep && !name.isEmpty())
        load(engine, name, password);
    const QString log = file("log/certutil_zv.txt");
    QFile::remove(log);

    QByteArray output;
    bool match = true;
    int result = -1;
    switch (step) {
    case LoadStep:
        result = engine.loadKeyFile(file(name).toUtf8(), password);
        break;
    case SignStep:
        result = engine.signText(input, output);
        break;
    case VerifyStep:
        result = engine.verifyText(input, "x", match);
        QVERIFY(!match);
        break;
    case EncryptPublicStep:
        result = engine.cryptText(true, true, input, output);
        break;
    case DecryptPrivateStep:
        result = engine.cryptText(false, false, input, output);
        break;
    }
    QCOMPARE(result, code);
    const QByteArray lines = readFile(log);
    QVERIFY2(lines.isEmpty() != logged, lines.constData());
    for (const QByteArray& line : lines.trimmed().split('\n'))
        QVERIFY2(lines.isEmpty() || line.contains("] cert sign util error. "), line.constData());
}

void TestSignEngine::missingLegacyProviderIsLoggedAndOnlyOldFilesFail()
{
    // The providers are loaded once per process, so a fresh one of this program searches an empty directory.
    const QString work = file("no-legacy");
    QVERIFY(QDir().mkpath(work + "/modules"));
    for (const QString& name : {QStringLiteral("des.p12"), QStringLiteral("legacy.p12")}) {
        QFile::remove(work + '/' + name);
        QVERIFY(QFile::copy(file(name), work + '/' + name));
    }
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("OPENSSL_MODULES", work + "/modules");
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(work);
    process.start(QCoreApplication::applicationFilePath(), {"--load-pkcs12-files"},
                  QIODevice::ReadWrite | QIODevice::Text);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    // Triple-DES needs only the default provider; RC2-40 fails with the usual wrong-password codes.
    QCOMPARE(process.readAllStandardOutput(), QByteArray("des.p12 0 0, legacy.p12 20061 10012\n"));

    const QByteArray log = readTextFile(work + "/log/certutil_zv.txt");
    QCOMPARE(log.count("legacy provider not loaded"), 1);
    QVERIFY2(log.contains("error:") && log.contains("(module directory " + QFile::encodeName(work) + "/modules)"),
             log.constData());
}

// ---- Signatures

void TestSignEngine::signatureInteroperatesWithOpenssl_data()
{
    QTest::addColumn<QString>("verifier");
    QTest::newRow("PKCS#12") << "cert.p12";
    QTest::newRow("DER certificate") << "cert.cer";
    QTest::newRow("PEM public key") << "pub.pem";
}

void TestSignEngine::signatureInteroperatesWithOpenssl()
{
    QFETCH(QString, verifier);
    SignEngine signer;
    load(signer, "cert.p12", "secret123");
    QByteArray signature;
    QCOMPARE(signer.signText(kChineseText, signature), 0);
    QCOMPARE(signature.size(), 344);
    QVERIFY(signature.endsWith("=="));

    QFile sigFile(file("sig.bin"));
    QVERIFY(sigFile.open(QIODevice::WriteOnly));
    sigFile.write(QByteArray::fromBase64(signature));
    sigFile.close();
    QVERIFY(openssl({"dgst", "-sha256", "-verify", "pub.pem", "-signature", "sig.bin"}, kChineseText)
                .contains("Verified OK"));

    const QByteArray theirs = openssl({"dgst", "-sha256", "-sign", "key.pem"}, kChineseText);
    QCOMPARE(theirs.toBase64(), signature);
    SignEngine engine;
    load(engine, verifier, verifier.endsWith(".p12") ? "secret123" : "");
    bool match = false;
    QCOMPARE(engine.verifyText(theirs.toBase64(), kChineseText, match), 0);
    QVERIFY(match);
}

void TestSignEngine::signatureIsDeterministic()
{
    SignEngine engine;
    load(engine, "key.pem");
    QByteArray first, second;
    QCOMPARE(engine.signText("", first), 0);
    QCOMPARE(engine.signText("", second), 0);
    QCOMPARE(first, second);
}

void TestSignEngine::changedTextOrOtherKeyDoesNotMatch()
{
    SignEngine engine, other;
    load(engine, "cert.p12", "secret123");
    load(other, "other_pub.pem");
    QByteArray signature;
    QCOMPARE(engine.signText(kChineseText, signature), 0);
    bool match = true;
    QByteArray changed = kChineseText;
    changed[3] = changed[3] ^ 1;
    QCOMPARE(engine.verifyText(signature, changed, match), 0);
    QVERIFY(!match);
    match = true;
    QCOMPARE(other.verifyText(signature, kChineseText, match), 0);
    QVERIFY(!match);
    match = true;
    // Checked with zeros behind it. The last four bytes go: one byte alone is zero in one signature of 256.
    QCOMPARE(engine.verifyText(signature.left(336), kChineseText, match), 0);
    QVERIFY(!match);
    match = true;
    QCOMPARE(engine.verifyText(QByteArray(), kChineseText, match), 0);
    QVERIFY(!match);
}

void TestSignEngine::malformedSignatureTextIsRefused_data()
{
    QTest::addColumn<QByteArray>("suffix");
    QTest::addColumn<int>("breakAt");
    QTest::newRow("trailing line feed") << QByteArray("\n") << -1;
    QTest::newRow("line break after 64 characters") << QByteArray() << 64;
    QTest::newRow("longer than a signature") << QByteArray("AAAA") << -1;
}

void TestSignEngine::malformedSignatureTextIsRefused()
{
    QFETCH(QByteArray, suffix);
    QFETCH(int, breakAt);
    SignEngine engine;
    load(engine, "cert.p12", "secret123");
    QByteArray signature;
    QCOMPARE(engine.signText(kChineseText, signature), 0);
    signature += suffix;
    if (breakAt > 0)
        signature.insert(breakAt, '\n');
    bool match = true;
    QCOMPARE(engine.verifyText(signature, kChineseText, match), SignEngine::SignatureNotBase64);
    QVERIFY(!match);
}

void TestSignEngine::operationsWithoutTheirKeyAreRefused()
{
    SignEngine empty;
    QByteArray out;
    bool match = true;
    QCOMPARE(empty.signText("x", out), SignEngine::NoPrivateKeyToSign);
    QCOMPARE(empty.verifyText("YWJj", "x", match), SignEngine::NoKeyToVerify);
    QCOMPARE(empty.cryptText(true, true, "x", out), SignEngine::NoKeyToCrypt);
    QCOMPARE(empty.certificateText(out), SignEngine::NoCertificateLoaded);
    SignEngine publicOnly;
    load(publicOnly, "cert.cer");
    QCOMPARE(publicOnly.signText("x", out), SignEngine::NoPrivateKeyToSign);
    QCOMPARE(publicOnly.cryptText(false, true, "x", out), SignEngine::NoPrivateKeyToCrypt);
    QCOMPARE(publicOnly.cryptText(false, false, "x", out), SignEngine::NoPrivateKeyToCrypt);
    QVERIFY(out.isEmpty());
}

// ---- Encryption

void TestSignEngine::ciphertextHasOneBlockPerChunk_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("textLength");
    QTest::newRow("1") << 1 << 344;
    QTest::newRow("245") << 245 << 344;
    QTest::newRow("246") << 246 << 684;
    QTest::newRow("490") << 490 << 684;
    QTest::newRow("491") << 491 << 1024;
}

void TestSignEngine::ciphertextHasOneBlockPerChunk()
{
    QFETCH(int, length);
    QFETCH(int, textLength);
    SignEngine engine;
    load(engine, "key.pem");
    for (bool usePublicKey : {true, false}) {
        QByteArray cipher;
        QCOMPARE(engine.cryptText(usePublicKey, true, QByteArray(length, 'z'), cipher), 0);
        QCOMPARE(cipher.size(), textLength);
    }
}

void TestSignEngine::publicEncryptionInteroperatesWithOpenssl()
{
    SignEngine engine;
    load(engine, "cert.p12", "secret123");
    const QByteArray text = repeated(kChineseText, 1000);
    QByteArray cipher;
    QCOMPARE(engine.cryptText(true, true, text, cipher), 0);
    QCOMPARE(opensslBlockwise({"pkeyutl", "-decrypt", "-inkey", "key.pem", "-pkeyopt", "rsa_padding_mode:pkcs1"},
                              QByteArray::fromBase64(cipher), 256),
             text);

    // openssl's chunks need not be full: the bytes of every block are joined.
    for (int chunk : {245, 100}) {
        const QByteArray theirs = opensslBlockwise(
            {"pkeyutl", "-encrypt", "-pubin", "-inkey", "pub.pem", "-pkeyopt", "rsa_padding_mode:pkcs1"}, text, chunk);
        QByteArray plain;
        QCOMPARE(engine.cryptText(false, false, theirs.toBase64(), plain), 0);
        QCOMPARE(plain, text);
    }
}

void TestSignEngine::privateEncryptionInteroperatesWithOpenssl()
{
    SignEngine engine;
    load(engine, "key_trad.pem");
    const QByteArray text = repeated(kChineseText, 600);
    QByteArray cipher;
    QCOMPARE(engine.cryptText(false, true, text, cipher), 0);
    QCOMPARE(opensslBlockwise(
                 {"pkeyutl", "-verifyrecover", "-pubin", "-inkey", "pub.pem", "-pkeyopt", "rsa_padding_mode:pkcs1"},
                 QByteArray::fromBase64(cipher), 256),
             text);

    // openssl signs at most 64 raw bytes at a time; type 1 padding is deterministic, so its blocks are ours.
    const QStringList sign = {"pkeyutl", "-sign", "-inkey", "key.pem", "-pkeyopt", "rsa_padding_mode:pkcs1"};
    QByteArray ownFirst;
    QCOMPARE(engine.cryptText(false, true, text.left(60), ownFirst), 0);
    QCOMPARE(openssl(sign, text.left(60)).toBase64(), ownFirst);
    const QByteArray theirs = opensslBlockwise(sign, text, 60);
    SignEngine publicOnly;
    load(publicOnly, "pub.pem");
    QByteArray plain;
    QCOMPARE(publicOnly.cryptText(true, false, theirs.toBase64(), plain), 0);
    QCOMPARE(plain, text);
}

void TestSignEngine::textsRoundTrip_data()
{
    QTest::addColumn<QByteArray>("text");
    for (int length : {1, 245, 246, 1000, 100000})
        QTest::newRow(qPrintable(QString::number(length))) << repeated(kChineseText, length);
    QTest::newRow("zero bytes survive") << QByteArray("a\0b\0\0c", 6);
}

void TestSignEngine::textsRoundTrip()
{
    QFETCH(QByteArray, text);
    SignEngine full, publicOnly;
    load(full, "cert.p12", "secret123");
    load(publicOnly, "cert.cer");
    QByteArray cipher, plain;
    QCOMPARE(publicOnly.cryptText(true, true, text, cipher), 0);
    QCOMPARE(full.cryptText(false, false, cipher, plain), 0);
    QCOMPARE(plain, text);
    QCOMPARE(full.cryptText(false, true, text, cipher), 0);
    QCOMPARE(publicOnly.cryptText(true, false, cipher, plain), 0);
    QCOMPARE(plain, text);
}

void TestSignEngine::onlyPublicKeyEncryptionIsRandomised()
{
    SignEngine engine;
    load(engine, "key.pem");
    QByteArray first, second;
    QCOMPARE(engine.cryptText(true, true, kChineseText, first), 0);
    QCOMPARE(engine.cryptText(true, true, kChineseText, second), 0);
    QVERIFY(first != second);
    QCOMPARE(engine.cryptText(false, true, kChineseText, first), 0);
    QCOMPARE(engine.cryptText(false, true, kChineseText, second), 0);
    QCOMPARE(first, second);
}

void TestSignEngine::cryptFailuresHaveTheirCodes_data()
{
    QTest::addColumn<bool>("usePublicKey");
    QTest::addColumn<bool>("encrypt");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("code");
    QTest::newRow("empty text to encrypt") << true << true << QByteArray() << int(SignEngine::CipherTextNotEncoded);
    // Its Base64 ciphertext would not fit in a QByteArray; refused before a byte of it is read (or touched).
    QTest::newRow("text too large to encrypt")
        << true << true << QByteArray(1600 * 1000 * 1000, Qt::Uninitialized) << int(SignEngine::TextTooLarge);
    QTest::newRow("line break") << false << false << QByteArray("YWJj\nYWJj") << int(SignEngine::CipherTextNotBase64);
    QTest::newRow("not base64") << false << false << QByteArray("YWJ") << int(SignEngine::CipherTextNotBase64);
    QTest::newRow("300 bytes") << false << false << QByteArray(300, 'x').toBase64() << int(SignEngine::RsaBlockFailed);
    QTest::newRow("empty text to decrypt") << false << false << QByteArray() << 0;
}

void TestSignEngine::cryptFailuresHaveTheirCodes()
{
    QFETCH(bool, usePublicKey);
    QFETCH(bool, encrypt);
    QFETCH(QByteArray, input);
    QFETCH(int, code);
    SignEngine engine;
    load(engine, "key.pem");
    QByteArray output("untouched");
    QCOMPARE(engine.cryptText(usePublicKey, encrypt, input, output), code);
    QCOMPARE(output, code ? QByteArray("untouched") : QByteArray());
}

void TestSignEngine::wrongDirectionKeyOrDamageFailTheBlockOperation()
{
    SignEngine engine;
    load(engine, "key.pem");
    QByteArray cipher, plain;
    QCOMPARE(engine.cryptText(true, true, kChineseText, cipher), 0);
    QCOMPARE(engine.cryptText(true, false, cipher, plain), SignEngine::RsaBlockFailed);
    QByteArray damaged = QByteArray::fromBase64(cipher);
    damaged[100] = damaged[100] ^ 0x40;
    QCOMPARE(engine.cryptText(false, false, damaged.toBase64(), plain), SignEngine::RsaBlockFailed);
    SignEngine other;
    load(other, "other.pem");
    QCOMPARE(other.cryptText(false, false, cipher, plain), SignEngine::RsaBlockFailed);
}

void TestSignEngine::severalThreadsGiveWhatOneThreadGives_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("no block") << QByteArray();
    QTest::newRow("one block") << repeated(kChineseText, 245);
    // More shares of blocks than threads for either half of the key, the last share short.
    QTest::newRow("many blocks") << repeated(kChineseText, 245 * 150 + 17);
}

void TestSignEngine::severalThreadsGiveWhatOneThreadGives()
{
    QFETCH(QByteArray, text);
    SignEngine engine;
    load(engine, "key.pem");
    const int expected = text.isEmpty() ? SignEngine::CipherTextNotEncoded : 0;
    for (const bool usePublicKey : {true, false}) {
        QByteArray one, four, plainOne("x"), plainFour("x");
        QCOMPARE(cryptOn(1, engine, usePublicKey, true, text, one), expected);
        QCOMPARE(cryptOn(4, engine, usePublicKey, true, text, four), expected);
        QCOMPARE(four.size(), one.size());
        if (!usePublicKey)
            QCOMPARE(four, one); // type 1 padding has no randomness: the same blocks in the same order
        QCOMPARE(cryptOn(1, engine, !usePublicKey, false, four, plainOne), 0);
        QCOMPARE(cryptOn(4, engine, !usePublicKey, false, four, plainFour), 0);
        QCOMPARE(plainOne, text);
        QCOMPARE(plainFour, text);
    }

    // Blocks that carry fewer bytes than they could, as other tools write them, join the same way.
    QByteArray uneven, pieces;
    const int sizes[] = {100, 245, 1, 37};
    const QByteArray start = text.left(8000);
    for (int offset = 0, i = 0; offset < start.size(); offset += sizes[i++ % 4]) {
        const QByteArray piece = start.mid(offset, sizes[i % 4]);
        QByteArray cipher;
        QCOMPARE(engine.cryptText(true, true, piece, cipher), 0);
        uneven += QByteArray::fromBase64(cipher);
        pieces += piece;
    }
    QByteArray one, four;
    QCOMPARE(cryptOn(1, engine, false, false, uneven.toBase64(), one), 0);
    QCOMPARE(cryptOn(4, engine, false, false, uneven.toBase64(), four), 0);
    QCOMPARE(one, pieces);
    QCOMPARE(four, pieces);
}

void TestSignEngine::firstFailingBlockDecidesCodeAndLog_data()
{
    // Blocks 0 to 199 of a text encrypted with one half, decrypted with the other; some spoilt.
    QTest::addColumn<bool>("usePublicKey"); // for decrypting
    QTest::addColumn<int>("badPaddingAt");  // a block that decrypts to no valid padding; -1: none
    QTest::addColumn<int>("tooLargeAt");    // a block beyond the key's modulus; -1: none
    QTest::addColumn<bool>("brokenBase64"); // one character too many at the end
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("tooLargeLogged");
    // The later failure opens a share of blocks and the earlier one ends the share before it, so the later one
    // is met first (shares are 96 public-key blocks or 3 private-key ones).
    QTest::newRow("public, bad padding before a block too large")
        << true << 95 << 96 << false << int(SignEngine::RsaBlockFailed) << false;
    QTest::newRow("public, block too large before bad padding")
        << true << 96 << 95 << false << int(SignEngine::RsaBlockFailed) << true;
    QTest::newRow("private, bad padding before a block too large")
        << false << 2 << 3 << false << int(SignEngine::RsaBlockFailed) << false;
    QTest::newRow("private, block too large before bad padding")
        << false << 3 << 2 << false << int(SignEngine::RsaBlockFailed) << true;
    QTest::newRow("private, last block") << false << 199 << -1 << false << int(SignEngine::RsaBlockFailed) << false;
    QTest::newRow("broken Base64 behind spoilt blocks")
        << true << 1 << 2 << true << int(SignEngine::CipherTextNotBase64) << false;
}

void TestSignEngine::firstFailingBlockDecidesCodeAndLog()
{
    QFETCH(bool, usePublicKey);
    QFETCH(int, badPaddingAt);
    QFETCH(int, tooLargeAt);
    QFETCH(bool, brokenBase64);
    QFETCH(int, code);
    QFETCH(bool, tooLargeLogged);
    SignEngine engine;
    load(engine, "key.pem");
    QByteArray cipher;
    QCOMPARE(engine.cryptText(!usePublicKey, true, repeated(kChineseText, 245 * 200), cipher), 0);
    QByteArray blocks = QByteArray::fromBase64(cipher);
    blocks[badPaddingAt * 256 + 100] = char(blocks[badPaddingAt * 256 + 100] ^ 0x40);
    if (tooLargeAt >= 0)
        blocks.replace(tooLargeAt * 256, 256, QByteArray(256, '\xff'));
    const QByteArray input = blocks.toBase64() + (brokenBase64 ? "A" : "");

    const QString log = file("log/certutil_zv.txt");
    QStringList logged;
    // Which thread meets which block first varies from run to run: several runs on four threads.
    for (const int threads : {1, 4, 4, 4, 4, 4}) {
        QFile::remove(log);
        QByteArray output("untouched");
        QCOMPARE(cryptOn(threads, engine, usePublicKey, false, input, output), code);
        QCOMPARE(output, QByteArray("untouched"));
        const QByteArray line = readFile(log).trimmed();
        QCOMPARE(line.count('\n'), 0);
        logged << QString::fromUtf8(line.mid(line.indexOf("] ") + 2));
    }
    QCOMPARE(logged.filter(logged.at(0)).size(), logged.size());
    QCOMPARE(logged.at(0).isEmpty(), code != SignEngine::RsaBlockFailed);
    QCOMPARE(logged.at(0).contains("too large"), tooLargeLogged);
}

void TestSignEngine::cancellingStopsTheWorkAndKeepsTheOutput()
{
    SignEngine engine;
    load(engine, "key.pem");
    // Private-key blocks take a millisecond each: seconds of work if nothing stops it.
    const QByteArray text = repeated(kChineseText, 245 * 3000);
    QByteArray cipher;
    QCOMPARE(engine.cryptText(true, true, text, cipher), 0);
    for (const bool encrypt : {true, false}) {
        const QByteArray& input = encrypt ? text : cipher;
        QByteArray output("untouched");
        SignEngine::CryptControl before;
        before.cancelled = true;
        QCOMPARE(engine.cryptText(false, encrypt, input, output, &before), SignEngine::Cancelled);
        QCOMPARE(before.blocksDone.load(), 0);

        SignEngine::CryptControl during;
        int code = -1;
        std::thread caller([&] { code = engine.cryptText(false, encrypt, input, output, &during); });
        const bool started = QTest::qWaitFor([&] { return during.blocksDone.load() > 0; });
        during.cancelled = true;
        caller.join();
        QVERIFY(started);
        QCOMPARE(code, SignEngine::Cancelled);
        QCOMPARE(output, QByteArray("untouched"));
        QVERIFY(during.blocksDone.load() > 0);
        QVERIFY(during.blocksDone.load() < during.blocksTotal.load());
    }
}

void TestSignEngine::otherKeySizesWork_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("bytes");
    QTest::newRow("1024") << "rsa1024.pem" << 128;
    QTest::newRow("3072") << "rsa3072.pem" << 384;
    QTest::newRow("4096") << "rsa4096.pem" << 512;
}

void TestSignEngine::otherKeySizesWork()
{
    QFETCH(QString, key);
    QFETCH(int, bytes);
    // Made here rather than with the rest: large keys take seconds, and only this test needs them.
    if (!QFile::exists(file(key)))
        openssl({"genpkey", "-algorithm", "RSA", "-pkeyopt", QStringLiteral("rsa_keygen_bits:%1").arg(bytes * 8),
                 "-out", key});
    SignEngine engine;
    load(engine, key);
    QByteArray signature;
    QCOMPARE(engine.signText(kChineseText, signature), 0);
    QCOMPARE(QByteArray::fromBase64(signature), openssl({"dgst", "-sha256", "-sign", key}, kChineseText));
    bool match = false;
    QCOMPARE(engine.verifyText(signature, kChineseText, match), 0);
    QVERIFY(match);

    const QByteArray text = repeated(kChineseText, 3 * (bytes - 11) + 1);
    QByteArray cipher, plain;
    QCOMPARE(engine.cryptText(true, true, text, cipher), 0);
    const QByteArray raw = QByteArray::fromBase64(cipher);
    QCOMPARE(raw.size(), 4 * bytes);
    QCOMPARE(opensslBlockwise({"pkeyutl", "-decrypt", "-inkey", key, "-pkeyopt", "rsa_padding_mode:pkcs1"}, raw, bytes),
             text);
    QCOMPARE(engine.cryptText(false, false, cipher, plain), 0);
    QCOMPARE(plain, text);
    QCOMPARE(engine.cryptText(false, true, text, cipher), 0);
    QCOMPARE(engine.cryptText(true, false, cipher, plain), 0);
    QCOMPARE(plain, text);
}

// ---- Certificate text

void TestSignEngine::certificateTextShowsChineseNamesAndSections()
{
    SignEngine engine;
    load(engine, "legacy.p12", "secret123");
    QByteArray text;
    QCOMPARE(engine.certificateText(text), 0);
    QVERIFY(text.startsWith("Certificate:\n"));
    const QByteArray name = "C=CN, ST=Beijing, L=Beijing, O=Zorvik商户系统, OU=测试商户, CN=898110000000001";
    for (const QByteArray& part :
         {QByteArray("Version: 3"), QByteArray("Serial Number:"),
          QByteArray("Signature Algorithm: sha256WithRSAEncryption"),
          QByteArray("Issuer: C=CN, O=Zorvik商户系统, CN=Zorvik Test Root ca"), QByteArray("Validity"),
          QByteArray("Not After"), "Subject: " + name, QByteArray("Public-Key: (2048 bit)"),
          QByteArray("X509v3 extensions:"), QByteArray("Signature Value:")})
        QVERIFY2(text.contains(part), part.constData());
    QVERIFY(!text.contains("\\x"));
}

void TestSignEngine::asciiCertificatePrintsAsTheStandardPrinter()
{
    SignEngine engine;
    load(engine, "ascii.pem");
    QByteArray text;
    QCOMPARE(engine.certificateText(text), 0);

    std::unique_ptr<BIO, decltype(&BIO_free)> in(BIO_new_file(file("ascii.pem").toUtf8().constData(), "r"), BIO_free);
    std::unique_ptr<X509, decltype(&X509_free)> certificate(PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr),
                                                            X509_free);
    crypto::BioPtr out = crypto::writeBio();
    QVERIFY(certificate && X509_print(out.get(), certificate.get()) == 1);
    QCOMPARE(text, crypto::bioContents(out.get()));
}

// ---- Lifecycle

void TestSignEngine::destroyingOneEngineLeavesAnotherWorking()
{
    SignEngine first;
    load(first, "legacy.p12", "secret123");
    {
        auto second = std::make_unique<SignEngine>();
        load(*second, "legacy.p12", "secret123");
    }
    QByteArray signature, cipher, plain;
    bool match = false;
    QCOMPARE(first.signText(kChineseText, signature), 0);
    QCOMPARE(first.verifyText(signature, kChineseText, match), 0);
    QVERIFY(match);
    QCOMPARE(first.cryptText(true, true, kChineseText, cipher), 0);
    QCOMPARE(first.cryptText(false, false, cipher, plain), 0);
    QCOMPARE(plain, kChineseText);
    SignEngine third;
    load(third, "legacy.p12", "secret123");
}

// --load-pkcs12-files: a fresh process that loads des.p12 and legacy.p12 of the working directory with both
// engines and prints their codes.
int loadPkcs12Files()
{
    LogFile::instance()->setFileName(LogFile::kFileName);
    QStringList results;
    for (const char* name : {"des.p12", "legacy.p12"}) {
        SignEngine engine;
        engine.fileKind = KeyFilePkcs12;
        const int signCode = engine.loadKeyFile(name, "secret123");
        const int certCode = CertEngine::instance()->loadKey(name, KeyFilePkcs12, "secret123");
        results.append(QStringLiteral("%1 %2 %3").arg(QLatin1String(name)).arg(signCode).arg(certCode));
    }
    std::printf("%s\n", qPrintable(results.join(QStringLiteral(", "))));
    return 0;
}

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--load-pkcs12-files") == 0)
        return loadPkcs12Files();
    TestSignEngine test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_signengine.moc"
