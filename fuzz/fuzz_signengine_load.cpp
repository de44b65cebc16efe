// SignEngine::loadKeyFile on an arbitrary file of one kind (CERTUTIL_FUZZ_KIND: KeyFilePkcs12, opened with the
// password "fuzz", KeyFileCertificate or KeyFilePem), then everything the tool dialogs do with what it loaded.
#include "fuzzsupport.h"
#include "signengine/signengine.h"

#ifndef CERTUTIL_FUZZ_KIND
#error "CERTUTIL_FUZZ_KIND names the file kind"
#endif

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzing::start(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray path = fuzzing::writeInput("input.key", data, size);
    SignEngine engine;
    engine.fileKind = CERTUTIL_FUZZ_KIND;
    if (engine.loadKeyFile(path, QByteArrayLiteral("fuzz")) != 0)
        return 0;

    QByteArray text;
    const int printed = engine.certificateText(text);
    fuzzing::require(printed != 0 || !text.isEmpty(), "a printed certificate has text");

    const QByteArray message = QByteArrayLiteral("Zorvik 商户 fuzz");
    QByteArray signature;
    if (engine.hasPrivateKey && engine.signText(message, signature) == 0) {
        bool match = false;
        fuzzing::require(engine.verifyText(signature, message, match) == 0, "verifying an own signature");
    }
    QByteArray cipher;
    QByteArray plain;
    if (engine.cryptText(true, true, message, cipher) == 0 && engine.hasPrivateKey)
        engine.cryptText(false, false, cipher, plain);
    return 0;
}
