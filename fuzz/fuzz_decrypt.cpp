// SignEngine::cryptText decrypting arbitrary text with a fixed 2048-bit key (data/fuzz_key.pem, whose path the
// build passes in as CERTUTIL_FUZZ_KEY), with the private half and with the public half, on one thread and with
// the blocks shared among four: both must give the same code and text.
#include "fuzzsupport.h"
#include "signengine/signengine.h"

#include <memory>

#ifndef CERTUTIL_FUZZ_KEY
#error "CERTUTIL_FUZZ_KEY names the key file"
#endif

namespace {

std::unique_ptr<SignEngine> engine;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzing::start(argc, argv);
    engine = std::make_unique<SignEngine>();
    engine->fileKind = KeyFilePem;
    fuzzing::require(engine->loadKeyFile(CERTUTIL_FUZZ_KEY, QByteArray()) == 0 && engine->hasPrivateKey,
                     "loading the key");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), int(size));
    for (const bool usePublicKey : {false, true}) {
        QByteArray plain = QByteArrayLiteral("unchanged");
        SignEngine::CryptControl oneThread;
        oneThread.threads = 1;
        const int code = engine->cryptText(usePublicKey, false, text, plain, &oneThread);
        fuzzing::require(code == 0 || plain == "unchanged", "no output on failure");
        // Every whole block yields at most (key size - 11) bytes.
        fuzzing::require(code != 0 || plain.size() <= text.size() / 4 * 3 / 256 * 245, "the plaintext's size");
        QByteArray shared = QByteArrayLiteral("unchanged");
        SignEngine::CryptControl fourThreads;
        fourThreads.threads = 4;
        fuzzing::require(engine->cryptText(usePublicKey, false, text, shared, &fourThreads) == code && shared == plain,
                         "the same result on four threads as on one");
    }
    return 0;
}
