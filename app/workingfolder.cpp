#include "app/workingfolder.h"

#include "crypto/privatefiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {

QString& applicationFolderOverride()
{
    static QString folder;
    return folder;
}

} // namespace

QString WorkingFolder::applicationFolder()
{
    const QString folder = applicationFolderOverride();
    if (!folder.isEmpty())
        return folder;
    // Without an application object applicationDirPath() is empty, and the files would be taken from the root.
    return QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
}

bool WorkingFolder::isPortable()
{
    const QString folder = applicationFolder();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return false;
    QTemporaryFile probe(folder + QStringLiteral("/.write-probe-XXXXXX"));
    return probe.open();
}

QString WorkingFolder::path()
{
    if (applicationFolder().isEmpty())
        return QString();
    if (isPortable())
        return applicationFolder();
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

bool WorkingFolder::enter()
{
    if (isPortable())
        return true;
    const QString folder = path();
    if (folder.isEmpty() || !QDir().mkpath(folder + QStringLiteral("/cert")))
        return false;
    // Owner-only before anything is written in it; on Windows what is created in it inherits that.
    PrivateFiles::restrictToOwner(folder);
    return QDir::setCurrent(folder);
}

void WorkingFolder::setApplicationFolder(const QString& folder)
{
    applicationFolderOverride() = folder;
}
