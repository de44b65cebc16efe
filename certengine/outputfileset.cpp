#include "certengine/outputfileset.h"

#include "crypto/privatefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryFile>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>
#endif

struct OutputFileSet::Target
{
    QString path;
    bool ownerOnly = false;
    // The new file while it is written; released (really closed) once written. QTemporaryFile's close() only
    // rewinds and keeps the handle, which on Windows blocks every rename onto or away from the name.
    std::unique_ptr<QTemporaryFile> content;
    QString contentName;  // the new file until it is put in place: "<path>.new-XXXXXX"
    QString previousName; // a name reserved for what stands at the target meanwhile: "<path>.old-XXXXXX"
    bool written = false;
    bool movedAside = false; // what stood at the target is now under the reserved name
    bool placed = false;
};

namespace {

// QTemporaryFile creates its file with these permissions (on POSIX systems), so a private key is never readable by
// others.
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions kReadable = kOwnerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther;
constexpr QFileDevice::Permissions kAnyWrite =
    QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;

// What stands aside while a set is put in place, and what an interrupted attempt leaves behind.
const QString kOldInfix = QStringLiteral(".old-");
const QString kNewInfix = QStringLiteral(".new-");
const QString kUniquePart = QStringLiteral("XXXXXX"); // QTemporaryFile fills in six letters and digits

QString described(const QString& path, const QString& error)
{
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), error);
}

#ifdef Q_OS_WIN
constexpr int kAccessDenied = ERROR_ACCESS_DENIED;
#else
constexpr int kAccessDenied = EACCES;
#endif

// A system error that means "not allowed here" rather than "could not take the content".
bool isRefusal(int error)
{
#ifdef Q_OS_WIN
    return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT || error == ERROR_SHARING_VIOLATION ||
           error == ERROR_LOCK_VIOLATION;
#else
    return error == EACCES || error == EPERM || error == EROFS;
#endif
}

struct RefusalForTesting
{
    QString path; // absolute; empty: nothing refused
    bool fromThenOn = false;
    bool refusing = false;
};

RefusalForTesting& refusalForTesting()
{
    static RefusalForTesting refusal;
    return refusal;
}

bool refusedForTesting(const QString& from, const QString& to)
{
    RefusalForTesting& refusal = refusalForTesting();
    if (refusal.path.isEmpty())
        return false;
    if (refusal.refusing)
        return true;
    if (QFileInfo(from).absoluteFilePath() != refusal.path && QFileInfo(to).absoluteFilePath() != refusal.path)
        return false;
    refusal.refusing = refusal.fromThenOn;
    return true;
}

// Renames from to to, replacing whatever stands at to (a symbolic link itself, not what it points to). *refused
// tells whether the system refused it (see isRefusal).
bool moveReplacing(const QString& from, const QString& to, QString* error, bool* refused = nullptr)
{
    int code = kAccessDenied;
    if (!refusedForTesting(from, to)) {
#ifdef Q_OS_WIN
        if (MoveFileExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(from).utf16()),
                        reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(to).utf16()),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        code = int(GetLastError());
#else
        if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
            return true;
        code = errno;
#endif
    }
    *error = described(
        from, QStringLiteral("not renamed to %1: %2").arg(QDir::toNativeSeparators(to), qt_error_string(code)));
    if (refused)
        *refused = isRefusal(code);
    return false;
}

// Removes a file, or a symbolic link itself.
bool removeEntry(const QString& path)
{
    return !refusedForTesting(path, path) && QFile::remove(path);
}

// A write error that the system reports only late (a network share, a failing disk) shows here, and a crash
// after the rename cannot leave a file without its content. The file is let go either way, so that nothing holds
// it open while it is renamed.
bool syncAndRelease(std::unique_ptr<QTemporaryFile>& file, const QString& name, QString* error)
{
#ifdef Q_OS_WIN
    // Qt gives no Windows handle of its file: the file is let go, then opened again to flush its buffers.
    file.reset();
    const HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(name).utf16()),
                                      GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool flushed = handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle);
    if (!flushed)
        *error = described(name, qt_error_string(int(GetLastError())));
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    return flushed;
#else
    int result;
    do {
        result = ::fsync(file->handle());
    } while (result != 0 && errno == EINTR);
    // EINVAL: a file system without synchronisation, which has nothing to report.
    const bool synced = result == 0 || errno == EINVAL;
    if (!synced)
        *error = described(name, qt_error_string(errno));
    file.reset();
    return synced;
#endif
}

// Creates an empty file of a fresh name from pattern and lets it go, so that nothing holds it open.
QString reserveName(const QString& pattern, QString* error)
{
    QTemporaryFile file(pattern);
    if (!file.open()) {
        *error = file.errorString();
        return QString();
    }
    file.setAutoRemove(false);
    return file.fileName();
}

} // namespace

OutputFileSet::OutputFileSet() = default;

OutputFileSet::~OutputFileSet()
{
    // Whatever was not put in place goes; a name that still holds an old file (restore failed) stays, and so does
    // what cannot be removed (a folder turned read-only): their names say what they are.
    for (Target& target : m_targets) {
        target.content.reset();
        if (!target.contentName.isEmpty() && !target.placed)
            removeEntry(target.contentName);
        if (!target.previousName.isEmpty() && !target.movedAside)
            removeEntry(target.previousName);
    }
}

void OutputFileSet::refuseChangesForTesting(const QString& path, bool fromThenOn)
{
    refusalForTesting() = {path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath(), fromThenOn, false};
}

bool OutputFileSet::isOccupied(const QString& path)
{
    const QFileInfo info(path);
    return info.isSymbolicLink() || info.exists();
}

int OutputFileSet::add(const QString& path, bool ownerOnly)
{
    m_targets.emplace_back();
    m_targets.back().path = path;
    m_targets.back().ownerOnly = ownerOnly;
    return int(m_targets.size()) - 1;
}

bool OutputFileSet::open()
{
    for (int index = 0; index < int(m_targets.size()); ++index) {
        Target& target = m_targets[index];
        const QFileInfo existing(target.path);
        if (!existing.isSymbolicLink() && existing.exists()) {
            if (!existing.isFile())
                return fail(index, described(target.path, QStringLiteral("not a file")));
            // Also where the user could replace it all the same (as root, or by a rename on Windows): a file
            // that nobody may write was made read-only on purpose.
            if (!existing.isWritable() || !(existing.permissions() & kAnyWrite))
                return fail(index, described(target.path, QStringLiteral("existing file is not writable")));
        }
        // Beside the target, so that putting it in place is a rename within one file system.
        target.content = std::make_unique<QTemporaryFile>(target.path + kNewInfix + kUniquePart);
        if (!target.content->open())
            return fail(index, described(target.path, target.content->errorString()));
        target.content->setAutoRemove(false);
        target.contentName = target.content->fileName();
        // On Windows the temporary file has inherited its folder's access list; the rename keeps the list set here.
        if (target.ownerOnly && !PrivateFiles::restrictToOwner(target.contentName))
            return fail(index, described(target.path, QStringLiteral("cannot be made its owner's alone")));
        if (!target.ownerOnly && !target.content->setPermissions(kReadable))
            return fail(index, described(target.path, target.content->errorString()));
        QString error;
        target.previousName = reserveName(target.path + kOldInfix + kUniquePart, &error);
        if (target.previousName.isEmpty())
            return fail(index, described(target.path, error));
    }
    return true;
}

bool OutputFileSet::write(int index, const QByteArray& content)
{
    Target& target = m_targets.at(size_t(index));
    QTemporaryFile* file = target.content.get();
    if (!file || !file->isOpen() || target.written)
        return fail(index, described(target.path, QStringLiteral("not open for writing")));
    // write() only fills Qt's buffer; flush() hands the bytes to the system and reports a short write.
    if (file->write(content) != content.size() || !file->flush()) {
#ifdef Q_OS_WIN
        const QString cause = file->errorString();
#else
        // Qt calls a short write (a full disk, a file size limit) an unknown error; errno still has the reason.
        const QString cause = qt_error_string(errno);
#endif
        return fail(index,
                    described(file->fileName(),
                              QStringLiteral("%1 bytes not written completely: %2").arg(content.size()).arg(cause)));
    }
    QString error;
    if (!syncAndRelease(target.content, target.contentName, &error))
        return fail(index, error);
    target.written = true;
    return true;
}

bool OutputFileSet::commit()
{
    for (int index = 0; index < int(m_targets.size()); ++index) {
        if (!m_targets[index].written)
            return fail(index, described(m_targets[index].path, QStringLiteral("not written")));
    }
    for (int index = 0; index < int(m_targets.size()); ++index) {
        Target& target = m_targets[index];
        QString error;
        bool refused = false;
        // A directory that took a target's place after the checks stays where it is (Windows would move it).
        const QFileInfo standing(target.path);
        if (!standing.isSymbolicLink() && standing.isDir())
            return fail(index, described(target.path, QStringLiteral("not a file")) + restore(index), true);
        // What stands at the target waits under the reserved name until the whole set is in place.
        if (moveReplacing(target.path, target.previousName, &error, &refused))
            target.movedAside = true;
        else if (isOccupied(target.path))
            return fail(index, error + restore(index), refused);
        if (!moveReplacing(target.contentName, target.path, &error, &refused))
            return fail(index, error + restore(index), refused);
        target.placed = true;
    }
    // The old files go only once the new set is on the disk, so that a crash leaves one whole set.
    QString error;
    if (!syncFolders(&error))
        return fail(int(m_targets.size()) - 1, error);
    for (Target& target : m_targets) {
        removeEntry(target.previousName);
        target.movedAside = false;
    }
    removeLeftovers();
    return true;
}

bool OutputFileSet::fail(int index, const QString& error, bool refused)
{
    m_failed = index;
    m_error = error;
    m_refused = refused;
    return false;
}

bool OutputFileSet::syncFolders(QString* error) const
{
#ifdef Q_OS_WIN
    // MoveFileEx with MOVEFILE_WRITE_THROUGH returns only once the rename is on the disk.
    Q_UNUSED(error);
    return true;
#else
    QSet<QString> folders;
    for (const Target& target : m_targets)
        folders.insert(QFileInfo(target.path).absolutePath());
    for (const QString& folder : qAsConst(folders)) {
        const int handle = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        int result = -1;
        if (handle >= 0) {
            do {
                result = ::fsync(handle);
            } while (result != 0 && errno == EINTR);
        }
        // EINVAL: a file system without synchronisation, which has nothing to report.
        const bool synced = result == 0 || errno == EINVAL;
        if (!synced)
            *error = described(folder, QStringLiteral("folder not synchronised: %1").arg(qt_error_string(errno)));
        if (handle >= 0)
            ::close(handle);
        if (!synced)
            return false;
    }
    return true;
#endif
}

void OutputFileSet::removeLeftovers() const
{
    for (const Target& target : m_targets) {
        const QFileInfo info(target.path);
        const QRegularExpression leftover(QStringLiteral("^%1(%2|%3)[A-Za-z0-9]{%4}$")
                                              .arg(QRegularExpression::escape(info.fileName()),
                                                   QRegularExpression::escape(kOldInfix),
                                                   QRegularExpression::escape(kNewInfix))
                                              .arg(kUniquePart.size()));
        const QDir folder = info.dir();
        const QStringList names =
            folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        for (const QString& name : names) {
            const QFileInfo entry(folder.filePath(name));
            if (leftover.match(name).hasMatch() && (entry.isSymbolicLink() || !entry.isDir()))
                removeEntry(entry.filePath());
        }
    }
}

QString OutputFileSet::restore(int last)
{
    QString lost;
    for (int index = last; index >= 0; --index) {
        Target& target = m_targets[index];
        const QString path = QDir::toNativeSeparators(target.path);
        QString error;
        if (target.movedAside) {
            if (moveReplacing(target.previousName, target.path, &error)) {
                target.movedAside = false;
                target.previousName.clear(); // the name is free again
            } else {
                // Kept under the reserved name rather than deleted with the set.
                lost += QStringLiteral("; not put back: %1; %2 %3, the old file waits as %4")
                            .arg(error, path,
                                 target.placed ? QStringLiteral("is the new file") : QStringLiteral("is missing"),
                                 QDir::toNativeSeparators(target.previousName));
            }
        } else if (target.placed && !removeEntry(target.path)) {
            lost += QStringLiteral("; not removed: %1 is the new file, there was none before").arg(path);
        }
        target.placed = false;
    }
    if (!lost.isEmpty())
        lost += QStringLiteral("; the files in the folder are a mixed set");
    QString error;
    if (!syncFolders(&error))
        lost += QStringLiteral("; ") + error;
    return lost;
}
