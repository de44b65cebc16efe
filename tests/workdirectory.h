#ifndef TESTS_WORKDIRECTORY_H
#define TESTS_WORKDIRECTORY_H

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// While it lives, a fresh temporary directory is the working directory of the test program, and everything the
// program writes stays in it: the log (log/certutil_zv.txt), the request history (opts, as if the executable lay
// there) and any per-user fallback (the test area of QStandardPaths). The previous working directory and
// history place come back at the end. The process is protected as the program's start-up protects it
// (protectProcess), so that the tests run what ships.
class WorkDirectory
{
public:
    WorkDirectory();
    ~WorkDirectory();
    WorkDirectory(const WorkDirectory&) = delete;
    WorkDirectory& operator=(const WorkDirectory&) = delete;

    QString path() const { return m_directory.path(); }
    QString filePath(const QString& name) const { return m_directory.filePath(name); }

    // The log as text, line ends as LF; empty when there is none.
    static QByteArray logText();
    static void removeLog();
    // The history directory, or the plain file or link that a test put in its place (a link's target is spared).
    static void removeHistory();
    // An empty directory of that name below the working directory, made afresh; its absolute path.
    static QString freshDirectory(const QString& name);

private:
    QTemporaryDir m_directory;
    QString m_previous;
};

// A whole file; empty when it cannot be read.
QByteArray readFile(const QString& path);
// A file that the program writes in text mode, as the log: its line ends read as LF, whether the platform wrote LF
// or CR LF (Windows).
QByteArray readTextFile(const QString& path);
// Writes content as the whole file; false when not all of it was written.
bool writeFile(const QString& path, const QByteArray& content);

// While it lives, no file of this process grows beyond size bytes (0: no limit of its own), as on a disk that
// fills up. Only the program's own protection (see WorkDirectory) keeps SIGXFSZ from ending the process at a write
// past the limit. POSIX only.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 size);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    quint64 m_saved = 0;
};

#endif // TESTS_WORKDIRECTORY_H
