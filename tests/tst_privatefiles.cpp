#include "crypto/privatefiles.h"

#include "accesslist.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_WIN
#include <qt_windows.h>

#include <sddl.h>
#else
#include <sys/stat.h>
#endif

namespace {

#ifdef Q_OS_WIN
// The current user's SID as text, found from the account name rather than from the process token.
QString userSidByName()
{
    wchar_t name[256];
    DWORD nameLength = 256;
    if (!GetUserNameW(name, &nameLength))
        return QString();
    unsigned char sid[SECURITY_MAX_SID_SIZE];
    DWORD sidLength = sizeof sid;
    wchar_t domain[256];
    DWORD domainLength = 256;
    SID_NAME_USE use;
    LPWSTR text = nullptr;
    if (!LookupAccountNameW(nullptr, name, sid, &sidLength, domain, &domainLength, &use) ||
        !ConvertSidToStringSidW(sid, &text))
        return QString();
    const QString result = QString::fromWCharArray(text);
    LocalFree(text);
    return result;
}
#endif

} // namespace

class TestPrivateFiles : public QObject
{
    Q_OBJECT

private slots:
    void onlyTheOwnerMayUseAPrivateFile_data();
    void onlyTheOwnerMayUseAPrivateFile();
};

void TestPrivateFiles::onlyTheOwnerMayUseAPrivateFile_data()
{
    QTest::addColumn<bool>("directory");
    QTest::newRow("file") << false;
    QTest::newRow("directory") << true;
}

void TestPrivateFiles::onlyTheOwnerMayUseAPrivateFile()
{
    QFETCH(bool, directory);
    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString path = work.filePath(QStringLiteral("private"));
    if (directory) {
        QVERIFY(QDir().mkdir(path));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    // Open to everyone first, as a folder's inherited list or a lax umask would leave it.
    QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions(0x7777)));

    QVERIFY(PrivateFiles::restrictToOwner(path));

#ifdef Q_OS_WIN
    // Protected (nothing inherited from the folder), one entry: the current user may do everything, and in a
    // directory so may it with what is created there.
    const QString sid = userSidByName();
    QVERIFY(sid.startsWith(QLatin1String("S-1-")));
    const QString expected = QStringLiteral("D:P(A;%1;FA;;;%2)").arg(directory ? "OICI" : "", sid);
    QCOMPARE(PrivateFiles::ownerOnlyDescriptor(directory), expected);
    if (runsUnderWine())
        QSKIP("Wine keeps no access list; the one it reports comes from the file's Unix mode");
    QCOMPARE(accessListOf(path), expected);
    QVERIFY(admitsOwnerAlone(path));
#else
    struct stat status;
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &status), 0);
    QCOMPARE(status.st_mode & 07777, directory ? 0700u : 0600u);
    QVERIFY(PrivateFiles::ownerOnlyDescriptor(directory).isEmpty());
#endif
}

QTEST_GUILESS_MAIN(TestPrivateFiles)
#include "tst_privatefiles.moc"
