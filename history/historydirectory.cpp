#include "history/historydirectory.h"

#include "app/logfile.h"
#include "crypto/privatefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#ifdef Q_OS_WIN
#include <QSaveFile>

#include <qt_windows.h>
#else
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

void logRefused(const char* reason, const QString& path)
{
    LogFile::instance()->write("操作记录目录不可用（%s）：%s", reason, QFile::encodeName(path).constData());
}

void logNotOwnerOnly(const QString& path)
{
    LogFile::instance()->write("操作记录目录无法设为仅所有者可访问：%s", QFile::encodeName(path).constData());
}

#ifdef Q_OS_WIN

std::wstring nativeName(const QString& path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdWString();
}

// FILE_LIST_DIRECTORY takes part in the sharing checks (a handle with attribute rights alone would not), and
// without FILE_SHARE_DELETE nobody can rename or remove the directory while it is open. The reparse point itself
// is opened, not what it leads to.
HANDLE openDirectory(const QString& path)
{
    return CreateFileW(nativeName(path).c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

#else

QByteArray nameBytes(const QString& name)
{
    return QFile::encodeName(name);
}

// A descriptor of the directory fd names, for reading its entries from the start (fdopendir takes it over).
DIR* openEntries(int fd)
{
    const int own = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* entries = own >= 0 ? ::fdopendir(own) : nullptr;
    if (own >= 0 && !entries)
        ::close(own);
    return entries;
}

void removeContent(int fd)
{
    DIR* entries = openEntries(fd);
    if (!entries)
        return;
    while (const dirent* entry = ::readdir(entries)) {
        const QByteArray name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat status;
        if (::fstatat(fd, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode)) {
            const int inner = ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (inner >= 0) {
                removeContent(inner);
                ::close(inner);
            }
            ::unlinkat(fd, name.constData(), AT_REMOVEDIR);
        } else {
            ::unlinkat(fd, name.constData(), 0);
        }
    }
    ::closedir(entries);
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

#endif

} // namespace

HistoryDirectory::HistoryDirectory(const QString& path, bool create) : m_path(path)
{
    if (path.isEmpty())
        return; // it would name the working directory
#ifdef Q_OS_WIN
    HANDLE handle = openDirectory(path);
    const DWORD error = handle == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (handle == INVALID_HANDLE_VALUE && create && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) {
        // Another running copy may make it at the same moment; whichever it is, it is checked below.
        QDir().mkpath(QFileInfo(path).path());
        PrivateFiles::makeDirectory(path);
        handle = openDirectory(path);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD last = GetLastError();
        if (last == ERROR_FILE_NOT_FOUND || last == ERROR_PATH_NOT_FOUND) {
            m_state = Missing;
        } else {
            logRefused("无法打开", path);
            m_state = Refused;
        }
        return;
    }
    m_handle = handle;
    BY_HANDLE_FILE_INFORMATION information;
    const DWORD attributes = GetFileInformationByHandle(handle, &information) ? information.dwFileAttributes : 0;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        logRefused("符号链接", path);
        m_state = Refused;
    } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        logRefused("不是目录", path);
        m_state = Refused;
    } else {
        // Windows has no owner check here; the directory's own access list admits only the current user and
        // passes that on to every record created in it. The path is safe to use: the handle holds it.
        if (!PrivateFiles::restrictToOwner(path))
            logNotOwnerOnly(path);
        m_state = Usable;
    }
#else
    const QByteArray name = QFile::encodeName(path);
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    m_fd = ::open(name.constData(), flags);
    if (m_fd < 0 && errno == ENOENT && create) {
        // Another running copy may make it at the same moment; whichever it is, it is checked below.
        QDir().mkpath(QFileInfo(path).path());
        PrivateFiles::makeDirectory(path);
        m_fd = ::open(name.constData(), flags);
    }
    if (m_fd < 0) {
        const int error = errno;
        struct stat status;
        if (error == ENOENT) {
            m_state = Missing;
            return;
        }
        // Only to name the reason in the log: nothing is done with what lstat finds.
        if (::lstat(name.constData(), &status) == 0 && S_ISLNK(status.st_mode))
            logRefused("符号链接", path);
        else if (error == ENOTDIR)
            logRefused("不是目录", path);
        else
            logRefused("无法打开", path);
        m_state = Refused;
        return;
    }
    struct stat status;
    if (::fstat(m_fd, &status) != 0 || status.st_uid != ::geteuid()) {
        logRefused("属于其他用户", path);
        m_state = Refused;
        return;
    }
    // Read-only mounts and FAT file systems may refuse; the records themselves are owner-only all the same.
    if ((status.st_mode & (S_IRWXG | S_IRWXO)) && ::fchmod(m_fd, S_IRWXU) != 0)
        logNotOwnerOnly(path);
    m_state = Usable;
#endif
}

HistoryDirectory::~HistoryDirectory()
{
#ifdef Q_OS_WIN
    if (m_handle)
        CloseHandle(m_handle);
#else
    if (m_fd >= 0)
        ::close(m_fd);
#endif
}

#ifdef Q_OS_WIN

QVector<HistoryDirectory::File> HistoryDirectory::files() const
{
    QVector<File> found;
    if (m_state != Usable)
        return found;
    const QFileInfoList entries = QDir(m_path).entryInfoList(QDir::Files | QDir::NoSymLinks);
    for (const QFileInfo& entry : entries) {
        if (!entry.isSymLink() && !entry.isJunction())
            found.append({entry.fileName(), entry.lastModified()});
    }
    return found;
}

HistoryDirectory::Claim HistoryDirectory::createNew(const QString& name) const
{
    if (m_state != Usable)
        return Failed;
    const QString path = m_path + QLatin1Char('/') + name;
    if (QFile(path).open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return Created;
    return QFileInfo::exists(path) ? Taken : Failed;
}

// QSaveFile keeps what is written in a buffer, and its commit() puts the file in place even when writing that
// buffer out failed (a full disk). So every step is checked before the commit; after a failure the file is not
// committed, and QSaveFile removes its temporary file.
bool HistoryDirectory::replace(const QString& name, const QByteArray& bytes) const
{
    if (m_state != Usable)
        return false;
    QSaveFile file(m_path + QLatin1Char('/') + name);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() && file.commit();
}

bool HistoryDirectory::read(const QString& name, qint64 limit, QByteArray& content) const
{
    if (m_state != Usable)
        return false;
    // The reparse point itself, not what it leads to; a device name (CON, NUL) is no disk file.
    HANDLE file = CreateFileW(nativeName(m_path + QLatin1Char('/') + name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    const bool regular = GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &information) &&
                         !(information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
    const qint64 size = regular ? (qint64(information.nFileSizeHigh) << 32) | information.nFileSizeLow : 0;
    bool whole = regular && size <= limit;
    QByteArray bytes(whole ? int(size) : 0, Qt::Uninitialized);
    DWORD got = 0;
    whole = whole && (size == 0 || (ReadFile(file, bytes.data(), DWORD(size), &got, nullptr) && got == DWORD(size)));
    CloseHandle(file);
    if (whole)
        content = bytes;
    return whole;
}

bool HistoryDirectory::remove(const QString& name) const
{
    return m_state == Usable && QFile::remove(m_path + QLatin1Char('/') + name);
}

void HistoryDirectory::removeAll()
{
    if (m_state != Usable)
        return;
    // Empties it (removeRecursively removes junctions inside, not their targets; removing the directory itself
    // fails while it is held), then lets it go and removes it: RemoveDirectoryW removes a junction put in its place
    // meanwhile, not the junction's target.
    QDir(m_path).removeRecursively();
    CloseHandle(m_handle);
    m_handle = nullptr;
    m_state = Missing;
    RemoveDirectoryW(nativeName(m_path).c_str());
}

#else

QVector<HistoryDirectory::File> HistoryDirectory::files() const
{
    QVector<File> found;
    DIR* entries = m_state == Usable ? openEntries(m_fd) : nullptr;
    if (!entries)
        return found;
    while (const dirent* entry = ::readdir(entries)) {
        struct stat status;
        if (::fstatat(m_fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode))
            found.append(
                {QFile::decodeName(entry->d_name), QDateTime::fromMSecsSinceEpoch(qint64(status.st_mtim.tv_sec) * 1000 +
                                                                                  status.st_mtim.tv_nsec / 1000000)});
    }
    ::closedir(entries);
    return found;
}

HistoryDirectory::Claim HistoryDirectory::createNew(const QString& name) const
{
    if (m_state != Usable)
        return Failed;
    const int fd = ::openat(m_fd, nameBytes(name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            S_IRUSR | S_IWUSR);
    if (fd >= 0) {
        ::close(fd);
        return Created;
    }
    return errno == EEXIST ? Taken : Failed;
}

bool HistoryDirectory::replace(const QString& name, const QByteArray& bytes) const
{
    if (m_state != Usable)
        return false;
    // A temporary name that no other writer picks and that does not end in ".json".
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = nameBytes(name) + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd = ::openat(m_fd, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      S_IRUSR | S_IWUSR);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    // Network file systems may report a failed write only when the data is to reach the disk, or at close.
    bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    written = written && ::renameat(m_fd, temporary.constData(), m_fd, nameBytes(name).constData()) == 0;
    if (!written)
        ::unlinkat(m_fd, temporary.constData(), 0);
    // The new name reaches the disk with the directory.
    return written && ::fsync(m_fd) == 0;
}

bool HistoryDirectory::read(const QString& name, qint64 limit, QByteArray& content) const
{
    if (m_state != Usable)
        return false;
    // Not waiting: opening a pipe for reading would block until someone writes to it.
    const int fd = ::openat(m_fd, nameBytes(name).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status;
    bool whole = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size <= limit;
    // One byte more than the size shows a file that grew meanwhile.
    QByteArray bytes(whole ? int(status.st_size) + 1 : 0, Qt::Uninitialized);
    qint64 got = 0;
    while (whole && got < bytes.size()) {
        const ssize_t count = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        got += count;
    }
    ::close(fd);
    whole = whole && got == status.st_size;
    if (whole)
        content = bytes.left(int(got));
    return whole;
}

bool HistoryDirectory::remove(const QString& name) const
{
    return m_state == Usable && ::unlinkat(m_fd, nameBytes(name).constData(), 0) == 0;
}

void HistoryDirectory::removeAll()
{
    if (m_state != Usable)
        return;
    removeContent(m_fd);
    // rmdir never follows a link put in its place meanwhile, and removes no directory that is not empty.
    ::rmdir(QFile::encodeName(m_path).constData());
    m_state = Missing;
}

#endif
