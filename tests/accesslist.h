#ifndef TESTS_ACCESSLIST_H
#define TESTS_ACCESSLIST_H

#include <QString>

// The access lists of Windows, as the files that hold private keys get them (crypto/privatefiles.h).

// The access list of a file or directory as SDDL text, as Windows reports it; empty on other systems.
QString accessListOf(const QString& path);
// The current user's SID as text, found from the account name rather than from the process token; empty on other
// systems.
QString userSid();
// Whether entry, a file or directory that PrivateFiles restricted (or one created in such a directory), admits its
// owner alone: on Windows its access list has one entry, allowing the current user, and nothing more.
bool admitsOwnerAlone(const QString& path);
// Wine accepts access lists but reports one made from the file's Unix mode, so nothing set can be read back.
bool runsUnderWine();

#endif // TESTS_ACCESSLIST_H
