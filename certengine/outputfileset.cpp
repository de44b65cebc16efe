#include "certengine/outputfileset.h"

#include "crypto/privatefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
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
    QString contentName;  // the new file until it is put in place
    QString previousName; // a name reserved for what stands at the target meanwhile
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

QString described(const QString& path, const QString& error)
{
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), error);
}

// Renames from to to, replacing whatever stands at to (a symbolic link itself, not what it points to).
bool moveReplacing(const QString& from, const QString& to, QString* error)
{
#ifdef Q_OS_WIN
    if (MoveFileExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(from).utf16()),
                    reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(to).utf16()),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    *error = described(to, qt_error_string(int(GetLastError())));
#else
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    *error = described(to, qt_error_string(errno));
#endif
    return false;
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
    // Whatever was not put in place goes; a name that still holds an old file (restore failed) stays.
    for (Target& target : m_targets) {
        target.content.reset();
        if (!target.contentName.isEmpty() && !target.placed)
            QFile::remove(target.contentName);
        if (!target.previousName.isEmpty() && !target.movedAside)
            QFile::remove(target.previousName);
    }
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
        const QString pattern = target.path + QStringLiteral(".XXXXXX");
        target.content = std::make_unique<QTemporaryFile>(pattern);
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
        target.previousName = reserveName(pattern, &error);
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
        // A directory that took a target's place after the checks stays where it is (Windows would move it).
        const QFileInfo standing(target.path);
        if (!standing.isSymbolicLink() && standing.isDir())
            return fail(index, described(target.path, QStringLiteral("not a file")) + restore(index));
        // What stands at the target waits under the reserved name until the whole set is in place.
        if (moveReplacing(target.path, target.previousName, &error))
            target.movedAside = true;
        else if (isOccupied(target.path))
            return fail(index, error + restore(index));
        if (!moveReplacing(target.contentName, target.path, &error))
            return fail(index, error + restore(index));
        target.placed = true;
    }
    for (Target& target : m_targets) {
        QFile::remove(target.previousName);
        target.movedAside = false;
    }
    return true;
}

bool OutputFileSet::fail(int index, const QString& error)
{
    m_failed = index;
    m_error = error;
    return false;
}

QString OutputFileSet::restore(int last)
{
    QString lost;
    for (int index = last; index >= 0; --index) {
        Target& target = m_targets[index];
        QString error;
        if (target.movedAside) {
            if (moveReplacing(target.previousName, target.path, &error)) {
                target.movedAside = false;
                target.previousName.clear(); // the name is free again
            } else {
                // Kept under the reserved name rather than deleted with the set.
                lost += QStringLiteral("; %1 stays as %2").arg(error, target.previousName);
            }
        } else if (target.placed && !QFile::remove(target.path)) {
            lost += QStringLiteral("; %1 cannot be removed").arg(target.path);
        }
        target.placed = false;
    }
    return lost;
}
