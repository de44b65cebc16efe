#include "app/filemanager.h"

#include <QDir>
#include <QProcess>

namespace {

DetachedStarter& starter()
{
    static DetachedStarter current;
    return current;
}

} // namespace

FileManagerCommand fileManagerCommand(const QString& directory)
{
#if defined(Q_OS_WIN)
    const QString program = QStringLiteral("explorer");
#elif defined(Q_OS_MACOS)
    const QString program = QStringLiteral("open");
#else
    const QString program = QStringLiteral("xdg-open");
#endif
    return {program, {QDir::toNativeSeparators(directory)}};
}

bool openInFileManager(const QString& directory)
{
    const FileManagerCommand command = fileManagerCommand(directory);
    if (starter())
        return starter()(command.program, command.arguments);
    return QProcess::startDetached(command.program, command.arguments);
}

void setDetachedStarter(DetachedStarter replacement)
{
    starter() = std::move(replacement);
}
