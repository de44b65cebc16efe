// Measures the signing engine against libcrypto doing the same work by hand, in the same run: signing,
// verification, encryption and decryption of a 1 MiB text with a 2048-bit key, and the Base64 codec against
// EVP_EncodeBlock/EVP_DecodeBlock. Prints the time of each side and the ratio libcrypto / engine (1.00 means
// no overhead, above 1 faster than libcrypto). Not a test: build it in Release and run it by hand;
// with the argument "codec" only the codec is measured.
#include "signengine/signengine.h"

#include "signengine/base64.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

constexpr int kTextSize = 1 << 20;
volatile std::size_t g_sink = 0;

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "bench_signengine: %s failed\n", what);
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
             const std::function<void()>& raw)
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
    std::printf("%-18s engine %10.3f ms   openssl %10.3f ms   ratio %.3f\n", name, best[0] * 1e3, best[1] * 1e3,
                best[1] / best[0]);
}

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

QByteArray rawEncrypt(EVP_PKEY* key, const QByteArray& text)
{
    const int blocks = (text.size() + 244) / 245;
    QByteArray cipher(blocks * 256, Qt::Uninitialized);
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr);
    if (EVP_PKEY_encrypt_init(ctx) <= 0 || EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) <= 0)
        fail("raw encryption set-up");
    for (int i = 0; i < blocks; ++i) {
        size_t written = 256;
        const int chunk = std::min(245, text.size() - 245 * i);
        if (EVP_PKEY_encrypt(ctx, reinterpret_cast<unsigned char*>(cipher.data()) + 256 * i, &written,
                             reinterpret_cast<const unsigned char*>(text.constData()) + 245 * i, size_t(chunk)) <= 0)
            fail("raw encryption");
    }
    EVP_PKEY_CTX_free(ctx);
    QByteArray out(4 * ((cipher.size() + 2) / 3), Qt::Uninitialized);
    EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), reinterpret_cast<unsigned char*>(cipher.data()),
                    cipher.size());
    return out;
}

QByteArray rawDecrypt(EVP_PKEY* key, const QByteArray& cipherText)
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
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr);
    if (EVP_PKEY_decrypt_init(ctx) <= 0 || EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) <= 0)
        fail("raw decryption set-up");
    unsigned char block[256];
    int produced = 0;
    for (int i = 0; i < blocks; ++i) {
        size_t written = sizeof block;
        if (EVP_PKEY_decrypt(ctx, block, &written, reinterpret_cast<const unsigned char*>(cipher.constData()) + 256 * i,
                             256) <= 0)
            fail("raw decryption");
        std::copy(block, block + written, plain.data() + produced);
        produced += int(written);
    }
    EVP_PKEY_CTX_free(ctx);
    plain.truncate(produced);
    return plain;
}

} // namespace

int main(int argc, char** argv)
{
    // "codec" measures the codec alone, which takes a second instead of half a minute.
    const bool codecOnly = argc > 1 && QByteArray(argv[1]) == "codec";
    QTemporaryDir dir;
    EVP_PKEY* key = EVP_RSA_gen(2048);
    const QByteArray keyPath = dir.filePath(QStringLiteral("key.pem")).toUtf8();
    BIO* out = BIO_new_file(keyPath.constData(), "w");
    if (!key || !out || !PEM_write_bio_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr))
        fail("key generation");
    BIO_free(out);

    SignEngine engine;
    engine.fileKind = KeyFilePem;
    if (engine.loadKeyFile(keyPath, QByteArray()) != 0)
        fail("loading the key");

    QByteArray text(kTextSize, Qt::Uninitialized);
    QRandomGenerator random(7);
    for (char& c : text)
        c = static_cast<char>('!' + random.bounded(90)); // printable: no zero byte to end the text early

    QByteArray signature, cipherText, plain;
    bool match = false;
    if (engine.signText(text, signature) != 0 || signature != rawSign(key, text))
        fail("signing");
    if (engine.verifyText(signature, text, match) != 0 || !match || !rawVerify(key, signature, text))
        fail("verification");
    if (engine.cryptText(true, true, text, cipherText) != 0 || rawDecrypt(key, cipherText) != text)
        fail("encryption");
    if (engine.cryptText(false, false, rawEncrypt(key, text), plain) != 0 || plain != text)
        fail("decryption");

    std::printf("1 MiB text, 2048-bit key (ratio = openssl time / engine time)\n");
    if (!codecOnly) {
        compare(
            "sign", 15, 30, [&] { g_sink += engine.signText(text, signature) + signature.size(); },
            [&] { g_sink += rawSign(key, text).size(); });
        compare(
            "verify", 15, 30, [&] { g_sink += engine.verifyText(signature, text, match) + match; },
            [&] { g_sink += rawVerify(key, signature, text); });
        compare(
            "encrypt (public)", 5, 2, [&] { g_sink += engine.cryptText(true, true, text, cipherText); },
            [&] { g_sink += rawEncrypt(key, text).size(); });
        compare(
            "decrypt (private)", 3, 1, [&] { g_sink += engine.cryptText(false, false, cipherText, plain); },
            [&] { g_sink += rawDecrypt(key, cipherText).size(); });
    }

    // The codec on the same 1 MiB, into buffers sized once.
    std::vector<unsigned char> bytes(kTextSize);
    for (unsigned char& b : bytes)
        b = static_cast<unsigned char>(random.bounded(256));
    const int textLength = 4 * ((kTextSize + 2) / 3);
    std::vector<char> encoded(textLength + 1);
    std::vector<unsigned char> decoded(kTextSize + 3);
    int written = 0;
    if (base64Encode(bytes.data(), kTextSize, encoded.data(), textLength + 1, &written) != 0 ||
        base64Decode(encoded.data(), textLength, decoded.data(), kTextSize, &written) != 0 || written != kTextSize ||
        !std::equal(bytes.begin(), bytes.end(), decoded.begin()))
        fail("the codec");
    std::vector<unsigned char> rawEncoded(textLength + 1);
    EVP_EncodeBlock(rawEncoded.data(), bytes.data(), kTextSize);
    if (!std::equal(encoded.begin(), encoded.end(), rawEncoded.begin()))
        fail("the codec against EVP_EncodeBlock");

    std::printf("Base64 of 1 MiB\n");
    compare(
        "encode", 9, 50,
        [&] { g_sink += base64Encode(bytes.data(), kTextSize, encoded.data(), textLength + 1, &written) + written; },
        [&] { g_sink += EVP_EncodeBlock(rawEncoded.data(), bytes.data(), kTextSize); });
    compare(
        "decode", 9, 50,
        [&] { g_sink += base64Decode(encoded.data(), textLength, decoded.data(), kTextSize, &written) + written; },
        [&] {
            g_sink +=
                EVP_DecodeBlock(decoded.data(), reinterpret_cast<const unsigned char*>(encoded.data()), textLength);
        });
    EVP_PKEY_free(key);
    return 0;
}
