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
//   commit  puts every temporary file in place. A symbolic link at a target is replaced itself, never what it
//           points to. When one file cannot be put in place, the files replaced before it get back what stood
//           there.
//
// Each step stops at the first file that fails: failedFile() is its index, errorString() the reason. Until
// commit succeeds no target has changed; the destructor removes every temporary file that was not put in place.
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

private:
    struct Target;

    bool fail(int index, const QString& error);
    // Puts back what stood at the targets from last down to the first; returns what could not be put back.
    QString restore(int last);

    std::vector<Target> m_targets;
    int m_failed = -1;
    QString m_error;
};

#endif // CERTENGINE_OUTPUTFILESET_H
