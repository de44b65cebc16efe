#include "crypto/cryptosupport.h"

#include "app/logfile.h"

#include <QByteArrayList>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>

#include <openssl/core.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/provider.h>

namespace crypto {

namespace {

// Loads the legacy module in folder and registers it as the built-in "legacy" provider, so that libcrypto never
// looks for a module by itself. QLibrary opens the file by its UTF-16 name on Windows, whatever the folder is
// called; libcrypto would hand the name to the ANSI functions.
bool loadLegacyFrom(const QString& folder, QByteArray& failure)
{
    QLibrary module(folder + QStringLiteral("/legacy"));
    const auto init = reinterpret_cast<OSSL_provider_init_fn*>(module.resolve("OSSL_provider_init"));
    if (!init) {
        failure = module.errorString().toUtf8();
        return false;
    }
    if (OSSL_PROVIDER_add_builtin(nullptr, "legacy", init) == 1 && OSSL_PROVIDER_load(nullptr, "legacy"))
        return true;
    failure = takeEarliestError();
    return false;
}

// Where the legacy module may come from: OPENSSL_MODULES alone where the merchant set it; else "ossl-modules"
// beside the executable, where it belongs to the libcrypto shipped with it. Outside Windows the library's own
// module directory follows (the system's, owned by root). On Windows that built-in directory is a path of the
// machine that built the library, which on the current drive any user may create, so it is never used.
QStringList legacyFolders()
{
    const QString fromEnvironment = qEnvironmentVariable("OPENSSL_MODULES");
    if (!fromEnvironment.isEmpty())
        return {fromEnvironment};
    QStringList folders;
    if (QCoreApplication::instance())
        folders.append(QCoreApplication::applicationDirPath() + QStringLiteral("/ossl-modules"));
#ifndef Q_OS_WIN
    folders.append(QFile::decodeName(OPENSSL_info(OPENSSL_INFO_MODULES_DIR)));
#endif
    return folders;
}

bool loadLegacyProvider(QByteArrayList& searched, QByteArray& failure)
{
    for (const QString& folder : legacyFolders()) {
        searched.append(QDir::toNativeSeparators(folder).toUtf8());
        if (QFileInfo(folder).isDir() && loadLegacyFrom(folder, failure))
            return true;
        ERR_clear_error();
    }
    return false;
}

} // namespace

void ensureProviders()
{
    // Function-local statics are initialised once, thread-safely; the providers stay loaded for the process.
    static const bool loaded = [] {
        // No configuration file is read, neither the built-in one nor OPENSSL_CONF's: on Windows the built-in
        // OPENSSLDIR is a folder that any user may create.
        OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr);
        ERR_clear_error(); // so that the texts taken below are this set-up's own
        if (!OSSL_PROVIDER_load(nullptr, "default"))
            logLibraryError("error. default provider not loaded: ");
        QByteArrayList searched;
        QByteArray failure;
        if (!loadLegacyProvider(searched, failure)) {
            LogFile::instance()->write("error. legacy provider not loaded, so PKCS#12 files with RC2 or other old "
                                       "ciphers will not open: %s (module directory %s)",
                                       failure.isEmpty() ? "no module found" : failure.constData(),
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
