#include "app/logfile.h"
#include "workdirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>

class TestLogFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void probeCreatesTheLogDirectory();
    void lineHasTimestampProcessIdAndMessage();
    void linesKeepCallOrderAndEndAsInATextFileOfThePlatform();
    void deletedLogIsRecreatedWithOnlyTheNextLine_data();
    void deletedLogIsRecreatedWithOnlyTheNextLine();
    void overlongMessageIsCutAtACharacterBoundary();
    void lineWithoutFileNameIsNotWrittenAnywhere();
    void threadsWriteWholeLines();

private:
    std::unique_ptr<WorkDirectory> m_work;
};

void TestLogFile::init()
{
    // A fresh directory for every test, without the log directory that the work directory's log makes.
    m_work = std::make_unique<WorkDirectory>();
    QVERIFY(QDir("log").removeRecursively());
}

void TestLogFile::cleanup()
{
    m_work.reset();
}

void TestLogFile::probeCreatesTheLogDirectory()
{
    QVERIFY(!QDir("log").exists());
    LogFile::instance()->setFileName(LogFile::kFileName);
    QVERIFY(QDir("log").exists());

    // With the directory in place, the probe creates the file, empty.
    LogFile::instance()->setFileName(LogFile::kFileName);
    QVERIFY(QFile::exists("log/certutil_zv.txt"));
    QCOMPARE(WorkDirectory::logText(), QByteArray());
}

void TestLogFile::lineHasTimestampProcessIdAndMessage()
{
    LogFile::instance()->setFileName(LogFile::kFileName);
    LogFile::instance()->write("error. %s %d", "证书", 42);

    const QString line = QString::fromUtf8(WorkDirectory::logText());
    const QRegularExpression shape(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2}) (\\d{2}):(\\d{2}):(\\d{2}) \\[(\\d+)\\] "
                                                  "error\\. 证书 42\\n$"));
    const QRegularExpressionMatch match = shape.match(line);
    QVERIFY2(match.hasMatch(), qPrintable(line));
    QCOMPARE(match.captured(7).toLongLong(), QCoreApplication::applicationPid());
    const QDateTime stamp = QDateTime::fromString(line.left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QVERIFY(stamp.isValid());
    QVERIFY(qAbs(stamp.secsTo(QDateTime::currentDateTime())) < 5);
}

void TestLogFile::linesKeepCallOrderAndEndAsInATextFileOfThePlatform()
{
    // The log is opened in text mode, so a merchant's editor shows it line by line: CR LF on Windows, LF elsewhere.
#ifdef Q_OS_WIN
    const QByteArray lineEnd("\r\n");
#else
    const QByteArray lineEnd("\n");
#endif
    LogFile::instance()->setFileName(LogFile::kFileName);
    for (int i = 0; i < 5; ++i) // within one second
        LogFile::instance()->write("fielPath:%d", i);
    const QByteArray text = WorkDirectory::logText();
    QCOMPARE(readFile("log/certutil_zv.txt"), QByteArray(text).replace('\n', lineEnd));
    const QList<QByteArray> lines = text.split('\n');
    QCOMPARE(lines.size(), 6);
    QVERIFY(lines.last().isEmpty());
    for (int i = 0; i < 5; ++i)
        QVERIFY2(lines.at(i).endsWith("] fielPath:" + QByteArray::number(i)), lines.at(i).constData());
}

void TestLogFile::deletedLogIsRecreatedWithOnlyTheNextLine_data()
{
    QTest::addColumn<bool>("directoryToo");
    QTest::newRow("file deleted") << false;
    QTest::newRow("directory deleted") << true;
}

void TestLogFile::deletedLogIsRecreatedWithOnlyTheNextLine()
{
    QFETCH(bool, directoryToo);
    LogFile::instance()->setFileName(LogFile::kFileName);
    LogFile::instance()->write("first");
    QVERIFY(directoryToo ? QDir("log").removeRecursively() : QFile::remove("log/certutil_zv.txt"));
    LogFile::instance()->write("second");
    const QByteArray content = WorkDirectory::logText();
    QVERIFY2(content.endsWith("] second\n") && content.count('\n') == 1, content.constData());
}

void TestLogFile::overlongMessageIsCutAtACharacterBoundary()
{
    LogFile::instance()->setFileName(LogFile::kFileName);
    // 'a' then 3-byte characters: the 4095-byte cut falls inside a character.
    const QByteArray message = "a" + QString(2000, QChar(0x8BC1)).toUtf8();
    LogFile::instance()->write("%s", message.constData());
    const QByteArray line = WorkDirectory::logText();
    const int body = line.indexOf("] ") + 2;
    const QByteArray logged = line.mid(body, line.size() - body - 1);
    QCOMPARE(logged.size(), 1 + 3 * 1364); // 4093 bytes: the partial character is dropped
    QVERIFY(message.startsWith(logged));
    QCOMPARE(QString::fromUtf8(logged).toUtf8(), logged);
    QVERIFY(line.endsWith('\n'));
}

void TestLogFile::lineWithoutFileNameIsNotWrittenAnywhere()
{
    LogFile::instance()->setFileName(QByteArray());
    LogFile::instance()->write("lost");
    const QStringList entries = QDir("log").entryList(QDir::Files);
    QVERIFY2(entries.isEmpty(), qPrintable(entries.join(QLatin1Char(','))));
}

void TestLogFile::threadsWriteWholeLines()
{
    // First while the log cannot be opened, so that every line resets the path that the other threads use.
    QVERIFY(writeFile("log", "a file where the directory belongs"));
    constexpr int kThreads = 4;
    constexpr int kLines = 1000;
    for (const bool openable : {false, true}) {
        QVERIFY(!openable || QFile::remove("log"));
        std::atomic<bool> start{false}; // all at once, so that they overlap
        std::thread threads[kThreads];
        for (std::thread& thread : threads) {
            thread = std::thread([&start] {
                while (!start)
                    std::this_thread::yield();
                for (int line = 0; line < kLines; ++line)
                    LogFile::instance()->write("line %d of a thread", line);
            });
        }
        start = true;
        for (std::thread& thread : threads)
            thread.join();
    }
    const QByteArray log = WorkDirectory::logText();
    QCOMPARE(log.count('\n'), kThreads * kLines);
    QCOMPARE(log.count(" of a thread\n"), kThreads * kLines);
}

QTEST_GUILESS_MAIN(TestLogFile)
#include "tst_logfile.moc"
