#ifndef CRYPTO_CRYPTOSUPPORT_H
#define CRYPTO_CRYPTOSUPPORT_H

#include <QByteArray>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <functional>
#include <memory>

// What both engines need from libcrypto: the provider set-up, owning handles and memory BIOs.
namespace crypto {

// Loads the default and the legacy provider once per process. Loading one provider explicitly stops the
// default from loading by itself, so both are loaded; the legacy one opens PKCS#12 files with RC2-40 bags.
// The legacy module is looked for in "ossl-modules" beside the executable (where a Windows build ships it),
// then where the library looks by itself; OPENSSL_MODULES, when set, alone decides. A legacy module that
// cannot be loaded is written to the log once, with the library's text and the directories searched: without
// it such files fail as if the password were wrong. The default provider is built into libcrypto; should it fail
// to load all the same, that is logged once, and every operation then fails with its own code.
void ensureProviders();

template <auto Free> struct Deleter
{
    template <typename T> void operator()(T* handle) const { Free(handle); }
};

struct X509StackDeleter
{
    void operator()(STACK_OF(X509) * stack) const { sk_X509_pop_free(stack, X509_free); }
};

using BioPtr = std::unique_ptr<BIO, Deleter<&BIO_free_all>>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, Deleter<&EVP_PKEY_free>>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, Deleter<&EVP_PKEY_CTX_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, Deleter<&EVP_MD_CTX_free>>;
using X509Ptr = std::unique_ptr<X509, Deleter<&X509_free>>;
using X509ReqPtr = std::unique_ptr<X509_REQ, Deleter<&X509_REQ_free>>;
using X509NamePtr = std::unique_ptr<X509_NAME, Deleter<&X509_NAME_free>>;
using Pkcs12Ptr = std::unique_ptr<PKCS12, Deleter<&PKCS12_free>>;
using X509StackPtr = std::unique_ptr<STACK_OF(X509), X509StackDeleter>;

// A read-only memory BIO over the bytes of data; data must outlive the BIO.
BioPtr readBio(const QByteArray& data);
// An empty, growable memory BIO.
BioPtr writeBio();
// Everything written into a memory BIO so far.
QByteArray bioContents(BIO* bio);
// What writer (a PEM or DER writer that returns 1 on success) puts into a fresh memory BIO. A null array when
// no BIO can be made; an empty, non-null one when the writer fails or writes nothing. The library's error stays
// queued for the caller to log.
QByteArray writtenToMemory(const std::function<int(BIO*)>& writer);

// The library's text for the earliest error in this thread's queue, which is removed; empty if none is queued.
QByteArray takeEarliestError();
// The library's one-line text for an error code; for 0 (an empty queue) the library's text for "no error".
QByteArray errorText(unsigned long code);
// Writes prefix and the library's text for the earliest error in this thread's queue (which is removed) to the
// log. With an empty queue: fallback, or without one the library's text for "no error".
void logLibraryError(const char* prefix, const char* fallback = nullptr);

// Overwrites the bytes of data with zeros and empties it: for buffers that held a private key or a password. Only
// a buffer that data alone holds is overwritten; one it shares with other arrays (an implicit copy, static data) is
// left to them.
void cleanse(QByteArray& data);

// Cleanses an array when the scope ends, however it ends.
class ScopedCleanse
{
public:
    explicit ScopedCleanse(QByteArray& data) : data(data) {}
    ~ScopedCleanse() { cleanse(data); }
    ScopedCleanse(const ScopedCleanse&) = delete;
    ScopedCleanse& operator=(const ScopedCleanse&) = delete;

private:
    QByteArray& data;
};

// Pass-phrase callback for PEM readers that refuses at once. Without a callback the library prompts on the
// terminal, which would hang a desktop program; with this one an encrypted PEM key simply fails to load.
int refusePassphrase(char* buffer, int size, int rwflag, void* userData);

} // namespace crypto

#endif // CRYPTO_CRYPTOSUPPORT_H
