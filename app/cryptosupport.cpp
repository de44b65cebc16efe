#include "app/cryptosupport.h"

#include <openssl/err.h>
#include <openssl/provider.h>

namespace crypto {

bool ensureProviders()
{
    // Function-local statics are initialised once, thread-safely; the providers stay loaded for the process.
    static const bool loaded = [] {
        OSSL_PROVIDER* defaultProvider = OSSL_PROVIDER_load(nullptr, "default");
        OSSL_PROVIDER_load(nullptr, "legacy");
        ERR_clear_error(); // a missing legacy module is not an error of the caller's operation
        return defaultProvider != nullptr;
    }();
    return loaded;
}

BioPtr readBio(const QByteArray& data)
{
    return BioPtr(BIO_new_mem_buf(data.constData(), data.size()));
}

BioPtr writeBio()
{
    return BioPtr(BIO_new(BIO_s_mem()));
}

QByteArray bioContents(BIO* bio)
{
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    if (length <= 0 || !data)
        return QByteArray();
    return QByteArray(data, static_cast<int>(length));
}

QByteArray takeEarliestError()
{
    const unsigned long code = ERR_get_error();
    return code == 0 ? QByteArray() : errorText(code);
}

QByteArray errorText(unsigned long code)
{
    char text[256]; // what ERR_error_string may fill
    ERR_error_string_n(code, text, sizeof text);
    return QByteArray(text);
}

int refusePassphrase(char*, int, int, void*)
{
    return -1;
}

} // namespace crypto
