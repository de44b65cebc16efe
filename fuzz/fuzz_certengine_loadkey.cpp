// CertEngine::loadKey on an arbitrary file of one kind (CERTUTIL_FUZZ_KIND: KeyFilePkcs12, opened with the password
// "fuzz", or KeyFilePem), then the certificate request for whatever key it loaded, as the change flow makes it.
#include "certengine/certengine.h"
#include "fuzzsupport.h"

#ifndef CERTUTIL_FUZZ_KIND
#error "CERTUTIL_FUZZ_KIND names the file kind"
#endif

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzing::start(argc, argv);
    CertEngine::instance()->setMerchant("898110000000001", "深圳市测试商户有限公司");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CertEngine* engine = CertEngine::instance();
    const QByteArray path = fuzzing::writeInput("input.key", data, size);
    if (engine->loadKey(path, CERTUTIL_FUZZ_KIND, QByteArrayLiteral("fuzz")) != 0)
        return 0;
    QByteArray csr;
    const int code = engine->makeRequest(csr);
    fuzzing::require(code != 0 || csr.startsWith("-----BEGIN CERTIFICATE REQUEST-----"), "a request text");
    return 0;
}
