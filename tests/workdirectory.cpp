#include "workdirectory.h"

#include "app/logfile.h"
#include "app/processprotection.h"
#include "history/historystore.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {

// Where the program writes its log; written out here, so the tests check the place.
const QString kLog = QStringLiteral("log/certutil_zv.txt");

} // namespace

WorkDirectory::WorkDirectory() : m_previous(QDir::currentPath())
{
    protectProcess();
    if (!m_directory.isValid() || !QDir::setCurrent(m_directory.path()))
        qFatal("cannot make a temporary working directory");
    QStandardPaths::setTestModeEnabled(true);
    HistoryStore::setApplicationDirectory(m_directory.path());
    LogFile::instance()->setFileName(LogFile::kFileName);
}

WorkDirectory::~WorkDirectory()
{
    HistoryStore::setApplicationDirectory(QString());
    QDir::setCurrent(m_previous);
}

QByteArray WorkDirectory::logText()
{
    return readTextFile(kLog);
}

void WorkDirectory::removeLog()
{
    QFile::remove(kLog);
}

void WorkDirectory::removeHistory()
{
    // A link or plain file goes first: removeRecursively would empty a link's target.
    QFile::remove(HistoryStore::directory());
    QDir(HistoryStore::directory()).removeRecursively();
}

QString WorkDirectory::freshDirectory(const QString& name)
{
    QDir(name).removeRecursively();
    QDir().mkpath(name);
    return QDir(name).absolutePath();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray readTextFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly | QIODevice::Text) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

FileSizeLimit::FileSizeLimit(qint64 size)
{
#ifdef Q_OS_UNIX
    struct rlimit limit;
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0)
        qFatal("getrlimit(RLIMIT_FSIZE) failed");
    m_saved = limit.rlim_cur;
    if (size > 0)
        limit.rlim_cur = rlim_t(size);
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        qFatal("setrlimit(RLIMIT_FSIZE) failed");
#else
    Q_UNUSED(size);
#endif
}

FileSizeLimit::~FileSizeLimit()
{
#ifdef Q_OS_UNIX
    struct rlimit limit;
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = rlim_t(m_saved);
    ::setrlimit(RLIMIT_FSIZE, &limit);
#endif
}
