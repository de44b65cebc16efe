#ifndef CERTENGINE_OUTPUTFILESET_H
#define CERTENGINE_OUTPUTFILESET_H

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

class QTemporaryFile;

// Files that replace their predecessors together or not at all, as the three files of one certificate must:
// a key beside a certificate of another key is worse than the old pair.
//
//   add     names a target. A target that holds a private key is its owner's alone from the moment its
//           temporary file exists; the others are readable by everyone, as a certificate is.
//   open    checks every target (a directory, or a file that nobody may write, in its place fails it) and
//           creates its temporary file beside it.
//   write   fills one temporary file and checks it through to the disk.
//   commit  puts every temporary file in place and makes the renames durable (the folder is synchronised). A
//           symbolic link at a target is replaced itself, never what it points to. When one file cannot be put in
//           place, the files replaced before it get back what stood there. Once the set is in place, what earlier
//           attempts at these targets left behind (see below) goes too.
//
// Each step stops at the first file that fails: failedFile() is its index, errorString() the reason, and refused()
// tells a refusal (no permission, a read-only folder, a directory in the way) from a failure to take the content
// (a full disk, a file-size limit, a failing device). The destructor removes every temporary file that was not
// put in place.
//
// Until commit succeeds no target has changed, with one exception that no program can rule out: when the folder
// stops accepting changes in the middle of commit (it turns read-only, or the process is killed), what was
// replaced cannot be put back. Then the set is mixed, and beside each target the names say what they hold:
// "<target>.old-XXXXXX" what stood at the target before (possibly empty: only the name was reserved),
// "<target>.new-XXXXXX" a new file not yet in place; errorString() says which target holds what. Files of such
// names, private keys among them, are removed by the next commit that puts a set in place at these targets.
class OutputFileSet
{
public:
    OutputFileSet();
    ~OutputFileSet();
    OutputFileSet(const OutputFileSet&) = delete;
    OutputFileSet& operator=(const OutputFileSet&) = delete;

    // Something stands at path: a file, a directory or a symbolic link, dangling or not.
    static bool isOccupied(const QString& path);

    // Returns the index of the target, counted from 0 in the order added.
    int add(const QString& path, bool ownerOnly);
    bool open();
    bool write(int index, const QByteArray& content);
    bool commit();

    int failedFile() const { return m_failed; }
    QString errorString() const { return m_error; }
    bool refused() const { return m_refused; }

    // For tests: a rename or removal that involves path is refused as if for want of permission (another user's
    // file in a shared folder); with fromThenOn every later one is too, as in a folder that turned read-only at
    // that moment. An empty path lifts it.
    static void refuseChangesForTesting(const QString& path, bool fromThenOn);

private:
    struct Target;

    bool fail(int index, const QString& error, bool refused = false);
    // Puts back what stood at the targets from last down to the first; returns what could not be put back.
    QString restore(int last);
    // The folders of the targets to disk: a crash after commit keeps the new set, after restore the old one.
    bool syncFolders(QString* error) const;
    void removeLeftovers() const;

    std::vector<Target> m_targets;
    int m_failed = -1;
    QString m_error;
    bool m_refused = false;
};

#endif // CERTENGINE_OUTPUTFILESET_H
