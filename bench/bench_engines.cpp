// Measures the engines against libcrypto doing the same work by hand, interleaved in one run: signing,
// verification, encryption and decryption of a 1 MiB text with a 2048-bit key, the Base64 codec on 16 MiB
// against EVP_EncodeBlock/EVP_DecodeBlock, the certificate request, loading each kind of key file and printing a
// certificate. Prints the best time of each side and the ratio libcrypto / engine (1.00 means no overhead,
// above 1 faster than libcrypto). The engine's encryption and decryption share the blocks among the cores,
// libcrypto's loop runs on one: for 10 MiB with the private key the engine runs with its threads limited to 1
// and 2 and with all the cores it sees. Then the peak memory of signing and encrypting a 100 MiB text and
// decrypting a 10 MiB one. Not a test: build it in Release (-DCERTUTIL_BUILD_BENCH=ON) and run it by hand.
//   bench_engines          everything (several minutes)
//   bench_engines speed    the comparisons of 1 MiB, the files and the codec
//   bench_engines cores    10 MiB with the private key, by thread count
//   bench_engines codec    the codec only (seconds)
//   bench_engines memory   the peak memory only
#include "certengine/certengine.h"
#include "signengine/base64.h"
#include "signengine/signengine.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

constexpr int kTextSize = 1 << 20;
constexpr int kCodecSize = 16 << 20;
constexpr int kLargeText = 100 << 20;
constexpr int kLargeCipherText = 10 << 20;
const char kPassword[] = "bench-password";
// What the certificate engine puts into every request.
const char* const kSubject[][2] = {{"C", "CN"},
                                   {"ST", "GuangDong"},
                                   {"L", "ShenZhen"},
                                   {"O", "Zorvik商户系统"},
                                   {"OU", "深圳市测试商户有限公司"},
                                   {"CN", "898110000000001"}};
// The certificate printer's flags in the signing engine: names as UTF-8, without blanks around "=".
constexpr unsigned long kNameFlags =
    (XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB & ~XN_FLAG_SPC_EQ) | ASN1_STRFLGS_UTF8_CONVERT;

volatile std::size_t g_sink = 0;

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "bench_engines: %s failed\n", what);
    std::exit(1);
}

double secondsOf(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Best of several rounds, the two sides taking turns so that drifts of the machine hit both alike.
void compare(const char* name, int rounds, int repeats, const std::function<void()>& engine,
             const std::function<void()>& raw, const char* engineLabel = "engine")
{
    double best[2] = {1e30, 1e30};
    for (int round = 0; round < rounds; ++round) {
        const bool engineFirst = round % 2 == 0;
        for (int side = 0; side < 2; ++side) {
            const bool isEngine = (side == 0) == engineFirst;
            const auto& work = isEngine ? engine : raw;
            const double t = secondsOf([&] {
                for (int i = 0; i < repeats; ++i)
                    work();
            });
            double& slot = best[isEngine ? 0 : 1];
            slot = std::min(slot, t / repeats);
        }
    }
    std::printf("%-22s %s %10.3f ms   openssl %10.3f ms   ratio %.3f\n", name, engineLabel, best[0] * 1e3,
                best[1] * 1e3, best[1] / best[0]);
    std::fflush(stdout);
}

// Printable bytes, none of them zero (a zero byte ends a decrypted text).
QByteArray printableText(int size, std::uint32_t seed)
{
    QByteArray text(size, Qt::Uninitialized);
    for (char& c : text) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>('!' + (seed >> 24) % 90);
    }
    return text;
}

QByteArray bioText(BIO* bio)
{
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return QByteArray(data, static_cast<int>(length));
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        fail("writing a key file");
}

// ---- libcrypto by hand, doing what the engines do

QByteArray rawSign(EVP_PKEY* key, const QByteArray& text)
{
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    EVP_PKEY_CTX* pctx = nullptr;
    unsigned char signature[256];
    size_t length = sizeof signature;
    if (EVP_DigestSignInit_ex(md, &pctx, "SHA256", nullptr, nullptr, key, nullptr) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(pctx, RSA_PKCS1_PADDING) <= 0 ||
        EVP_DigestSign(md, signature, &length, reinterpret_cast<const unsigned char*>(text.constData()),
                       static_cast<size_t>(text.size())) != 1)
        fail("raw signing");
    EVP_MD_CTX_free(md);
    QByteArray out(4 * ((int(length) + 2) / 3), Qt::Uninitialized);
    EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), signature, int(length));
    return out;
}

bool rawVerify(EVP_PKEY* key, const QByteArray& signatureText, const QByteArray& text)
{
    unsigned char signature[258];
    const int length = EVP_DecodeBlock(signature, reinterpret_cast<const unsigned char*>(signatureText.constData()),
                                       signatureText.size());
    if (length < 256)
        fail("raw signature decoding");
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    EVP_PKEY_CTX* pctx = nullptr;
    const bool ok = EVP_DigestVerifyInit_ex(md, &pctx, "SHA256", nullptr, nullptr, key, nullptr) == 1 &&
                    EVP_PKEY_CTX_set_rsa_padding(pctx, RSA_PKCS1_PADDING) > 0 &&
                    EVP_DigestVerify(md, signature, 256, reinterpret_cast<const unsigned char*>(text.constData()),
                                     static_cast<size_t>(text.size())) == 1;
    EVP_MD_CTX_free(md);
    return ok;
}

// Runs blockWork(first, end) over [0, blocks) split into as many equal runs as threads, one thread each.
void splitAmong(int threads, int blocks, const std::function<void(int, int)>& blockWork)
{
    std::vector<std::thread> helpers;
    const int share = (blocks + threads - 1) / threads;
    for (int first = share; first < blocks; first += share)
        helpers.emplace_back(blockWork, first, std::min(first + share, blocks));
    blockWork(0, std::min(share, blocks));
    for (std::thread& helper : helpers)
        helper.join();
}

// With the public key, or (privateKey) with the private key: PKCS#1 type 1, as a raw signature. On one thread
// unless told otherwise, each with its own context.
QByteArray rawEncrypt(EVP_PKEY* key, const QByteArray& text, bool privateKey = false, int threads = 1)
{
    const int blocks = (text.size() + 244) / 245;
    QByteArray cipher(blocks * 256, Qt::Uninitialized);
    splitAmong(threads, blocks, [&](int first, int end) {
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr);
        if ((privateKey ? EVP_PKEY_sign_init(ctx) : EVP_PKEY_encrypt_init(ctx)) <= 0 ||
            EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) <= 0)
            fail("raw encryption set-up");
        for (int i = first; i < end; ++i) {
            size_t written = 256;
            const int chunk = std::min(245, text.size() - 245 * i);
            auto* out = reinterpret_cast<unsigned char*>(cipher.data()) + 256 * i;
            const auto* in = reinterpret_cast<const unsigned char*>(text.constData()) + 245 * i;
            if ((privateKey ? EVP_PKEY_sign(ctx, out, &written, in, size_t(chunk))
                            : EVP_PKEY_encrypt(ctx, out, &written, in, size_t(chunk))) <= 0)
                fail("raw encryption");
        }
        EVP_PKEY_CTX_free(ctx);
    });
    QByteArray out(4 * ((cipher.size() + 2) / 3), Qt::Uninitialized);
    EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), reinterpret_cast<unsigned char*>(cipher.data()),
                    cipher.size());
    return out;
}

// With the private key, on one thread unless told otherwise.
QByteArray rawDecrypt(EVP_PKEY* key, const QByteArray& cipherText, int threads = 1)
{
    QByteArray cipher(cipherText.size() / 4 * 3, Qt::Uninitialized);
    int decoded = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(cipher.data()),
                                  reinterpret_cast<const unsigned char*>(cipherText.constData()), cipherText.size());
    // EVP_DecodeBlock counts the padding as bytes.
    if (decoded >= 0 && cipherText.endsWith('='))
        decoded -= cipherText.endsWith("==") ? 2 : 1;
    if (decoded < 0 || decoded % 256 != 0)
        fail("raw ciphertext decoding");
    const int blocks = decoded / 256;
    QByteArray plain(blocks * 245, Qt::Uninitialized);
    std::vector<int> lengths(static_cast<size_t>(blocks));
    splitAmong(threads, blocks, [&](int first, int end) {
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr);
        if (EVP_PKEY_decrypt_init(ctx) <= 0 || EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) <= 0)
            fail("raw decryption set-up");
        unsigned char block[256];
        for (int i = first; i < end; ++i) {
            size_t written = sizeof block;
            if (EVP_PKEY_decrypt(ctx, block, &written,
                                 reinterpret_cast<const unsigned char*>(cipher.constData()) + 256 * i, 256) <= 0)
                fail("raw decryption");
            std::copy(block, block + written, plain.data() + 245 * i);
            lengths[size_t(i)] = int(written);
        }
        EVP_PKEY_CTX_free(ctx);
    });
    int produced = 0;
    for (int i = 0; i < blocks; ++i) {
        std::memmove(plain.data() + produced, plain.data() + 245 * i, size_t(lengths[size_t(i)]));
        produced += lengths[size_t(i)];
    }
    plain.truncate(produced);
    return plain;
}

X509_NAME* subjectName()
{
    X509_NAME* name = X509_NAME_new();
    for (const auto& entry : kSubject) {
        if (!X509_NAME_add_entry_by_txt(name, entry[0], MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(entry[1]),
                                        -1, -1, 0))
            fail("a subject entry");
    }
    return name;
}

QByteArray rawRequest(EVP_PKEY* key)
{
    X509_REQ* request = X509_REQ_new();
    X509_NAME* name = subjectName();
    BIO* bio = BIO_new(BIO_s_mem());
    if (X509_REQ_set_version(request, 0) != 1 || X509_REQ_set_pubkey(request, key) != 1 ||
        X509_REQ_set_subject_name(request, name) != 1 || X509_REQ_sign(request, key, EVP_sha256()) <= 0 ||
        PEM_write_bio_X509_REQ(bio, request) != 1)
        fail("raw request");
    const QByteArray text = bioText(bio);
    BIO_free(bio);
    X509_NAME_free(name);
    X509_REQ_free(request);
    return text;
}

// A certificate of the key with the subject of a request, self-signed.
X509* makeCertificate(EVP_PKEY* key)
{
    X509* cert = X509_new();
    X509_NAME* name = subjectName();
    if (X509_set_version(cert, 2) != 1 || ASN1_INTEGER_set(X509_get_serialNumber(cert), 1) != 1 ||
        X509_set_subject_name(cert, name) != 1 || X509_set_issuer_name(cert, name) != 1 ||
        !X509_gmtime_adj(X509_getm_notBefore(cert), 0) || !X509_gmtime_adj(X509_getm_notAfter(cert), 86400L * 365) ||
        X509_set_pubkey(cert, key) != 1 || X509_sign(cert, key, EVP_sha256()) <= 0)
        fail("the certificate");
    X509_NAME_free(name);
    return cert;
}

// As the certificate engine writes cert.p12: triple DES for both bags, 2048 iterations, a SHA-1 MAC.
QByteArray makePkcs12(EVP_PKEY* key, X509* cert)
{
    PKCS12* pkcs12 =
        PKCS12_create(kPassword, "Zorvik Certificate", key, cert, nullptr, NID_pbe_WithSHA1And3_Key_TripleDES_CBC,
                      NID_pbe_WithSHA1And3_Key_TripleDES_CBC, 2048, -1, 0);
    BIO* bio = BIO_new(BIO_s_mem());
    if (!pkcs12 || PKCS12_set_mac(pkcs12, kPassword, -1, nullptr, 0, 2048, EVP_sha1()) != 1 ||
        i2d_PKCS12_bio(bio, pkcs12) != 1)
        fail("the PKCS#12 file");
    const QByteArray der = bioText(bio);
    BIO_free(bio);
    PKCS12_free(pkcs12);
    return der;
}

void rawLoadPkcs12(const QByteArray& path)
{
    BIO* file = BIO_new_file(path.constData(), "rb");
    PKCS12* pkcs12 = file ? d2i_PKCS12_bio(file, nullptr) : nullptr;
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    if (!pkcs12 || PKCS12_parse(pkcs12, kPassword, &key, &cert, nullptr) != 1)
        fail("raw PKCS#12 loading");
    g_sink += EVP_PKEY_get_base_id(key);
    EVP_PKEY_free(key);
    X509_free(cert);
    PKCS12_free(pkcs12);
    BIO_free(file);
}

void rawLoadCertificate(const QByteArray& path)
{
    BIO* file = BIO_new_file(path.constData(), "rb");
    X509* cert = file ? d2i_X509_bio(file, nullptr) : nullptr;
    EVP_PKEY* key = cert ? X509_get_pubkey(cert) : nullptr;
    if (!key)
        fail("raw certificate loading");
    g_sink += EVP_PKEY_get_base_id(key);
    EVP_PKEY_free(key);
    X509_free(cert);
    BIO_free(file);
}

void rawLoadPemKey(const QByteArray& path)
{
    BIO* file = BIO_new_file(path.constData(), "rb");
    EVP_PKEY* key = file ? PEM_read_bio_PrivateKey(file, nullptr, nullptr, nullptr) : nullptr;
    if (!key)
        fail("raw PEM loading");
    g_sink += EVP_PKEY_get_base_id(key);
    EVP_PKEY_free(key);
    BIO_free(file);
}

QByteArray rawCertificateText(X509* cert)
{
    BIO* bio = BIO_new(BIO_s_mem());
    X509_print_ex(bio, cert, kNameFlags, X509_FLAG_COMPAT);
    const QByteArray text = bioText(bio);
    BIO_free(bio);
    return text;
}

// ---- the measurements

struct Material
{
    QTemporaryDir dir;
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    QByteArray pemPath, cerPath, p12Path;
};

void prepare(Material& m)
{
    m.key = EVP_RSA_gen(2048);
    if (!m.key || !m.dir.isValid())
        fail("key generation");
    m.cert = makeCertificate(m.key);
    m.pemPath = m.dir.filePath(QStringLiteral("key.pem")).toUtf8();
    m.cerPath = m.dir.filePath(QStringLiteral("cert.cer")).toUtf8();
    m.p12Path = m.dir.filePath(QStringLiteral("cert.p12")).toUtf8();
    BIO* bio = BIO_new(BIO_s_mem());
    if (!PEM_write_bio_PrivateKey(bio, m.key, nullptr, nullptr, 0, nullptr, nullptr))
        fail("writing the key");
    writeFile(QString::fromUtf8(m.pemPath), bioText(bio));
    BIO_free(bio);
    unsigned char* der = nullptr;
    const int derLength = i2d_X509(m.cert, &der);
    if (derLength <= 0)
        fail("writing the certificate");
    writeFile(QString::fromUtf8(m.cerPath), QByteArray(reinterpret_cast<char*>(der), derLength));
    OPENSSL_free(der);
    writeFile(QString::fromUtf8(m.p12Path), makePkcs12(m.key, m.cert));
}

void loadInto(SignEngine& engine, KeyFileKind kind, const QByteArray& path, const char* password = kPassword)
{
    engine.fileKind = kind;
    if (engine.loadKeyFile(path, password) != 0)
        fail("loading a key file into the engine");
}

void measureCrypto(Material& m)
{
    SignEngine engine;
    loadInto(engine, KeyFilePem, m.pemPath);
    const QByteArray text = printableText(kTextSize, 7);
    QByteArray signature, cipherText, plain;
    bool match = false;
    if (engine.signText(text, signature) != 0 || signature != rawSign(m.key, text))
        fail("signing");
    if (engine.verifyText(signature, text, match) != 0 || !match || !rawVerify(m.key, signature, text))
        fail("verification");
    if (engine.cryptText(true, true, text, cipherText) != 0 || rawDecrypt(m.key, cipherText) != text)
        fail("encryption");
    if (engine.cryptText(false, false, rawEncrypt(m.key, text), plain) != 0 || plain != text)
        fail("decryption");

    std::printf("1 MiB text, 2048-bit key (ratio = openssl time / engine time)\n");
    compare(
        "sign", 15, 30, [&] { g_sink += engine.signText(text, signature) + signature.size(); },
        [&] { g_sink += rawSign(m.key, text).size(); });
    compare(
        "verify", 15, 30, [&] { g_sink += engine.verifyText(signature, text, match) + match; },
        [&] { g_sink += rawVerify(m.key, signature, text); });
    compare(
        "encrypt (public)", 5, 2, [&] { g_sink += engine.cryptText(true, true, text, cipherText); },
        [&] { g_sink += rawEncrypt(m.key, text).size(); });
    compare(
        "decrypt (private)", 3, 1, [&] { g_sink += engine.cryptText(false, false, cipherText, plain); },
        [&] { g_sink += rawDecrypt(m.key, cipherText).size(); });
}

// 10 MiB with the private key, where the cores pay: decrypting a 10 MiB ciphertext text and encrypting a
// 10 MiB text (private-key encryption, deterministic, so both sides must give the same text).
void measureCores(Material& m)
{
    SignEngine engine;
    loadInto(engine, KeyFilePem, m.pemPath);
    const QByteArray text = printableText(kLargeCipherText, 9);
    const int plainSize = (kLargeCipherText / 4 * 3) / 256 * 245;
    const QByteArray plain = printableText(plainSize, 5);
    const QByteArray cipherText = rawEncrypt(m.key, plain);
    QByteArray out;
    if (engine.cryptText(false, false, cipherText, out) != 0 || out != plain)
        fail("decrypting 10 MiB");
    if (engine.cryptText(false, true, text, out) != 0 || out != rawEncrypt(m.key, text, true))
        fail("encrypting 10 MiB");

    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    std::printf("10 MiB with the private key; openssl's loop on one core against the engine on 1, 2 and all %d "
                "threads the machine has, and against the same loop split among 2 threads, the most that two "
                "cores give at the moment (ratio = one-core openssl time / other time)\n",
                cores);
    std::vector<int> counts{1, 2};
    if (cores > 2)
        counts.push_back(0);
    for (const bool decrypt : {true, false}) {
        const QByteArray what = decrypt ? "decrypt" : "encrypt";
        const auto raw = [&](int threads) {
            g_sink +=
                (decrypt ? rawDecrypt(m.key, cipherText, threads) : rawEncrypt(m.key, text, true, threads)).size();
        };
        for (const int threads : counts) {
            SignEngine::CryptControl control;
            control.threads = threads;
            const QByteArray label = threads ? QByteArray::number(threads) : QByteArray::number(cores);
            compare((what + ", " + label + (threads == 1 ? " thread" : " threads")).constData(), 2, 1,
                    [&] {
                        g_sink +=
                            engine.cryptText(false, !decrypt, decrypt ? cipherText : text, out, &control) + out.size();
                    },
                    [&] { raw(1); });
        }
        compare((what + ", 2 threads").constData(), 2, 1, [&] { raw(2); }, [&] { raw(1); }, "openssl");
    }
}

void measureFiles(Material& m)
{
    std::printf("Key files, request and certificate text\n");
    SignEngine engine;
    compare(
        "load PKCS#12", 11, 10, [&] { loadInto(engine, KeyFilePkcs12, m.p12Path); }, [&] { rawLoadPkcs12(m.p12Path); });
    compare(
        "load DER certificate", 15, 500, [&] { loadInto(engine, KeyFileCertificate, m.cerPath); },
        [&] { rawLoadCertificate(m.cerPath); });
    compare(
        "load PEM key", 15, 200, [&] { loadInto(engine, KeyFilePem, m.pemPath); }, [&] { rawLoadPemKey(m.pemPath); });

    CertEngine* certEngine = CertEngine::instance();
    compare(
        "cert engine PKCS#12", 11, 10,
        [&] {
            if (certEngine->loadKey(m.p12Path, KeyFilePkcs12, kPassword) != 0)
                fail("loading PKCS#12 into the certificate engine");
        },
        [&] { rawLoadPkcs12(m.p12Path); });
    compare(
        "cert engine PEM key", 15, 200,
        [&] {
            if (certEngine->loadKey(m.pemPath, KeyFilePem, QByteArray()) != 0)
                fail("loading PEM into the certificate engine");
        },
        [&] { rawLoadPemKey(m.pemPath); });

    certEngine->setMerchant(kSubject[5][1], kSubject[4][1]);
    QByteArray csr;
    if (certEngine->makeRequest(csr) != 0 || csr.size() != rawRequest(m.key).size())
        fail("the request");
    compare(
        "request", 15, 50, [&] { g_sink += certEngine->makeRequest(csr) + csr.size(); },
        [&] { g_sink += rawRequest(m.key).size(); });

    loadInto(engine, KeyFileCertificate, m.cerPath);
    QByteArray text;
    if (engine.certificateText(text) != 0 || text != rawCertificateText(m.cert))
        fail("the certificate text");
    compare(
        "print certificate", 15, 500, [&] { g_sink += engine.certificateText(text) + text.size(); },
        [&] { g_sink += rawCertificateText(m.cert).size(); });
}

void measureCodec()
{
    std::vector<unsigned char> bytes(kCodecSize);
    std::uint32_t seed = 11;
    for (unsigned char& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(seed >> 24);
    }
    const int textLength = 4 * ((kCodecSize + 2) / 3);
    std::vector<char> encoded(textLength + 1);
    std::vector<unsigned char> decoded(kCodecSize + 3);
    int written = 0;
    if (base64Encode(bytes.data(), kCodecSize, encoded.data(), textLength + 1, &written) != 0 ||
        base64Decode(encoded.data(), textLength, decoded.data(), kCodecSize, &written) != 0 || written != kCodecSize ||
        !std::equal(bytes.begin(), bytes.end(), decoded.begin()))
        fail("the codec");
    std::vector<unsigned char> rawEncoded(textLength + 1);
    EVP_EncodeBlock(rawEncoded.data(), bytes.data(), kCodecSize);
    if (!std::equal(encoded.begin(), encoded.end(), rawEncoded.begin()))
        fail("the codec against EVP_EncodeBlock");

    std::printf("Base64 of 16 MiB\n");
    compare(
        "encode", 9, 5,
        [&] { g_sink += base64Encode(bytes.data(), kCodecSize, encoded.data(), textLength + 1, &written) + written; },
        [&] { g_sink += EVP_EncodeBlock(rawEncoded.data(), bytes.data(), kCodecSize); });
    compare(
        "decode", 9, 5,
        [&] { g_sink += base64Decode(encoded.data(), textLength, decoded.data(), kCodecSize, &written) + written; },
        [&] {
            g_sink +=
                EVP_DecodeBlock(decoded.data(), reinterpret_cast<const unsigned char*>(encoded.data()), textLength);
        });
}

// Resident set size now and at its peak, in bytes (Linux; -1 elsewhere).
qint64 statusField(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(static_cast<int>(qstrlen(field))).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

// Makes the peak equal to what is resident now, so that the next peak is the operation's own.
bool resetPeak()
{
#ifdef __GLIBC__
    // What the previous side freed goes back to the system, or the next side would reuse it unseen.
    malloc_trim(0);
#endif
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

void measurePeak(const char* name, int textSize, const std::function<void()>& engine, const std::function<void()>& raw)
{
    const double mib = 1024.0 * 1024.0;
    double rise[2] = {0, 0};
    double before[2] = {0, 0};
    for (int side = 0; side < 2; ++side) {
        if (!resetPeak()) {
            std::printf("%-22s peak memory cannot be measured here\n", name);
            return;
        }
        before[side] = statusField("VmRSS:");
        (side == 0 ? engine : raw)();
        rise[side] = statusField("VmHWM:") - before[side];
    }
    std::printf("%-22s text %6.1f MiB   resident before %6.1f MiB   rise: engine %6.1f MiB (%.2f x text)   "
                "openssl %6.1f MiB (%.2f x text)\n",
                name, textSize / mib, before[0] / mib, rise[0] / mib, rise[0] / textSize, rise[1] / mib,
                rise[1] / textSize);
    std::fflush(stdout);
}

void measureMemory(Material& m)
{
    std::printf("Peak memory: how far the resident set rises above what it was with the input in memory\n");
    SignEngine engine;
    loadInto(engine, KeyFilePem, m.pemPath);
    {
        const QByteArray text = printableText(kLargeText, 3);
        QByteArray signature;
        measurePeak(
            "sign 100 MiB", kLargeText,
            [&] {
                if (engine.signText(text, signature) != 0)
                    fail("signing 100 MiB");
            },
            [&] { g_sink += rawSign(m.key, text).size(); });
        measurePeak(
            "encrypt 100 MiB", kLargeText,
            [&] {
                QByteArray cipherText;
                if (engine.cryptText(true, true, text, cipherText) != 0)
                    fail("encrypting 100 MiB");
            },
            [&] { g_sink += rawEncrypt(m.key, text).size(); });
    }
    // A ciphertext text of 10 MiB: whole blocks, as the engine writes them.
    const int plainSize = (kLargeCipherText / 4 * 3) / 256 * 245;
    const QByteArray cipherText = rawEncrypt(m.key, printableText(plainSize, 5));
    measurePeak(
        "decrypt 10 MiB", cipherText.size(),
        [&] {
            QByteArray plain;
            if (engine.cryptText(false, false, cipherText, plain) != 0 || plain.size() != plainSize)
                fail("decrypting 10 MiB");
        },
        [&] { g_sink += rawDecrypt(m.key, cipherText).size(); });
}

} // namespace

int main(int argc, char** argv)
{
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (!mode.isEmpty() && mode != "speed" && mode != "cores" && mode != "codec" && mode != "memory") {
        std::fprintf(stderr, "usage: bench_engines [speed|cores|codec|memory]\n");
        return 2;
    }
    Material material;
    if (mode != "codec")
        prepare(material);
    if (mode.isEmpty() || mode == "speed") {
        measureCrypto(material);
        measureFiles(material);
    }
    if (mode.isEmpty() || mode == "cores")
        measureCores(material);
    if (mode.isEmpty() || mode == "speed" || mode == "codec")
        measureCodec();
    if (mode.isEmpty() || mode == "memory")
        measureMemory(material);
    X509_free(material.cert);
    EVP_PKEY_free(material.key);
    return 0;
}
