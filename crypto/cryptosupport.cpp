#include "crypto/cryptosupport.h"

#include "app/logfile.h"

#include <QByteArrayList>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/provider.h>

namespace crypto {

namespace {

// "ossl-modules" beside the executable, if there is one; unknown without an application object.
QByteArray modulesBesideExecutable()
{
    if (!QCoreApplication::instance())
        return QByteArray();
    const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/ossl-modules");
    return QFileInfo(path).isDir() ? QFile::encodeName(QDir::toNativeSeparators(path)) : QByteArray();
}

// Tries the module shipped beside the executable first (it belongs to the libcrypto shipped with it), then the
// library's own search path. searched and failure say what went wrong when neither loads.
bool loadLegacyProvider(QByteArrayList& searched, QByteArray& failure)
{
    const QByteArray fromEnvironment = qgetenv("OPENSSL_MODULES");
    if (fromEnvironment.isEmpty()) {
        const QByteArray beside = modulesBesideExecutable();
        if (!beside.isEmpty()) {
            searched.append(beside);
            if (OSSL_PROVIDER_set_default_search_path(nullptr, beside.constData()) == 1 &&
                OSSL_PROVIDER_load(nullptr, "legacy"))
                return true;
            failure = takeEarliestError();
            ERR_clear_error();
            // Back to the library's own choice for the second attempt.
            OSSL_PROVIDER_set_default_search_path(nullptr, nullptr);
        }
    }
    searched.append(fromEnvironment.isEmpty() ? QByteArray(OPENSSL_info(OPENSSL_INFO_MODULES_DIR)) : fromEnvironment);
    if (OSSL_PROVIDER_load(nullptr, "legacy"))
        return true;
    const QByteArray error = takeEarliestError();
    if (!error.isEmpty())
        failure = error;
    return false;
}

} // namespace

void ensureProviders()
{
    // Function-local statics are initialised once, thread-safely; the providers stay loaded for the process.
    static const bool loaded = [] {
        ERR_clear_error(); // so that the texts taken below are this set-up's own
        if (!OSSL_PROVIDER_load(nullptr, "default"))
            logLibraryError("error. default provider not loaded: ");
        QByteArrayList searched;
        QByteArray failure;
        if (!loadLegacyProvider(searched, failure)) {
            LogFile::instance()->write("error. legacy provider not loaded, so PKCS#12 files with RC2 or other old "
                                       "ciphers will not open: %s (module directory %s)",
                                       failure.isEmpty() ? "no reason given" : failure.constData(),
                                       searched.join(", ").constData());
        }
        // None of this is an error of the caller's operation.
        ERR_clear_error();
        return true;
    }();
    Q_UNUSED(loaded);
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

QByteArray writtenToMemory(const std::function<int(BIO*)>& writer)
{
    BioPtr bio = writeBio();
    if (!bio)
        return QByteArray();
    const QByteArray written = writer(bio.get()) == 1 ? bioContents(bio.get()) : QByteArray();
    return written.isEmpty() ? QByteArray("") : written;
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

void logLibraryError(const char* prefix, const char* fallback)
{
    const unsigned long code = ERR_get_error();
    const QByteArray text = code == 0 && fallback ? QByteArray(fallback) : errorText(code);
    LogFile::instance()->write("%s%s", prefix, text.constData());
}

void cleanse(QByteArray& data)
{
    if (!data.isEmpty() && data.isDetached())
        OPENSSL_cleanse(data.data(), static_cast<size_t>(data.size()));
    data.clear();
}

int refusePassphrase(char*, int, int, void*)
{
    return -1;
}

} // namespace crypto
