#ifndef APP_FILEMANAGER_H
#define APP_FILEMANAGER_H

#include <QString>
#include <QStringList>

#include <functional>

// The system's file manager, started on a directory. The directory travels as one argument in the platform's
// native form, never through a shell or a command string, so blanks and quotes in it cannot split it.
struct FileManagerCommand
{
    QString program;
    QStringList arguments;
};

// explorer on Windows, open on macOS, xdg-open elsewhere.
FileManagerCommand fileManagerCommand(const QString& directory);

// Starts the file manager detached on directory; false when it could not be started.
bool openInFileManager(const QString& directory);

// Replaces the starter of detached processes (QProcess::startDetached) so that tests can record the command
// instead of starting a file manager; an empty function restores the real one.
using DetachedStarter = std::function<bool(const QString& program, const QStringList& arguments)>;
void setDetachedStarter(DetachedStarter starter);

#endif // APP_FILEMANAGER_H
