#ifndef HISTORY_HISTORYDIRECTORY_H
#define HISTORY_HISTORYDIRECTORY_H

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

// The history directory, opened once without following a link and checked once: every later step works on the
// directory that was opened, so a link put in place of its path meanwhile leads nowhere. On POSIX systems the
// steps go through the directory's descriptor (openat, unlinkat, renameat, ...). On Windows the directory is held
// open without sharing the right to delete, so while it is in use it cannot be renamed, removed or replaced by a
// junction, and its path keeps naming it.
//
// Refused, and the refusal logged: a symbolic link or junction, anything but a directory, (POSIX systems) a
// directory of another user, one that cannot be opened. An own directory is made owner-only (the records hold
// private keys in the clear); one that is made here is so from the start.
class HistoryDirectory
{
public:
    enum State { Missing, Usable, Refused };
    struct File
    {
        QString name;
        QDateTime modified;
    };

    // Opens the directory at path; with create, a missing one is made first (its parent too, if need be).
    HistoryDirectory(const QString& path, bool create);
    ~HistoryDirectory();
    HistoryDirectory(const HistoryDirectory&) = delete;
    HistoryDirectory& operator=(const HistoryDirectory&) = delete;

    State state() const { return m_state; }

    // The regular files in it: no links, directories, pipes or devices.
    QVector<File> files() const;
    enum Claim { Created, Taken, Failed };
    // Creates the empty file name, owner-only, unless a file of that name exists.
    Claim createNew(const QString& name) const;
    // Puts bytes in the place of name whole or not at all: written beside it, synced to the disk, then renamed.
    bool replace(const QString& name, const QByteArray& bytes) const;
    // The content of the regular file name, read without waiting; false for any other kind of file (a link, a
    // pipe, a device), for one larger than limit bytes, and when it cannot be read.
    bool read(const QString& name, qint64 limit, QByteArray& content) const;
    bool remove(const QString& name) const;
    // Removes everything in it, then the directory itself; a link inside goes, not what it points to.
    void removeAll();

private:
    QString m_path;
    State m_state = Missing;
#ifdef Q_OS_WIN
    void* m_handle = nullptr;
#else
    int m_fd = -1;
#endif
};

#endif // HISTORY_HISTORYDIRECTORY_H
