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
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <openssl/crypto.h>
#include <openssl/pem.h>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

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

// rsa<bits>.pem, made on first use rather than with the rest: large keys take seconds, and few tests need them.
QString rsaKey(int bits)
{
    const QString name = QStringLiteral("rsa%1.pem").arg(bits);
    if (!QFile::exists(name))
        openssl(
            {"genpkey", "-algorithm", "RSA", "-pkeyopt", QStringLiteral("rsa_keygen_bits:%1").arg(bits), "-out", name});
    return name;
}

// How many lines the log holds, or -1 when one of them is no error line of the engine with a reason behind it.
int engineErrorLines()
{
    const QByteArray log = WorkDirectory::logText().trimmed();
    if (log.isEmpty())
        return 0;
    const QList<QByteArray> lines = log.split('\n');
    const QByteArray prefix = "] cert sign util error. ";
    for (const QByteArray& line : lines) {
        const int at = line.indexOf(prefix);
        if (at < 0 || line.size() <= at + prefix.size()) {
            qWarning("not an error line of the engine: %s", line.constData());
            return -1;
        }
    }
    return lines.size();
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
    void failedLoadDropsThePrivateKey();
    void pkcs12AskingForEndlessKeyDerivationIsRefused_data();
    void pkcs12AskingForEndlessKeyDerivationIsRefused();
    void operationFailuresHaveTheirCodesAndOnlyLibraryOnesAreLogged_data();
    void operationFailuresHaveTheirCodesAndOnlyLibraryOnesAreLogged();
    void legacyProviderComesOnlyFromTheProgramsModules_data();
    void legacyProviderComesOnlyFromTheProgramsModules();

    void signatureIsOpensslsSignature_data();
    void signatureIsOpensslsSignature();
    void verificationJudgesSignatureAndText_data();
    void verificationJudgesSignatureAndText();

    void encryptionInteroperatesWithOpenssl_data();
    void encryptionInteroperatesWithOpenssl();
    void textsRoundTripInOneBlockPerChunk_data();
    void textsRoundTripInOneBlockPerChunk();
    void severalThreadsGiveWhatOneThreadGives_data();
    void severalThreadsGiveWhatOneThreadGives();
    void firstFailingBlockDecidesCodeAndLog_data();
    void firstFailingBlockDecidesCodeAndLog();
    void cancellingStopsTheWorkAndKeepsTheOutput();

    void certificateTextShowsChineseNamesAndSections();
    void asciiCertificatePrintsAsTheStandardPrinter();

    void destroyingOneEngineLeavesAnotherWorking();

private:
    QString file(const QString& name) const { return m_work.filePath(name); }
    // Loads a file of the working directory, of the kind its name gives (PKCS#12 with the tests' password), and
    // expects success.
    void load(SignEngine& engine, const QString& name);
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

void TestSignEngine::load(SignEngine& engine, const QString& name)
{
    engine.fileKind = keyFileKindOf(name, true);
    QCOMPARE(engine.loadKeyFile(file(name).toUtf8(), engine.fileKind == KeyFilePkcs12 ? pki::kP12Password : ""), 0);
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
    QTest::newRow("doubled backslashes count as one slash")
        << "./\\\\cert.p12" << KeyFilePkcs12 << QByteArray("secret123") << 0 << true << true;
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
    WorkDirectory::removeLog();
    // The right pass phrase of the encrypted keys, should anything ask for it.
    const PassphrasePrompts prompts(pki::kKeyPassphrase);
    QCOMPARE(engine.loadKeyFile(file(name).toUtf8(), password), code);
    QCOMPARE(prompts.count(), 0);
    QCOMPARE(engine.hasPrivateKey, privateKey);
    QCOMPARE(engine.hasCertificate, certificate);
    // Every failure but an unknown kind is the library's, and logged.
    const int logged = engineErrorLines();
    QVERIFY(logged >= 0);
    if (code != 0)
        QCOMPARE(logged > 0, code != SignEngine::UnknownFileKind);
    if (code == 0) {
        bool match = false;
        QByteArray text;
        QCOMPARE(engine.verifyText(QByteArray(256, '\0').toBase64(), "x", match), 0);
        QCOMPARE(engine.certificateText(text), certificate ? 0 : SignEngine::NoCertificateLoaded);
    }
}

void TestSignEngine::failedLoadDropsThePrivateKey()
{
    SignEngine engine;
    load(engine, "cert.p12");
    QCOMPARE(engine.loadKeyFile(file("missing.p12").toUtf8(), "secret123"), SignEngine::KeyFileNotOpened);
    QVERIFY(!engine.hasPrivateKey);
    QByteArray signature;
    QCOMPARE(engine.signText("x", signature), SignEngine::NoPrivateKeyToSign);
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
    WorkDirectory::removeLog();
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(engine.loadKeyFile(file("hostile.p12").toUtf8(), "secret123"), code);
    QCOMPARE(engine.hasPrivateKey, code == 0);
    if (code != 0) {
        // Refused before any key derivation, so at once.
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(WorkDirectory::logText().contains("] cert sign util error. the PKCS#12 file asks"));
    }
}

namespace {
enum Step { Load, Sign, Verify, CertificateText, EncryptPublic, EncryptPrivate, DecryptPublic, DecryptPrivate };
}

void TestSignEngine::operationFailuresHaveTheirCodesAndOnlyLibraryOnesAreLogged_data()
{
    QTest::addColumn<QString>("name"); // empty: no file loaded
    QTest::addColumn<int>("step");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("logged");
    const QByteArray none;
    // Load failures are logged (see everyFileKindLoadsWithItsFlags), but not a failed first reading of the file.
    QTest::newRow("20006 on the way to a certificate") << "ec_key_and_cert.pem" << int(Load) << none << 0 << false;
    QTest::newRow("public key after no private key") << "pub.pem" << int(Load) << none << 0 << false;
    QTest::newRow("20100") << "cert.cer" << int(Sign) << QByteArray("x") << int(SignEngine::NoPrivateKeyToSign)
                           << false;
    QTest::newRow("20100 without key") << "" << int(Sign) << QByteArray("x") << int(SignEngine::NoPrivateKeyToSign)
                                       << false;
    QTest::newRow("20210") << "" << int(Verify) << QByteArray("YWJj") << int(SignEngine::NoKeyToVerify) << false;
    QTest::newRow("20211") << "cert.cer" << int(Verify) << QByteArray("YWJj\n") << int(SignEngine::SignatureNotBase64)
                           << false;
    QTest::newRow("mismatch") << "cert.cer" << int(Verify) << QByteArray(256, 'x').toBase64() << 0 << true;
    QTest::newRow("20330") << "" << int(CertificateText) << none << int(SignEngine::NoCertificateLoaded) << false;
    QTest::newRow("20310") << "" << int(EncryptPublic) << QByteArray("x") << int(SignEngine::NoKeyToCrypt) << false;
    QTest::newRow("20311 encrypting") << "cert.cer" << int(EncryptPrivate) << QByteArray("x")
                                      << int(SignEngine::NoPrivateKeyToCrypt) << false;
    QTest::newRow("20311 decrypting") << "cert.cer" << int(DecryptPrivate) << QByteArray("YWJj")
                                      << int(SignEngine::NoPrivateKeyToCrypt) << false;
    QTest::newRow("20313") << "key.pem" << int(DecryptPrivate) << QByteArray("YWJ")
                           << int(SignEngine::CipherTextNotBase64) << false;
    QTest::newRow("20313 line break") << "key.pem" << int(DecryptPrivate) << QByteArray("YWJj\nYWJj")
                                      << int(SignEngine::CipherTextNotBase64) << false;
    QTest::newRow("20315 empty text to encrypt")
        << "key.pem" << int(EncryptPublic) << none << int(SignEngine::CipherTextNotEncoded) << false;
    // Its Base64 ciphertext would not fit in a QByteArray; refused before a byte of it is read (or touched).
    QTest::newRow("20316 text too large to encrypt")
        << "key.pem" << int(EncryptPublic) << QByteArray(1600 * 1000 * 1000, Qt::Uninitialized)
        << int(SignEngine::TextTooLarge) << false;
    QTest::newRow("20301 no RSA block") << "key.pem" << int(DecryptPrivate) << QByteArray(256, 'x').toBase64()
                                        << int(SignEngine::RsaBlockFailed) << true;
    QTest::newRow("20301 piece of a block") << "key.pem" << int(DecryptPrivate) << QByteArray(300, 'x').toBase64()
                                            << int(SignEngine::RsaBlockFailed) << true;
    const QByteArray cipher = openssl(
        {"pkeyutl", "-encrypt", "-pubin", "-inkey", "pub.pem", "-pkeyopt", "rsa_padding_mode:pkcs1"}, kChineseText);
    QByteArray damaged = cipher;
    damaged[100] = char(damaged[100] ^ 0x40);
    QTest::newRow("20301 wrong direction")
        << "key.pem" << int(DecryptPublic) << cipher.toBase64() << int(SignEngine::RsaBlockFailed) << true;
    QTest::newRow("20301 damaged block") << "key.pem" << int(DecryptPrivate) << damaged.toBase64()
                                         << int(SignEngine::RsaBlockFailed) << true;
    QTest::newRow("20301 other key") << "other.pem" << int(DecryptPrivate) << cipher.toBase64()
                                     << int(SignEngine::RsaBlockFailed) << true;
    QTest::newRow("encryption") << "key.pem" << int(EncryptPublic) << QByteArray("x") << 0 << false;
    QTest::newRow("empty text to decrypt") << "key.pem" << int(DecryptPrivate) << none << 0 << false;
}

void TestSignEngine::operationFailuresHaveTheirCodesAndOnlyLibraryOnesAreLogged()
{
    QFETCH(QString, name);
    QFETCH(int, step);
    QFETCH(QByteArray, input);
    QFETCH(int, code);
    QFETCH(bool, logged);
    SignEngine engine;
    if (step != Load && !name.isEmpty())
        load(engine, name);
    WorkDirectory::removeLog();

    QByteArray output("untouched");
    bool match = true;
    int result = -1;
    switch (step) {
    case Load:
        engine.fileKind = keyFileKindOf(name, true);
        result = engine.loadKeyFile(file(name).toUtf8(), QByteArray());
        break;
    case Sign:
        result = engine.signText(input, output);
        break;
    case Verify:
        result = engine.verifyText(input, "x", match);
        QVERIFY(!match);
        break;
    case CertificateText:
        result = engine.certificateText(output);
        break;
    default:
        result = engine.cryptText(step == EncryptPublic || step == DecryptPublic,
                                  step == EncryptPublic || step == EncryptPrivate, input, output);
    }
    QCOMPARE(result, code);
    if (code != 0)
        QCOMPARE(output, QByteArray("untouched"));
    else if (step == DecryptPrivate)
        QCOMPARE(output, QByteArray()); // an empty text decrypts to nothing
    const int lines = engineErrorLines();
    QVERIFY(lines >= 0);
    QCOMPARE(lines > 0, logged);
}

void TestSignEngine::legacyProviderComesOnlyFromTheProgramsModules_data()
{
    QTest::addColumn<QString>("folder");   // where a copy of this program runs; empty: this program, from the work
    QTest::addColumn<QString>("modules");  // OPENSSL_MODULES; empty: not set
    QTest::addColumn<bool>("planted");     // a module and a configuration at the library's built-in paths
    QTest::addColumn<QByteArray>("codes"); // triple-DES needs only the default provider, RC2-40 the legacy one
    const QByteArray withLegacy = "des.p12 0 0, legacy.p12 0 0";
    const QByteArray without = "des.p12 0 0, legacy.p12 20061 10012"; // the usual wrong-password codes
    QTest::newRow("OPENSSL_MODULES without the module") << QString() << "modules" << false << without;
    // The module is loaded by its UTF-16 name, whatever the ANSI code page: under Wine this runs as on a Western
    // (1252) and, as tst_signengine_cp936, on a Chinese Windows (936).
    QTest::newRow("beside a copy in a Chinese folder") << "张三/桌面/证书 工具" << QString() << false << withLegacy;
#ifdef Q_OS_WIN
    // The library's built-in directories are paths of the machine that built it; on the current drive any user
    // may create them. Neither the module nor the configuration (which would allow FIPS algorithms only) is read.
    QTest::newRow("module and configuration planted at the built-in paths")
        << "without-modules" << QString() << true << without;
#endif
}

void TestSignEngine::legacyProviderComesOnlyFromTheProgramsModules()
{
    QFETCH(QString, folder);
    QFETCH(QString, modules);
    QFETCH(bool, planted);
    QFETCH(QByteArray, codes);
    // The providers are loaded once per process, so a fresh one of this program loads the files.
    const QString work = WorkDirectory::freshDirectory(folder.isEmpty() ? "no-legacy" : folder);
    QString program = QCoreApplication::applicationFilePath();
    if (!folder.isEmpty()) {
        program = work + '/' + QFileInfo(program).fileName();
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), program));
        const QString shipped = QCoreApplication::applicationDirPath() + "/ossl-modules/legacy.dll";
        QVERIFY(planted || !QFileInfo::exists(shipped) ||
                (QDir().mkpath(work + "/ossl-modules") && QFile::copy(shipped, work + "/ossl-modules/legacy.dll")));
    }
    for (const QString& name : {QStringLiteral("des.p12"), QStringLiteral("legacy.p12")})
        QVERIFY(QFile::copy(file(name), work + '/' + name));
    // The built-in paths lie on the drive of the copy's working folder, which is Wine's own drive C:.
    const QString drive = work.left(2);
    const QString plantedModule = drive + OPENSSL_info(OPENSSL_INFO_MODULES_DIR) + "/legacy.dll";
    const QString plantedConfig = drive + OPENSSL_info(OPENSSL_INFO_CONFIG_DIR) + "/openssl.cnf";
    if (planted) {
        QVERIFY2(drive.endsWith(':') && drive.compare("Z:", Qt::CaseInsensitive) != 0, qPrintable(work));
        QVERIFY(QDir().mkpath(QFileInfo(plantedModule).path()) && QDir().mkpath(QFileInfo(plantedConfig).path()));
        QFile::remove(plantedModule);
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/ossl-modules/legacy.dll", plantedModule));
        QVERIFY(writeFile(plantedConfig, "openssl_conf = init\n[init]\nalg_section = algorithms\n"
                                         "[algorithms]\ndefault_properties = fips=yes\n"));
    }

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("OPENSSL_MODULES");
    environment.remove("OPENSSL_CONF");
    if (!modules.isEmpty())
        environment.insert("OPENSSL_MODULES", work + '/' + modules);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(work);
    process.start(program, {"--load-pkcs12-files"}, QIODevice::ReadWrite | QIODevice::Text);
    const bool finished = process.waitForFinished(60000);
    if (planted) {
        QFile::remove(plantedModule);
        QFile::remove(plantedConfig);
    }
    QVERIFY(finished);
    QCOMPARE(process.exitCode(), 0);
    const QList<QByteArray> output = process.readAllStandardOutput().trimmed().split('\n');
    QCOMPARE(output.first(), codes);
    if (output.size() > 1)
        qInfo("%s", output.at(1).constData()); // the copy's ANSI code page
    const QByteArray log = readTextFile(work + "/log/certutil_zv.txt");
    QCOMPARE(log.count("legacy provider not loaded"), codes.contains("20061") ? 1 : 0);
    if (!modules.isEmpty())
        QVERIFY2(log.contains("(module directory " + QDir::toNativeSeparators(work + '/' + modules).toUtf8() + ")"),
                 log.constData());
}

// ---- Signatures

void TestSignEngine::signatureIsOpensslsSignature_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("theirKey"); // the same key for openssl
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("PKCS#12") << "cert.p12"
                             << "key.pem" << kChineseText;
    QTest::newRow("empty text") << "key_trad.pem"
                                << "key.pem" << QByteArray("");
    for (const int bits : {1024, 3072, 4096})
        QTest::newRow(qPrintable(QString("%1 bits").arg(bits))) << rsaKey(bits) << rsaKey(bits) << kChineseText;
}

void TestSignEngine::signatureIsOpensslsSignature()
{
    QFETCH(QString, key);
    QFETCH(QString, theirKey);
    QFETCH(QByteArray, text);
    SignEngine engine;
    load(engine, key);
    QByteArray signature;
    QCOMPARE(engine.signText(text, signature), 0);
    // The padding has no randomness: the very signature that openssl makes.
    QCOMPARE(signature, openssl({"dgst", "-sha256", "-sign", theirKey}, text).toBase64());
    bool match = false;
    QCOMPARE(engine.verifyText(signature, text, match), 0);
    QVERIFY(match);
}

void TestSignEngine::verificationJudgesSignatureAndText_data()
{
    QTest::addColumn<QString>("verifier");
    QTest::addColumn<QByteArray>("signature");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("match");
    const QByteArray theirs = openssl({"dgst", "-sha256", "-sign", "key.pem"}, kChineseText).toBase64();
    QByteArray changed = kChineseText;
    changed[3] = char(changed[3] ^ 1);
    QTest::newRow("PKCS#12") << "cert.p12" << theirs << kChineseText << 0 << true;
    QTest::newRow("DER certificate") << "cert.cer" << theirs << kChineseText << 0 << true;
    QTest::newRow("PEM public key") << "pub.pem" << theirs << kChineseText << 0 << true;
    QTest::newRow("changed text") << "cert.p12" << theirs << changed << 0 << false;
    QTest::newRow("other key") << "other_pub.pem" << theirs << kChineseText << 0 << false;
    // Checked with zeros behind it. The last four bytes go: one byte alone is zero in one signature of 256.
    QTest::newRow("shortened") << "cert.p12" << theirs.left(336) << kChineseText << 0 << false;
    QTest::newRow("empty") << "cert.p12" << QByteArray() << kChineseText << 0 << false;
    QTest::newRow("line break after 64 characters") << "cert.p12" << theirs.left(64) + '\n' + theirs.mid(64)
                                                    << kChineseText << int(SignEngine::SignatureNotBase64) << false;
    QTest::newRow("longer than a signature")
        << "cert.p12" << theirs + "AAAA" << kChineseText << int(SignEngine::SignatureNotBase64) << false;
}

void TestSignEngine::verificationJudgesSignatureAndText()
{
    QFETCH(QString, verifier);
    QFETCH(QByteArray, signature);
    QFETCH(QByteArray, text);
    QFETCH(int, code);
    QFETCH(bool, match);
    SignEngine engine;
    load(engine, verifier);
    bool matched = !match;
    QCOMPARE(engine.verifyText(signature, text, matched), code);
    QCOMPARE(matched, match);
}

// ---- Encryption

void TestSignEngine::encryptionInteroperatesWithOpenssl_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("theirKey"); // the same key for openssl
    QTest::addColumn<bool>("usePublicKey");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("theirChunk"); // openssl's own chunks need not be full; it signs at most 64 raw bytes
    QTest::newRow("public key") << "cert.p12"
                                << "key.pem" << true << 256 << 245;
    QTest::newRow("public key, short chunks") << "cert.p12"
                                              << "key.pem" << true << 256 << 100;
    QTest::newRow("private key") << "key_trad.pem"
                                 << "key.pem" << false << 256 << 60;
    for (const int bits : {1024, 3072, 4096}) {
        QTest::newRow(qPrintable(QString("public key, %1 bits").arg(bits)))
            << rsaKey(bits) << rsaKey(bits) << true << bits / 8 << bits / 8 - 11;
        QTest::newRow(qPrintable(QString("private key, %1 bits").arg(bits)))
            << rsaKey(bits) << rsaKey(bits) << false << bits / 8 << 60;
    }
}

void TestSignEngine::encryptionInteroperatesWithOpenssl()
{
    QFETCH(QString, key);
    QFETCH(QString, theirKey);
    QFETCH(bool, usePublicKey);
    QFETCH(int, bytes);
    QFETCH(int, theirChunk);
    SignEngine engine;
    load(engine, key);
    const QStringList options = {"-inkey", theirKey, "-pkeyopt", "rsa_padding_mode:pkcs1"};
    const QByteArray text = repeated(kChineseText, 3 * (bytes - 11) + 1);
    QByteArray cipher, plain;
    QCOMPARE(engine.cryptText(usePublicKey, true, text, cipher), 0);
    const QByteArray blocks = QByteArray::fromBase64(cipher);
    QCOMPARE(blocks.size(), 4 * bytes);
    QCOMPARE(
        opensslBlockwise(QStringList{"pkeyutl", usePublicKey ? "-decrypt" : "-verifyrecover"} + options, blocks, bytes),
        text);

    // The bytes of every block are joined, whatever their number.
    const QByteArray theirs =
        opensslBlockwise(QStringList{"pkeyutl", usePublicKey ? "-encrypt" : "-sign"} + options, text, theirChunk);
    QCOMPARE(engine.cryptText(!usePublicKey, false, theirs.toBase64(), plain), 0);
    QCOMPARE(plain, text);
    // Type 1 padding (private key) has no randomness, so the blocks are openssl's; type 2 (public key) is random.
    QCOMPARE(engine.cryptText(usePublicKey, true, text.left(theirChunk), cipher), 0);
    QCOMPARE(QByteArray::fromBase64(cipher) == theirs.left(bytes), !usePublicKey);
}

void TestSignEngine::textsRoundTripInOneBlockPerChunk_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("blocks");
    for (const int length : {1, 245, 246, 490, 491, 100000})
        QTest::newRow(qPrintable(QString::number(length))) << repeated(kChineseText, length) << (length + 244) / 245;
    QTest::newRow("zero bytes survive") << QByteArray("a\0b\0\0c", 6) << 1;
}

void TestSignEngine::textsRoundTripInOneBlockPerChunk()
{
    QFETCH(QByteArray, text);
    QFETCH(int, blocks);
    SignEngine full, publicOnly;
    load(full, "cert.p12");
    load(publicOnly, "cert.cer");
    QByteArray cipher, plain;
    QCOMPARE(publicOnly.cryptText(true, true, text, cipher), 0);
    QCOMPARE(cipher.size(), (blocks * 256 + 2) / 3 * 4);
    QCOMPARE(full.cryptText(false, false, cipher, plain), 0);
    QCOMPARE(plain, text);
    QCOMPARE(full.cryptText(false, true, text, cipher), 0);
    QCOMPARE(cipher.size(), (blocks * 256 + 2) / 3 * 4);
    QCOMPARE(publicOnly.cryptText(true, false, cipher, plain), 0);
    QCOMPARE(plain, text);
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

    QStringList logged;
    // Which thread meets which block first varies from run to run: several runs on four threads.
    for (const int threads : {1, 4, 4, 4, 4, 4}) {
        WorkDirectory::removeLog();
        QByteArray output("untouched");
        QCOMPARE(cryptOn(threads, engine, usePublicKey, false, input, output), code);
        QCOMPARE(output, QByteArray("untouched"));
        const QByteArray line = WorkDirectory::logText().trimmed();
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

// ---- Certificate text

void TestSignEngine::certificateTextShowsChineseNamesAndSections()
{
    SignEngine engine;
    load(engine, "legacy.p12");
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
    load(first, "legacy.p12");
    {
        auto second = std::make_unique<SignEngine>();
        load(*second, "legacy.p12");
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
    load(third, "legacy.p12");
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
#ifdef Q_OS_WIN
    // The ANSI code page, in which a library would read a path handed to it as bytes.
    std::printf("code page %u\n", GetACP());
#endif
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
