#include "app/filemanager.h"
#include "app/mainwindow.h"
#include "app/pagestack.h"
#include "certengine/certengine.h"
#include "history/dialog_opt_history.h"
#include "history/historystore.h"
#include "modalanswer.h"
#include "opensslcommand.h"
#include "testpki.h"
#include "textfit.h"
#include "windowdriver.h"
#include "wizard/dialog_getcsr_1.h"
#include "wizard/dialog_importcert_2.h"
#include "workdirectory.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>

namespace {

const QString kPassword = QString::fromLatin1(pki::kP12Password);

int stackIndex()
{
    return PageStack::instance()->currentIndex();
}

// Clicks the first row of the history dialog's list.
void clickFirstRecord(QWidget* dialog)
{
    auto* list = dialog->findChild<QListView*>("listView");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 0)).center());
}

} // namespace

class TestWizard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void applyJourneyEndsWithThreeFilesAndReturnsHome();
    void changeJourneyKeepsTheKeyOfTheFile_data();
    void changeJourneyKeepsTheKeyOfTheFile();
    void requestPageErrors_data();
    void requestPageErrors();
    void historyRestoresKeyAfterEngineReset();
    void historyClear_data();
    void historyClear();
    void failedRestoreEmptiesTheFields_data();
    void failedRestoreEmptiesTheFields();
    void refusedHistoryIsNamedNotShownEmpty();
    void importPageErrorsKeepTheInputs_data();
    void importPageErrorsKeepTheInputs();
    void importPageAsksBeforeWriting_data();
    void importPageAsksBeforeWriting();
    void finishPageOpensTheDirectoryAsOneArgumentOrSaysItCannot_data();
    void finishPageOpensTheDirectoryAsOneArgumentOrSaysItCannot();
    void finishPageShowsTheNotesWholeWithSigningRed();
    void historyLinkIsAccessibleAndOpensTheHistory();

private:
    // A fresh main window, shown and with its tile clicked: the request page on the stack above it.
    QWidget* openRequestPage(bool changeMode);
    // Change mode with the PEM key file: a request without key generation, recorded in the history.
    void requestForMerchantKey(QWidget* page);
    // The import page above a change-mode request for the PEM key file.
    QWidget* openImportPage();
    // Pastes certificate, sets password, presses "生成" and answers the directory dialog with directory.
    void generateFiles(QWidget* importPage, const QByteArray& certificate, const QString& password,
                       const QString& directory, QVector<ModalAnswer::Action> laterAnswers = {});

    WorkDirectory m_work;
    std::unique_ptr<MainWindow> m_main;
    QVector<QStringList> m_started;  // file manager commands: the program, then its arguments
    bool m_fileManagerStarts = true; // what the recorded starts report
    QByteArray m_merchantPublicKey;
    QByteArray m_merchantCert;
    QStringList m_seen; // messages of the boxes answered by answerBox
};

void TestWizard::initTestCase()
{
    pki::make();
    m_merchantPublicKey = publicKeyOfFile("key.pem");
    m_merchantCert = readFile("cert.pem");
    setDetachedStarter([this](const QString& program, const QStringList& arguments) {
        m_started.append(QStringList(program) + arguments);
        return m_fileManagerStarts;
    });
}

void TestWizard::init()
{
    CertEngine::instance()->reset();
    m_started.clear();
    m_fileManagerStarts = true;
    m_seen.clear();
}

void TestWizard::cleanup()
{
    closeAllWindows();
    m_main.reset();
    WorkDirectory::removeHistory();
}

QWidget* TestWizard::openRequestPage(bool changeMode)
{
    m_main = std::make_unique<MainWindow>();
    m_main->show();
    click(m_main.get(), changeMode ? "changeCertBtn" : "applyCertBtn");
    return stackIndex() == 1 && stackTop()->objectName() == "Dialog_GetCSR_1" ? stackTop() : nullptr;
}

void TestWizard::requestForMerchantKey(QWidget* page)
{
    setText(page, "spNoLineEdit", "1234567890");
    setText(page, "spNameLineEdit", "深圳测试商户");
    QCOMPARE(clickAnswering(page, "getCSRBtn", {ModalAnswer::chooseFile("key.pem"), answerBox("确定", &m_seen)}), 2);
}

QWidget* TestWizard::openImportPage()
{
    QWidget* request = openRequestPage(true);
    if (!request)
        return nullptr;
    requestForMerchantKey(request);
    m_seen.clear();
    click(request, "nextStepBtn");
    return stackIndex() == 2 ? stackTop() : nullptr;
}

void TestWizard::generateFiles(QWidget* importPage, const QByteArray& certificate, const QString& password,
                               const QString& directory, QVector<ModalAnswer::Action> laterAnswers)
{
    setText(importPage, "spCertTextEdit", QString::fromUtf8(certificate));
    setText(importPage, "passwdLineEdit", password);
    laterAnswers.prepend(ModalAnswer::chooseFile(directory));
    QCOMPARE(clickAnswering(importPage, "nextStepBtn", laterAnswers), laterAnswers.size());
}

void TestWizard::applyJourneyEndsWithThreeFilesAndReturnsHome()
{
    QWidget* request = openRequestPage(false);
    QVERIFY(request);
    QVERIFY(widget(request, "optHistoryLabel")->isVisible());

    // By keyboard: the merchant number field has the focus, Enter generates.
    QApplication::setActiveWindow(request);
    QTRY_COMPARE(QApplication::focusWidget(), widget(request, "spNoLineEdit"));
    QTest::keyClicks(QApplication::focusWidget(), "1234567890");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), widget(request, "spNameLineEdit"));
    static_cast<QLineEdit*>(QApplication::focusWidget())->insert("深圳测试商户");
    {
        ModalAnswer answer({answerBox("确定", &m_seen), ModalAnswer::closeWindow()});
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(answer.answeredCount(), 1);
    }
    QCOMPARE(m_seen, QStringList{"复制成功"});
    const QString csr = text(request, "csrTextEdit");
    QVERIFY(csr.startsWith("-----BEGIN CERTIFICATE REQUEST-----\n"));
    QCOMPARE(QGuiApplication::clipboard()->text(), csr);
    QCOMPARE(text(request, "errorLabel"), QString());

    // The platform issues the certificate; the merchant pastes it on the next page.
    const QByteArray certificate = pki::issue(csr.toUtf8());
    click(request, "nextStepBtn");
    QCOMPARE(stackIndex(), 2);
    QWidget* import = stackTop();
    QCOMPARE(import->objectName(), QStringLiteral("Dialog_ImportCert_1"));
    QVERIFY(!request->isVisible() && import->isVisible());
    QGuiApplication::clipboard()->setText(QString::fromUtf8(certificate));
    click(import, "pasteSpCertBtn");
    QCOMPARE(text(import, "spCertTextEdit").toUtf8(), certificate);

    // A directory with a blank in its name.
    const QString directory = WorkDirectory::freshDirectory("saved certs");
    widget(import, "passwdLineEdit")->setFocus();
    QTest::keyClicks(widget(import, "passwdLineEdit"), kPassword);
    {
        ModalAnswer answer(ModalAnswer::chooseFile(directory));
        QTest::keyClick(widget(import, "passwdLineEdit"), Qt::Key_Return);
        QVERIFY(answer.wasAnswered());
    }
    QCOMPARE(stackIndex(), 3);
    QWidget* finish = stackTop();
    QCOMPARE(finish->objectName(), QStringLiteral("Dialog_ImportCert_2"));
    // The page shows the chosen directory; how it shows and opens one is the finish page tests'.
    QCOMPARE(text(finish, "fileDirLabel"), QDir::toNativeSeparators(directory));
    QCOMPARE(CertEngine::instance()->lastPath, directory);

    // The engine's three files in the chosen directory, cert.p12 under the password typed here. What they hold is
    // the engine's, and checked with openssl in its tests; that it packaged the certificate at all shows that it
    // still held the key of the request.
    QCOMPARE(QDir(directory).entryList(QDir::Files), (QStringList{"cert.p12", "cert.pem", "cert_key.pem"}));
    openssl({"pkcs12", "-noout", "-in", directory + "/cert.p12", "-passin", "pass:" + kPassword});

    const QRect finishRectangle = finish->geometry();
    click(finish, "finishBtn");
    QVERIFY(m_main->isVisible() && !finish->isVisible());
    QCOMPARE(m_main->geometry(), finishRectangle);
    QCOMPARE(stackIndex(), 0);
    QVERIFY(!PageStack::instance()->windowAt(0));
}

void TestWizard::changeJourneyKeepsTheKeyOfTheFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("history"); // what is in the history directory's place
    QTest::newRow("PKCS#12 with password") << "cert.p12" << QString();
    QTest::newRow("PEM key") << "key.pem" << QString();
    // The request stands, but the page says that it is not kept.
    QTest::newRow("PEM key, history a plain file") << "key.pem" << QString("file");
    QTest::newRow("PEM key, history a link") << "key.pem" << QString("link");
}

void TestWizard::changeJourneyKeepsTheKeyOfTheFile()
{
    QFETCH(QString, file);
    QFETCH(QString, history);
    QVERIFY(history != "file" || writeFile(HistoryStore::directory(), "in the way"));
    QVERIFY(history != "link" || QFile::link(WorkDirectory::freshDirectory("elsewhere"), HistoryStore::directory()));
    QWidget* request = openRequestPage(true);
    QVERIFY(request);
    QVERIFY(!widget(request, "optHistoryLabel")->isVisible());
    QCOMPARE(text(request, "csrLabel"), QStringLiteral("2、选择证书文件（P12），或密钥文件（PEM），并生成证书请求串"));

    setText(request, "spNoLineEdit", "1234567890");
    setText(request, "spNameLineEdit", "深圳测试商户");
    QVector<ModalAnswer::Action> answers{ModalAnswer::chooseFile(file)};
    if (file.endsWith(".p12"))
        answers << answerPassword(kPassword);
    answers << answerBox("确定", &m_seen);
    QCOMPARE(clickAnswering(request, "getCSRBtn", answers), answers.size());
    const QByteArray csr = text(request, "csrTextEdit").toUtf8();
    QCOMPARE(publicKeyOf(csr), m_merchantPublicKey);
    QCOMPARE(QGuiApplication::clipboard()->text().toUtf8(), csr);
    QCOMPARE(m_seen, QStringList{"复制成功"});
    QCOMPARE(text(request, "errorLabel"),
             history.isEmpty()
                 ? QString()
                 : "证书请求串已生成，但未能保存到操作记录（ret:30012）。请修复后重新生成；若已提交此请求串，"
                   "请勿离开本页或关闭程序，直至完成证书导入");
    QCOMPARE(textsThatDoNotFit(request), QString());

    // Back to the request page and forward again gives a new, empty import page.
    click(request, "nextStepBtn");
    setText(stackTop(), "spCertTextEdit", "draft");
    click(stackTop(), "lastStepBtn");
    QCOMPARE(stackIndex(), 1);
    QVERIFY(request->isVisible());
    click(request, "nextStepBtn");
    QCOMPARE(stackIndex(), 2);
    QWidget* import = stackTop();
    QCOMPARE(text(import, "spCertTextEdit"), QString());

    const QString directory = WorkDirectory::freshDirectory("changed");
    generateFiles(import, pki::issue(csr), kPassword, directory);
    QCOMPARE(stackIndex(), 3);
}

void TestWizard::requestPageErrors_data()
{
    QTest::addColumn<QString>("spNo");
    QTest::addColumn<QString>("spName");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no merchant number") << QString() << "商户" << QString("请输入商户号和商户名称！");
    QTest::newRow("no merchant name") << "1" << QString() << "请输入商户号和商户名称！";
    QTest::newRow("wrong PKCS#12 password") << "1" << QString("商户") << "生成证书请求串失败，请重试！ret:10012";
}

void TestWizard::requestPageErrors()
{
    QFETCH(QString, spNo);
    QFETCH(QString, spName);
    QFETCH(QString, expected);
    QWidget* request = openRequestPage(true);
    QVERIFY(request);
    setText(request, "spNoLineEdit", spNo);
    setText(request, "spNameLineEdit", spName);
    // Only the failing engine call gets as far as the chooser; no notice follows a failure.
    QCOMPARE(clickAnswering(request, "getCSRBtn",
                            {ModalAnswer::chooseFile("cert.p12"), answerPassword("wrong"), ModalAnswer::closeWindow()}),
             expected.contains("ret:") ? 2 : 0);
    QCOMPARE(text(request, "errorLabel"), expected);
    QCOMPARE(textsThatDoNotFit(request), QString());
    QCOMPARE(text(request, "csrTextEdit"), QString());

    QCOMPARE(clickAnswering(request, "copyCSRBtn", {ModalAnswer::closeWindow()}), 0); // nothing to copy: no notice
    click(request, "nextStepBtn");
    QCOMPARE(text(request, "errorLabel"), QStringLiteral("请生成证书请求串"));
    QCOMPARE(stackIndex(), 1);
}

void TestWizard::historyRestoresKeyAfterEngineReset()
{
    QWidget* first = openRequestPage(true);
    QVERIFY(first);
    requestForMerchantKey(first);
    const QString csr = text(first, "csrTextEdit");
    click(first, "lastStepBtn");
    QCOMPARE(stackIndex(), 0);

    // A new visit resets the engine, as a restart would; the second tile click leaves two stack entries.
    click(m_main.get(), "applyCertBtn");
    QCOMPARE(stackIndex(), 1);
    QWidget* request = stackTop();
    QVERIFY(request != first);
    QCOMPARE(text(request, "spNoLineEdit"), QString());

    // The link by keyboard (Tab reaches it, as the tab order tests show): Enter opens the history; there the first
    // record is taken with Enter.
    QApplication::setActiveWindow(request);
    widget(request, "optHistoryLabel")->setFocus(Qt::TabFocusReason);
    QStringList historyState;
    {
        ModalAnswer answer({[&historyState](QWidget* dialog) {
                                auto* list = dialog->findChild<QListView*>("listView");
                                historyState << dialog->windowTitle() << QString::number(list->model()->rowCount())
                                             << QString::number(widget(dialog, "okBtn")->isEnabled())
                                             << textsThatDoNotFit(dialog);
                                // Focus on the list makes its first row the current one.
                                QApplication::setActiveWindow(dialog);
                                list->setFocus(Qt::TabFocusReason);
                                QTest::keyClick(list, Qt::Key_Return);
                            },
                            ModalAnswer::closeWindow()});
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(answer.answeredCount(), 1); // no copy notice after a restore
    }
    QCOMPARE(historyState, (QStringList{"操作记录（最近10条）", "1", "0", ""}));
    QCOMPARE(text(request, "spNoLineEdit"), QStringLiteral("1234567890"));
    QCOMPARE(text(request, "spNameLineEdit"), QStringLiteral("深圳测试商户"));
    QCOMPARE(text(request, "csrTextEdit"), csr);

    // The engine holds the restored key: the certificate issued for the old request is packaged.
    click(request, "nextStepBtn");
    generateFiles(stackTop(), pki::issue(csr.toUtf8()), kPassword, WorkDirectory::freshDirectory("restored"));
    QCOMPARE(stackIndex(), 3);
}

void TestWizard::historyClear_data()
{
    QTest::addColumn<bool>("confirmed");
    QTest::newRow("cancelled") << false;
    QTest::newRow("confirmed") << true;
}

void TestWizard::historyClear()
{
    QFETCH(bool, confirmed);
    QWidget* first = openRequestPage(true);
    QVERIFY(first);
    requestForMerchantKey(first);
    m_seen.clear();
    QCOMPARE(CertEngine::instance()->listHistory().size(), 1);

    Dialog_Opt_History history;
    QStringList state;
    ModalAnswer outer([&](QWidget* dialog) {
        clickFirstRecord(dialog);
        QCOMPARE(clickAnswering(dialog, "clearBtn", {answerBox(confirmed ? "清空" : "取消", &m_seen)}), 1);
        state << QString::number(dialog->findChild<QListView*>("listView")->model()->rowCount())
              << QString::number(widget(dialog, "okBtn")->isEnabled());
        click(dialog, "okBtn");
        if (dialog->isVisible()) // a disabled okBtn leaves it open
            click(dialog, "backBtn");
    });
    const bool restored = history.run(first);
    QCOMPARE(m_seen, QStringList{"确定清空操作历史吗？清空不可恢复"});
    QCOMPARE(state, (QStringList{QString::number(confirmed ? 0 : 1), QString::number(!confirmed)}));
    QCOMPARE(restored, !confirmed);
    QCOMPARE(CertEngine::instance()->listHistory().size(), confirmed ? 0 : 1);
}

void TestWizard::failedRestoreEmptiesTheFields_data()
{
    QTest::addColumn<bool>("removedAfterListing");
    QTest::addColumn<QString>("expected");
    QTest::newRow("record without its members") << false << "恢复操作历史数据失败，请重试！ret:30024";
    QTest::newRow("record removed after the listing") << true << "恢复操作历史数据失败，请重试！ret:30026";
}

void TestWizard::failedRestoreEmptiesTheFields()
{
    QFETCH(bool, removedAfterListing);
    QFETCH(QString, expected);
    const QString record = HistoryStore::directory() + "/broken.json";
    QVERIFY(QDir().mkpath(HistoryStore::directory()));
    QVERIFY(writeFile(record, "{}"));
    QWidget* request = openRequestPage(false);
    QVERIFY(request);
    setText(request, "spNoLineEdit", "1");
    setText(request, "csrTextEdit", "text");
    ModalAnswer answer([=](QWidget* dialog) {
        clickFirstRecord(dialog);
        if (removedAfterListing)
            QFile::remove(record);
        click(dialog, "okBtn");
    });
    // Through the link's accessible action, as a screen reader presses it.
    QAccessible::queryAccessibleInterface(widget(request, "optHistoryLabel"))
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    QTRY_VERIFY(answer.wasAnswered()); // the action is queued
    QCOMPARE(text(request, "errorLabel"), expected);
    QCOMPARE(textsThatDoNotFit(request), QString());
    QCOMPARE(text(request, "spNoLineEdit") + text(request, "csrTextEdit"), QString());
}

void TestWizard::refusedHistoryIsNamedNotShownEmpty()
{
    QVERIFY(QFile::link(WorkDirectory::freshDirectory("elsewhere"), HistoryStore::directory()));
    QWidget* request = openRequestPage(false);
    QVERIFY(request);
    ModalAnswer noHistory(ModalAnswer::closeWindow());
    emit static_cast<QLabel*>(widget(request, "optHistoryLabel"))->linkActivated(QStringLiteral("  "));
    QCOMPARE(noHistory.answeredCount(), 0); // no empty list that looks as if the records were gone
    QCOMPARE(text(request, "errorLabel"), QStringLiteral("无法打开操作记录（ret:30026）：opts目录是链接或属于其他用户。"
                                                         "记录未被删除，请将其恢复为本人的普通目录后重试"));
    QCOMPARE(textsThatDoNotFit(request), QString());
}

void TestWizard::importPageErrorsKeepTheInputs_data()
{
    QTest::addColumn<QString>("certificate");
    QTest::addColumn<QString>("password");
    // 0 no dialog expected, 1 cancelled, 2 chosen, 3 chosen but its cert.p12 is a directory (replacing agreed)
    QTest::addColumn<int>("directory");
    QTest::addColumn<QString>("expected");
    QTest::newRow("nothing entered") << QString() << QString() << 0 << "请输入证书串！";
    QTest::newRow("no password") << "x" << QString() << 0 << "请设置证书密码！";
    QTest::newRow("directory dialog cancelled") << "x" << kPassword << 1 << "请选择证书保存目录！";
    // Which certificates the engine refuses is its tests' matter; here how the page says so.
    QTest::newRow("cert.p12 cannot be written")
        << QString::fromUtf8(m_merchantCert) << kPassword << 3 << "生成证书失败，请重试！ret:10103";
    // The second line names the root certificate file, so that the merchant can act without the manual.
    pki::makeCa("otherca");
    QTest::newRow("certificate of another platform")
        << QString::fromUtf8(pki::issueFor("key.pem", "otherca")) << kPassword << 2
        << "生成证书失败，请重试！ret:10029\n根证书：" +
               QDir::toNativeSeparators(QDir::current().absoluteFilePath(pki::kRoot))
                   .replace(QDir::separator(), QString(QDir::separator()) + QChar(0x200B)); // breaks the label may take
}

void TestWizard::importPageErrorsKeepTheInputs()
{
    QFETCH(QString, certificate);
    QFETCH(QString, password);
    QFETCH(int, directory);
    QFETCH(QString, expected);
    QWidget* import = openImportPage();
    QVERIFY(import);
    const QString target = WorkDirectory::freshDirectory("failed");
    QVector<ModalAnswer::Action> answers{ModalAnswer::chooseFile(target)};
    if (directory == 0)
        answers.clear();
    if (directory == 1)
        answers.first() = ModalAnswer::cancelFileDialog();
    if (directory == 3) {
        QVERIFY(QDir(target).mkdir("cert.p12"));
        answers << answerBox("覆盖", &m_seen);
    }
    answers << ModalAnswer::closeWindow(); // no window beyond those
    setText(import, "spCertTextEdit", certificate);
    setText(import, "passwdLineEdit", password);
    QCOMPARE(clickAnswering(import, "nextStepBtn", answers), answers.size() - 1);
    QCOMPARE(text(import, "errorLabel"), expected);
    QCOMPARE(textsThatDoNotFit(import), QString());
    QCOMPARE(QDir(target).entryList(QDir::Files), QStringList());
    QCOMPARE(CertEngine::instance()->lastPath, directory >= 2 ? target : m_work.filePath("key.pem"));
    QCOMPARE(stackIndex(), 2);
    if (directory != 2)
        return;

    // The inputs stay: with the right certificate the retry succeeds, and the dialog starts where it was left.
    QCOMPARE(text(import, "passwdLineEdit"), password);
    QVERIFY(widget(import, "nextStepBtn")->isEnabled());
    setText(import, "spCertTextEdit", m_merchantCert);
    QString startedIn;
    ModalAnswer answer([&startedIn, target](QWidget* dialog) {
        startedIn = qobject_cast<QFileDialog*>(dialog)->directory().absolutePath();
        ModalAnswer::chooseFile(target)(dialog);
    });
    click(import, "nextStepBtn");
    QCOMPARE(startedIn, target);
    QCOMPARE(stackIndex(), 3);
    QCOMPARE(QDir(target).entryList(QDir::Files).size(), 3);
}

void TestWizard::importPageAsksBeforeWriting_data()
{
    QTest::addColumn<QString>("inPlace"); // what stands at cert_key.pem: nothing, "file" or "dangling link"
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("answer"); // empty: no question expected
    QTest::addColumn<bool>("written");
    QTest::newRow("existing files, cancel") << "file" << kPassword << "取消" << false;
    QTest::newRow("existing files, overwrite") << "file" << kPassword << "覆盖" << true;
#ifdef Q_OS_UNIX
    QTest::newRow("dangling link, overwrite") << "dangling link" << kPassword << "覆盖" << true;
#endif
    QTest::newRow("printable ASCII password") << QString() << "Secret 123!~" << QString() << true;
    QTest::newRow("umlaut, change it") << QString() << "Passwört1" << QString("修改密码") << false;
    QTest::newRow("Chinese, change it") << QString() << "密码123" << QString("修改密码") << false;
    QTest::newRow("Chinese, go on") << QString() << "密码123" << QString("继续") << true;
}

void TestWizard::importPageAsksBeforeWriting()
{
    QFETCH(QString, inPlace);
    QFETCH(QString, password);
    QFETCH(QString, answer);
    QFETCH(bool, written);
    QWidget* import = openImportPage();
    QVERIFY(import);
    const bool existing = !inPlace.isEmpty();
    const QString directory = WorkDirectory::freshDirectory("questions");
    const QString outside = WorkDirectory::freshDirectory("outside");
    const QString oldKey = directory + "/cert_key.pem";
    QVERIFY(inPlace != "file" || writeFile(oldKey, "key of the working certificate"));
    QVERIFY(inPlace != "dangling link" || QFile::link(outside + "/k.pem", oldKey));

    // The overwrite question comes after the directory dialog, the password question before it.
    QStringList cut;
    bool disabledWhileAsking = false;
    const ModalAnswer::Action question = [&](QWidget* box) {
        disabledWhileAsking = !widget(import, "nextStepBtn")->isEnabled();
        answerBox(answer, &m_seen, &cut)(box);
    };
    QVector<ModalAnswer::Action> answers;
    if (!existing && !answer.isEmpty())
        answers << question;
    if (existing || written)
        answers << ModalAnswer::chooseFile(directory);
    if (existing)
        answers << question;
    answers << ModalAnswer::closeWindow(); // no window beyond those
    setText(import, "spCertTextEdit", m_merchantCert);
    setText(import, "passwdLineEdit", password);
    widget(import, "nextStepBtn")->setFocus();
    QCOMPARE(clickAnswering(import, "nextStepBtn", answers), answers.size() - 1);
    QCOMPARE(cut, QStringList());
    QCOMPARE(m_seen.size(), answer.isEmpty() ? 0 : 1);
    if (existing) {
        QCOMPARE(m_seen.first(), QStringLiteral("所选目录中已有证书文件，覆盖后无法恢复，是否覆盖？"));
        QVERIFY(disabledWhileAsking);
        if (inPlace == "file")
            QCOMPARE(readFile(oldKey) == "key of the working certificate", !written);
        else
            QCOMPARE(QFileInfo(oldKey).isSymLink(), !written);
    } else if (!answer.isEmpty()) {
        QCOMPARE(m_seen.first(), QStringLiteral("部分系统（如Java）无法打开使用此密码的证书文件"));
    }
    QVERIFY(widget(import, "nextStepBtn")->isEnabled());
    // Dangling links are listed as system entries; nothing is written where the link points.
    QCOMPARE(QDir(directory).entryList(QDir::Files | QDir::System).size(), written ? 3 : int(existing));
    QCOMPARE(QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System), QStringList());
    QCOMPARE(stackIndex(), written ? 3 : 2);
    if (!written && existing)
        QCOMPARE(text(import, "errorLabel"), QStringLiteral("已取消，未写入任何文件"));
    if (!written && !existing)
        QCOMPARE(import->focusWidget(), widget(import, "passwdLineEdit"));
}

void TestWizard::finishPageOpensTheDirectoryAsOneArgumentOrSaysItCannot_data()
{
    QTest::addColumn<QString>("directory");
    QTest::newRow("blank in a name") << "/srv/my certs/2026";
    QTest::newRow("name that looks like markup") << "/srv/<b>certs</b>/2026";
    // Windows paths end at 260 characters, cert_key.pem included.
    QTest::newRow("longest Windows directory")
        << "C:/Users/merchant.account.name/Documents/Zorvik Merchant Platform/Certificates/2026/"
           "Renewal for the main shop in ShenZhen/Backup copies kept by the accounting department/"
           "Second attempt after the first upload/final-version-v3";
    QTest::newRow("Chinese names") << "D:/商户资料/深圳市测试商户有限公司/财务部/证书文件/二零二六年/"
                                      "更换证书/第二次申请/备份文件夹/最终版本/请勿删除此目录中的任何文件/"
                                      "深圳市测试商户有限公司第二分公司/证书";
}

void TestWizard::finishPageOpensTheDirectoryAsOneArgumentOrSaysItCannot()
{
    QFETCH(QString, directory);
    Dialog_ImportCert_2 empty;
    click(&empty, "openCertDirBtn");
    QVERIFY(m_started.isEmpty());

    Dialog_ImportCert_2 page;
    page.setCertDir(directory);
    // Shown whole and as named, as the merchant's system writes it: what the eye and a screen reader get.
    const QString shown = QDir::toNativeSeparators(directory);
    QCOMPARE(text(&page, "fileDirLabel"), shown);
    QCOMPARE(QAccessible::queryAccessibleInterface(widget(&page, "fileDirLabel"))->text(QAccessible::Name), shown);
    QCOMPARE(textsThatDoNotFit(&page), QString());
    click(&page, "openCertDirBtn");
    click(&page, "openCertDirBtn");
    QCOMPARE(m_started.size(), 2);
#if defined(Q_OS_WIN)
    const QStringList expected{"explorer", QDir::toNativeSeparators(directory)};
#elif defined(Q_OS_MACOS)
    const QStringList expected{"open", directory};
#else
    const QStringList expected{"xdg-open", directory};
#endif
    QCOMPARE(m_started.first(), expected);
    QCOMPARE(text(&page, "fileDirLabel"), shown); // unchanged by the conversion

    // The page says when no file manager starts, until one does.
    m_fileManagerStarts = false;
    click(&page, "openCertDirBtn");
    QCOMPARE(text(&page, "errorLabel"), QStringLiteral("无法打开文件管理器，请手动打开目录"));
    QCOMPARE(textsThatDoNotFit(&page), QString());
    m_fileManagerStarts = true;
    click(&page, "openCertDirBtn");
    QCOMPARE(text(&page, "errorLabel"), QString());
}

void TestWizard::finishPageShowsTheNotesWholeWithSigningRed()
{
    Dialog_ImportCert_2 page;
    page.show();
    auto* browser = page.findChild<QTextBrowser*>("textBrowser");
    QTextDocument* notes = browser->document();
    QVERIFY(notes->size().height() <= browser->viewport()->height());
    // Each paragraph as written, its red words in brackets; a colour neither black nor red shows as "?".
    QStringList paragraphs;
    for (QTextBlock block = notes->begin(); block.isValid(); block = block.next()) {
        QString paragraph;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QColor colour = it.fragment().charFormat().foreground().color();
            const QString words = it.fragment().text();
            paragraph += colour == QColor(Qt::red) ? '[' + words + ']' : colour == QColor(Qt::black) ? words : "?";
        }
        paragraphs << paragraph;
    }
    QCOMPARE(paragraphs,
             (QStringList{
                 "1、文件介绍",
                 "cert.p12：PKCS#12格式文件，包含公私钥和证书。可用于在调用商户平台接口时，对请求参数进行[签名]。",
                 "cert.pem：PEM格式文件，仅包含证书。",
                 "cert_key.pem：PEM格式文件，仅包含私钥。可用于在调用商户平台接口时，对请求参数进行[签名]。",
                 "其他说明。。。",
             }));
}

void TestWizard::historyLinkIsAccessibleAndOpensTheHistory()
{
    Dialog_GetCSR_1 request;
    // The captions are the buddies of their fields; the request box shows an arrow, not a text cursor.
    QCOMPARE(static_cast<QLabel*>(widget(&request, "label_4"))->buddy(), widget(&request, "spNoLineEdit"));
    QCOMPARE(static_cast<QLabel*>(widget(&request, "label_5"))->buddy(), widget(&request, "spNameLineEdit"));
    QCOMPARE(static_cast<QAbstractScrollArea*>(widget(&request, "csrTextEdit"))->viewport()->cursor().shape(),
             Qt::ArrowCursor);
    auto* linkLabel = static_cast<QLabel*>(widget(&request, "optHistoryLabel"));
    QAccessibleInterface* link = QAccessible::queryAccessibleInterface(linkLabel);
    QCOMPARE(link->role(), QAccessible::Link);
    QCOMPARE(link->text(QAccessible::Name), QStringLiteral("操作记录"));

    // A click on the word opens the history.
    request.show();
    ModalAnswer answer(ModalAnswer::clickButtonNamed("backBtn"));
    const QPoint onText(linkLabel->width() - linkLabel->fontMetrics().horizontalAdvance("操作记录") / 2,
                        linkLabel->height() / 2);
    QTest::mouseClick(linkLabel, Qt::LeftButton, {}, onText);
    QCOMPARE(answer.seenTitle(), QStringLiteral("操作记录（最近10条）"));

    // The accessibility action returns at once, as a button's does; the history opens after it.
    bool returned = false;
    bool openedAfterReturn = false;
    ModalAnswer pressed([&](QWidget* dialog) {
        openedAfterReturn = returned;
        click(dialog, "backBtn");
    });
    link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    returned = true;
    QTRY_VERIFY(pressed.wasAnswered());
    QVERIFY(openedAfterReturn);
}

QTEST_MAIN(TestWizard)
#include "tst_wizard.moc"
