#ifndef HISTORY_HISTORYSTORE_H
#define HISTORY_HISTORYSTORE_H

#include "crypto/cryptosupport.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The recent certificate requests, so that a certificate issued days later can still be packaged with the key
// of its request. Each request is one compact UTF-8 JSON file with the members csr, key (unencrypted PEM),
// spName and spNo, named after the local time of the save ("yyyy年MM月dd日 hh时mm分ss秒.json"). A record never
// replaces another: when that name is taken (two saves in one second, by this or another running copy, or the
// repeated hour when clocks go back) the name gets "-2", "-3", ... ("…ss秒-2.json"), claimed by an exclusive
// create. Every regular *.json file is listed: records first, newest name first (the name is the time of making,
// which no copy or touch of the file changes), then other files, most recently modified first and in ascending
// order of file name among equal times. Only records (files with such a name) count toward the ten that are kept
// and are pruned, by the same order; the record just saved is never pruned, even when ten others carry names from
// a clock that was ahead; other files are left alone. The records hold private keys in the clear, so the directory
// and the files are their owner's alone (a directory is made so, and an existing one is made so when used). A
// record is written completely or not at all, and read only when it is a regular file of at most 64 KiB (a link,
// a pipe, a device or a larger file is not read: 30026). Everything lives in the files; the store's only state is
// the directory that tests set (setApplicationDirectory).
//
// Each operation opens the history directory once and works on what it opened (HistoryDirectory), so a link put
// in its place meanwhile is never followed. A history directory that is a symbolic link (or a Windows junction),
// not a directory, or (POSIX systems) owned by another user is never used: save refuses with 30012, list is empty
// and says so (30026), restore finds nothing (30026) and clear does nothing; each refusal is logged.
//
// Where the files live (directory()):
//   - "opts" beside the executable, where that directory is writable (a portable installation);
//   - otherwise "opts" in the per-user application data directory (QStandardPaths::AppLocalDataLocation), as for
//     a program installed under /usr/bin or Program Files;
//   - nowhere without a QCoreApplication, whose executable's directory is unknown: directory() is empty, save
//     refuses with 30012, list is empty, restore finds nothing (30026) and clear does nothing.
// Tests point the history somewhere private with setApplicationDirectory (see there).
//
// Every operation that returns a code returns 0 on success or one of the codes of Code.
class HistoryStore
{
public:
    enum Code : int {
        // keyToPem, save
        NoMemoryBio = 30002,       // memory BIO cannot be created
        KeyTextNotWritten = 30003, // the PEM writer produced no text
        KeyTextNoMemory = 30004,   // kept for compatibility, not produced: a QByteArray that cannot grow throws
                                   // std::bad_alloc, which the store does not catch (a key's text is a few kilobytes)
        NothingToSave = 30010,     // no key, or (save) empty request text
        // save
        RecordTextEmpty = 30011,   // serialised JSON text empty
        DirectoryUnusable = 30012, // history directory missing and cannot be created, unknown (no application
                                   // object), or refused (see above)
        RecordNotOpened = 30013,   // record file cannot be opened for writing, or no free record name
        RecordNotWritten = 30014,  // record file cannot be written completely through to the disk (nothing is left
                                   // behind: no record, no claimed name)
        // restore
        NameEmpty = 30020,           // empty record name
        RecordEmpty = 30021,         // record file empty
        RecordNotJson = 30022,       // record file is not valid JSON
        RecordNotObject = 30023,     // JSON document is not an object
        MemberMissing = 30024,       // a member is missing, or the memory BIO cannot be created
        StoredKeyUnreadable = 30025, // the stored key text holds no readable private key
        RecordNotFound = 30026,      // record file cannot be opened, is no regular file or is too large, or the
                                     // history directory is refused (also from list)
        NameLeavesDirectory = 30027, // the record name would leave the history directory ("/", "\\" or ".."); nothing
                                     // is read
        RequestNotOfKey = 30028,     // the stored request is no readable request, its signature does not verify, or
                                     // its public key is not the stored key's
    };

    // The private key as unencrypted PKCS#8 PEM text.
    static int keyToPem(const EVP_PKEY* key, QByteArray& pem);
    static int save(const QByteArray& spNo, const QByteArray& spName, const EVP_PKEY* key, const QByteArray& csr);
    // Record names (file names up to the first "."), in the order described above. code, when given, receives 0,
    // or RecordNotFound when the history directory is refused (the list is then empty).
    static QStringList list(int* code = nullptr);
    // A restored record. The merchant data and the request are filled once the record's members are found, even
    // if its key then fails to load or is refused (StoredKeyUnreadable, RequestNotOfKey); the key, which is the
    // key of the record's request, only on success.
    struct Record
    {
        int code = 0;
        QString spNo;
        QString spName;
        QString csr;
        crypto::PkeyPtr key;
    };
    static Record restore(const QString& name);
    // Removes the directory with every record; the next save creates it again.
    static void clear();

    // Where the records are (see above); empty when unknown.
    static QString directory();
    // Test seam: directory() decides as if the executable lay in path, so the history is path + "/opts" when
    // path is writable, else the per-user data directory; an empty path goes back to the executable's own
    // directory. Works without an application object. A test that makes requests calls it with a temporary
    // directory of its own before the first one, e.g. HistoryStore::setApplicationDirectory(temporary.path()).
    static void setApplicationDirectory(const QString& path);
};

#endif // HISTORY_HISTORYSTORE_H
