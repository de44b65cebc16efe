#ifndef CRYPTO_PRIVATEFILES_H
#define CRYPTO_PRIVATEFILES_H

#include <QString>

// Files and directories that hold private keys in the clear (cert.p12, cert_key.pem, the request history) are
// their owner's alone. On POSIX systems that is mode 0600 for a file and 0700 for a directory. On Windows a file
// otherwise inherits the access list of its folder, and a folder made under C:\ lets every signed-in user read
// it; there the object gets a protected access list (nothing inherited from its parent) with one entry that
// allows the current user everything. A directory's entry is inherited by what is created in it later.
class PrivateFiles
{
public:
    // Restricts the file or directory at path to its owner; false when the system refuses.
    static bool restrictToOwner(const QString& path);
    // Makes the directory at path (one level), its owner's alone from the moment it exists: it is never open to
    // others, not even until restrictToOwner could run. False when it cannot be made, or exists already.
    static bool makeDirectory(const QString& path);
};

#endif // CRYPTO_PRIVATEFILES_H
