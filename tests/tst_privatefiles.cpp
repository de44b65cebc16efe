#include "crypto/privatefiles.h"

#include "accesslist.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

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
    QTest::addColumn<bool>("made"); // by makeDirectory, never open to others; else restricted afterwards
    QTest::newRow("file") << false << false;
    QTest::newRow("directory") << true << false;
    QTest::newRow("directory made owner-only") << true << true;
}

void TestPrivateFiles::onlyTheOwnerMayUseAPrivateFile()
{
    QFETCH(bool, directory);
    QFETCH(bool, made);
    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString path = work.filePath(QStringLiteral("private"));
    if (made) {
#ifndef Q_OS_WIN
        const mode_t previous = ::umask(0); // what a lax umask would leave open
        const bool madeNow = PrivateFiles::makeDirectory(path);
        ::umask(previous);
        QVERIFY(madeNow);
#else
        QVERIFY(PrivateFiles::makeDirectory(path));
#endif
        QVERIFY(!PrivateFiles::makeDirectory(path)); // exists already
    } else {
        if (directory) {
            QVERIFY(QDir().mkdir(path));
        } else {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        // Open to everyone first, as a folder's inherited list or a lax umask would leave it.
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions(0x7777)));
        QVERIFY(PrivateFiles::restrictToOwner(path));
    }

#ifdef Q_OS_WIN
    // Protected (nothing inherited from the folder), one entry: the current user may do everything, and in a
    // directory so may it with what is created there.
    const QString sid = userSid();
    QVERIFY(sid.startsWith(QLatin1String("S-1-")));
    const QString expected = QStringLiteral("D:P(A;%1;FA;;;%2)").arg(directory ? "OICI" : "", sid);
    if (runsUnderWine())
        QSKIP("Wine keeps no access list; the one it reports comes from the file's Unix mode");
    QCOMPARE(accessListOf(path), expected);
    QVERIFY(admitsOwnerAlone(path));
#else
    struct stat status;
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &status), 0);
    QCOMPARE(status.st_mode & 07777, directory ? 0700u : 0600u);
#endif
}

QTEST_GUILESS_MAIN(TestPrivateFiles)
#include "tst_privatefiles.moc"
