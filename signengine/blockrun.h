#ifndef SIGNENGINE_BLOCKRUN_H
#define SIGNENGINE_BLOCKRUN_H

#include "crypto/cryptosupport.h"
#include "signengine/signengine.h"

#include <QByteArray>

#include <atomic>
#include <limits>
#include <mutex>

// The RSA blocks of one cryptText, shared among threads. Each thread takes a share of blocks at a time, in the
// order of the text, with a library context of its own over the common key. A share is a multiple of three
// blocks, so that the Base64 text of an encrypted share begins at a whole group (three blocks of k bytes are 4k
// characters), and about a millisecond or two of work, so that cancelling and progress stay fine-grained: a
// private-key block takes some 0.3 ms at 2048 bits (several at 4096), a public-key block some 20 microseconds.
//
// Once a block fails, no thread takes a share behind it, but every block before it is still done: the failure
// reported is the first one in the text, as on one thread.
class BlockRun
{
public:
    // PKCS#1 v1.5 padding takes so many bytes of every block.
    static constexpr int kPaddingOverhead = 11;

    // Encrypts the blockCount chunks of plain into the Base64 text of their ciphertext, written to text (room for
    // the whole text, a whole number of Base64 groups per share).
    BlockRun(EVP_PKEY* key, bool usePublicKey, qint64 blockCount, SignEngine::CryptControl& control,
             const unsigned char* plain, int plainLength, char* text);
    // Decrypts the blockCount blocks of cipher in place: what block i yields replaces its start, and its length
    // goes to lengths[i].
    BlockRun(EVP_PKEY* key, bool usePublicKey, qint64 blockCount, SignEngine::CryptControl& control,
             unsigned char* cipher, quint16* lengths);
    BlockRun(const BlockRun&) = delete;
    BlockRun& operator=(const BlockRun&) = delete;

    // Every block, on as many threads as the control allows and the text is worth. 0, SignEngine::RsaBlockFailed
    // (failureReason() then says why) or SignEngine::Cancelled.
    int run();
    // The library's text of the first failing block's error, or ours where the library queued none.
    QByteArray failureReason() const;

private:
    static constexpr qint64 kNone = std::numeric_limits<qint64>::max();

    BlockRun(EVP_PKEY* key, bool usePublicKey, bool encrypt, qint64 blockCount, SignEngine::CryptControl& control);
    void work();
    crypto::PkeyCtxPtr makeContext() const;
    bool cryptBlock(EVP_PKEY_CTX* context, qint64 block, unsigned char* scratch);
    void encode(qint64 first, qint64 end, const unsigned char* ciphertext);
    void fail(qint64 block, const char* what);
    void reportDone(qint64 blocks);

    struct Failure
    {
        qint64 block = kNone;
        unsigned long error = 0; // the library's earliest error on the failing thread; 0 if it queued none
        const char* what = nullptr;
    };

    EVP_PKEY* const key;
    const bool usePublicKey;
    const bool encrypt;
    const int blockSize;
    const int chunkSize;
    const qint64 blockCount;
    const qint64 share;
    SignEngine::CryptControl& control;
    // Encrypting: the text to encrypt, and the Base64 text of the ciphertext, to be written.
    const unsigned char* plain = nullptr;
    int plainLength = 0;
    char* text = nullptr;
    // Decrypting: the ciphertext, whose blocks are replaced by what they decrypt to, and their lengths.
    unsigned char* cipher = nullptr;
    quint16* lengths = nullptr;

    std::atomic<qint64> nextShare{0};
    std::atomic<qint64> firstFailed{kNone};
    std::atomic<bool> interrupted{false};
    std::mutex failureLock;
    Failure failure;
};

#endif // SIGNENGINE_BLOCKRUN_H
