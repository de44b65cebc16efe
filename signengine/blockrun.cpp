#include "signengine/blockrun.h"

#include "signengine/base64.h"

#include <openssl/err.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

BlockRun::BlockRun(EVP_PKEY* key, bool usePublicKey, bool encrypt, qint64 blockCount, SignEngine::CryptControl& control)
    : key(key), usePublicKey(usePublicKey), encrypt(encrypt), blockSize(EVP_PKEY_get_size(key)),
      chunkSize(blockSize - kPaddingOverhead), blockCount(blockCount), share(usePublicKey ? 96 : 3), control(control)
{
}

BlockRun::BlockRun(EVP_PKEY* key, bool usePublicKey, qint64 blockCount, SignEngine::CryptControl& control,
                   const unsigned char* plain, int plainLength, char* text)
    : BlockRun(key, usePublicKey, true, blockCount, control)
{
    this->plain = plain;
    this->plainLength = plainLength;
    this->text = text;
}

BlockRun::BlockRun(EVP_PKEY* key, bool usePublicKey, qint64 blockCount, SignEngine::CryptControl& control,
                   unsigned char* cipher, quint16* lengths)
    : BlockRun(key, usePublicKey, false, blockCount, control)
{
    this->cipher = cipher;
    this->lengths = lengths;
}

int BlockRun::run()
{
    control.blocksTotal.store(blockCount);
    control.blocksDone.store(0);
    const qint64 shares = (blockCount + share - 1) / share;
    const int wanted = control.threads > 0 ? control.threads : static_cast<int>(std::thread::hardware_concurrency());
    const int threads = static_cast<int>(std::clamp<qint64>(shares, 1, std::max(wanted, 1)));
    std::vector<std::thread> helpers;
    for (int i = 1; i < threads; ++i) {
        try {
            helpers.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            break; // fewer threads do the same work
        }
    }
    work();
    for (std::thread& helper : helpers)
        helper.join();

    if (interrupted.load())
        return SignEngine::Cancelled;
    return failure.block == kNone ? 0 : SignEngine::RsaBlockFailed;
}

QByteArray BlockRun::failureReason() const
{
    return failure.error == 0 ? QByteArray(failure.what) : crypto::errorText(failure.error);
}

// One thread's part: shares, in order, until none is left or there is no point in going on.
void BlockRun::work()
{
    ERR_clear_error();
    crypto::PkeyCtxPtr context;
    std::vector<unsigned char> scratch(static_cast<size_t>(share * blockSize));
    for (;;) {
        const qint64 first = nextShare.fetch_add(1) * share;
        if (first >= blockCount || first > firstFailed.load())
            break;
        if (control.cancelled.load(std::memory_order_relaxed)) {
            interrupted.store(true);
            break;
        }
        if (!context && !(context = makeContext())) {
            fail(first, "cannot set up the RSA operation");
            break;
        }
        const qint64 end = std::min(first + share, blockCount);
        qint64 block = first;
        for (; block < end && block <= firstFailed.load(); ++block) {
            if (control.cancelled.load(std::memory_order_relaxed)) {
                interrupted.store(true);
                break;
            }
            if (!cryptBlock(context.get(), block, scratch.data() + (block - first) * blockSize)) {
                fail(block, encrypt ? "RSA encryption failed" : "RSA decryption failed");
                break;
            }
        }
        if (block < end)
            break;
        if (encrypt)
            encode(first, end, scratch.data());
        reportDone(end - first);
    }
    if (!encrypt)
        OPENSSL_cleanse(scratch.data(), scratch.size());
    ERR_clear_error();
}

// Counts the blocks of a share as done, and tells the control's listener each time another hundredth of the
// text is: the one share that passes a hundredth reports it, whichever thread did it.
void BlockRun::reportDone(qint64 blocks)
{
    const qint64 done = control.blocksDone.fetch_add(blocks, std::memory_order_relaxed) + blocks;
    if (!control.progressed)
        return;
    const int percent = static_cast<int>(done * 100 / blockCount);
    if (percent != static_cast<int>((done - blocks) * 100 / blockCount))
        control.progressed(percent);
}

crypto::PkeyCtxPtr BlockRun::makeContext() const
{
    crypto::PkeyCtxPtr context(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    if (!context)
        return context;
    int ready = 0;
    if (usePublicKey)
        ready = encrypt ? EVP_PKEY_encrypt_init(context.get()) : EVP_PKEY_verify_recover_init(context.get());
    else
        ready = encrypt ? EVP_PKEY_sign_init(context.get()) : EVP_PKEY_decrypt_init(context.get());
    if (ready <= 0 || EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) <= 0)
        return crypto::PkeyCtxPtr();
    if (!usePublicKey && !encrypt) {
        // Newer libraries answer a bad padding with random bytes instead of an error; keep the error. Older
        // ones do not know the control, and their complaint about it is dropped.
        ERR_set_mark();
        EVP_PKEY_CTX_ctrl_str(context.get(), "rsa_pkcs1_implicit_rejection", "0");
        ERR_pop_to_mark();
    }
    return context;
}

// Encrypting: chunk `block` of the text into scratch. Decrypting: the block in place, through scratch (the
// library refuses to write a recovered block into less room than the key's size).
bool BlockRun::cryptBlock(EVP_PKEY_CTX* context, qint64 block, unsigned char* scratch)
{
    size_t written = static_cast<size_t>(blockSize);
    if (encrypt) {
        const qint64 offset = block * chunkSize;
        const size_t chunk = static_cast<size_t>(std::min<qint64>(chunkSize, plainLength - offset));
        const int ok = usePublicKey ? EVP_PKEY_encrypt(context, scratch, &written, plain + offset, chunk)
                                    : EVP_PKEY_sign(context, scratch, &written, plain + offset, chunk);
        return ok > 0 && written == static_cast<size_t>(blockSize);
    }
    unsigned char* const data = cipher + block * blockSize;
    const int ok = usePublicKey ? EVP_PKEY_verify_recover(context, scratch, &written, data, blockSize)
                                : EVP_PKEY_decrypt(context, scratch, &written, data, blockSize);
    if (ok <= 0 || written > static_cast<size_t>(chunkSize))
        return false;
    std::memcpy(data, scratch, written);
    lengths[block] = static_cast<quint16>(written);
    return true;
}

// The Base64 text of blocks first to end, encrypted into ciphertext, in its place in the whole text.
void BlockRun::encode(qint64 first, qint64 end, const unsigned char* ciphertext)
{
    const qint64 bytes = (end - first) * blockSize;
    char* const out = text + first * blockSize / 3 * 4;
    for (qint64 i = 0; i < bytes; i += 3)
        base64EncodeGroup(ciphertext + i, static_cast<int>(std::min<qint64>(3, bytes - i)), out + i / 3 * 4);
}

void BlockRun::fail(qint64 block, const char* what)
{
    const unsigned long error = ERR_get_error();
    const std::lock_guard<std::mutex> lock(failureLock);
    if (block < failure.block) {
        failure = {block, error, what};
        firstFailed.store(block);
    }
}
