#include "app/filemanager.h"
#include "app/logfile.h"
#include "app/mainwindow.h"
#include "app/pagestack.h"
#include "certengine/certengine.h"
#include "history/dialog_opt_history.h"
#include "history/historystore.h"
#include "modalanswer.h"
#include "opensslcommand.h"
#include "textfit.h"
#include "wizard/dialog_getcsr_1.h"
#include "wizard/dialog_importcert_1.h"
#include "wizard/dialog_importcert_2.h"

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
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>

namespace {

const QString kPassword = QStringLiteral("Secret-123");

QPushButton* button(QWidget* window, const char* name)
{
    return window->findChild<QPushButton*>(QLatin1String(name));
}
QLineEdit* lineEdit(QWidget* window, const char* name)
{
    return window->findChild<QLineEdit*>(QLatin1String(name));
}
QPlainTextEdit* textEdit(QWidget* window, const char* name)
{
    return window->findChild<QPlainTextEdit*>(QLatin1String(name));
}
QString labelText(QWidget* window, const char* name)
{
    return window->findChild<QLabel*>(QLatin1String(name))->text();
}
void click(QWidget* window, const char* name)
{
    QTest::mouseClick(button(window, name), Qt::LeftButton);
}

QWidget* stackTop()
{
    return PageStack::instance()->windowAt(PageStack::instance()->currentIndex());
}

// Answers a ZVMessageBox with the button of that text; its message goes to seen, texts that are cut to cut.
ModalAnswer::Action answerBox(const QString& buttonText, QStringList* seen, QStringList* cut = nullptr)
{
    return [=](QWidget* box) {
        if (auto* message = box->findChild<QLabel*>(QStringLiteral("msgLabel")))
            *seen << message->text();
        if (cut)
            *cut << textsThatDoNotFit(box);
        ModalAnswer::clickButtonWithText(buttonText)(box);
    };
}

QByteArray publicKey(const QStringList& command, const QByteArray& input = QByteArray())
{
    const OpensslResult result = runOpenssl(command, input);
    return result.exitCode == 0 ? result.output : QByteArray();
}

// The root CA of the test issues a certificate for the request.
QByteArray issue(const QByteArray& csr)
{
    static int serial = 1;
    return runOpenssl({"x509", "-req", "-CA", "cert/RootCA_ZX.cer", "-CAkey", "ca.key", "-set_serial",
                       QString::number(serial++), "-days", "30"},
                      csr)
        .output;
}

std::unique_ptr<QWidget> makePage(int page)
{
    if (page == 0)
        return std::make_unique<Dialog_GetCSR_1>();
    if (page == 1)
        return std::make_unique<Dialog_ImportCert_1>();
    return std::make_unique<Dialog_ImportCert_2>();
}

struct Recorded
{
    QString program;
    QStringList arguments;
};

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
    void cancelledChooserChangesNothing_data();
    void cancelledChooserChangesNothing();
    void requestPageErrors_data();
    void requestPageErrors();
    void historyRestoresKeyAfterEngineReset();
    void historyClear_data();
    void historyClear();
    void failedRestoreEmptiesTheFields_data();
    void failedRestoreEmptiesTheFields();
    void importPageErrorsKeepTheInputs_data();
    void importPageErrorsKeepTheInputs();
    void importPageAsksBeforeWriting_data();
    void importPageAsksBeforeWriting();
    void finishPageOpensTheDirectoryAsOneArgument_data();
    void finishPageOpensTheDirectoryAsOneArgument();
    void finishPageSaysWhenNoFileManagerStarts();
    void finishPageShowsTheNotesWholeWithSigningRed();
    void pagesAskBeforeClosing_data();
    void pagesAskBeforeClosing();
    void fieldsAndHistoryLinkAreAccessible();
    void tabOrderFollowsTheEye_data();
    void tabOrderFollowsTheEye();
    void asciiPasswordFileOpensInJavaKeytool();

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
    QString freshDirectory(const QString& name);

    QTemporaryDir m_work;
    std::unique_ptr<MainWindow> m_main;
    QVector<Recorded> m_started;
    bool m_fileManagerStarts = true; // what the recorded starts report
    QByteArray m_merchantPublicKey;
    QByteArray m_merchantCert;
    QByteArray m_foreignCert;
    QStringList m_seen; // messages of the boxes answered by answerBox
};

void TestWizard::initTestCase()
{
    QVERIFY(m_work.isValid());
    QVERIFY(QDir::setCurrent(m_work.path()));
    // The history is cleared before every test: keep it, and any per-user fallback, inside the work directory.
    QStandardPaths::setTestModeEnabled(true);
    HistoryStore::setApplicationDirectory(m_work.path());
    LogFile::instance()->setFileName("certutil_zv.txt");
    QVERIFY(QDir().mkdir(QStringLiteral("cert")));
    QCOMPARE(runOpenssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out",
                         "cert/RootCA_ZX.cer", "-subj", "/CN=Zorvik Test Root", "-days", "30"})
                 .exitCode,
             0);
    for (const char* key : {"merchant_key.pem", "foreign_key.pem"})
        QCOMPARE(runOpenssl({"genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048", "-out", key}).exitCode,
                 0);
    m_merchantPublicKey = publicKey({"pkey", "-pubout", "-in", "merchant_key.pem"});
    m_merchantCert = issue(publicKey({"req", "-new", "-key", "merchant_key.pem", "-subj", "/CN=1"}));
    m_foreignCert = issue(publicKey({"req", "-new", "-key", "foreign_key.pem", "-subj", "/CN=2"}));
    QVERIFY(m_merchantCert.startsWith("-----BEGIN CERTIFICATE-----"));
    QVERIFY(writeFile(QStringLiteral("merchant.crt"), m_merchantCert));
    QCOMPARE(runOpenssl({"pkcs12", "-export", "-inkey", "merchant_key.pem", "-in", "merchant.crt", "-passout",
                         "pass:" + kPassword, "-out", "merchant.p12"})
                 .exitCode,
             0);
    setDetachedStarter([this](const QString& program, const QStringList& arguments) {
        m_started.append({program, arguments});
        return m_fileManagerStarts;
    });
}

void TestWizard::init()
{
    CertEngine::instance()->clearHistory();
    CertEngine::instance()->reset();
    CertEngine::instance()->lastPath.clear();
    QGuiApplication::clipboard()->clear();
    m_started.clear();
    m_fileManagerStarts = true;
    m_seen.clear();
}

void TestWizard::cleanup()
{
    QFile::remove(HistoryStore::directory()); // a plain file or link that a test put in the history's place
    if (PageStack::instance()->windowAt(0))
        PageStack::instance()->home();
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        window->hide();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_main.reset();
}

QWidget* TestWizard::openRequestPage(bool changeMode)
{
    m_main = std::make_unique<MainWindow>();
    m_main->show();
    QPushButton* tile = button(m_main.get(), changeMode ? "changeCertBtn" : "applyCertBtn");
    if (!tile->isEnabled())
        return nullptr;
    QTest::mouseClick(tile, Qt::LeftButton);
    QWidget* page = stackTop();
    if (PageStack::instance()->currentIndex() != 1 || page->objectName() != QLatin1String("Dialog_GetCSR_1"))
        return nullptr;
    return page;
}

void TestWizard::requestForMerchantKey(QWidget* page)
{
    lineEdit(page, "spNoLineEdit")->setText(QStringLiteral("1234567890"));
    lineEdit(page, "spNameLineEdit")->setText(QStringLiteral("深圳测试商户"));
    ModalAnswer answer(
        {ModalAnswer::chooseFile(QStringLiteral("merchant_key.pem")), answerBox(QStringLiteral("确定"), &m_seen)});
    click(page, "getCSRBtn");
    QCOMPARE(answer.answeredCount(), 2);
}

QWidget* TestWizard::openImportPage()
{
    QWidget* request = openRequestPage(true);
    if (!request)
        return nullptr;
    requestForMerchantKey(request);
    m_seen.clear();
    click(request, "nextStepBtn");
    return PageStack::instance()->currentIndex() == 2 ? stackTop() : nullptr;
}

void TestWizard::generateFiles(QWidget* importPage, const QByteArray& certificate, const QString& password,
                               const QString& directory, QVector<ModalAnswer::Action> laterAnswers)
{
    textEdit(importPage, "spCertTextEdit")->setPlainText(QString::fromUtf8(certificate));
    lineEdit(importPage, "passwdLineEdit")->setText(password);
    laterAnswers.prepend(ModalAnswer::chooseFile(directory));
    ModalAnswer answer(laterAnswers);
    click(importPage, "nextStepBtn");
    QCOMPARE(answer.answeredCount(), laterAnswers.size());
}

QString TestWizard::freshDirectory(const QString& name)
{
    QDir(name).removeRecursively();
    QDir().mkpath(name);
    return QDir(name).absolutePath();
}

void TestWizard::applyJourneyEndsWithThreeFilesAndReturnsHome()
{
    QWidget* request = openRequestPage(false);
    QVERIFY(request);
    QVERIFY(request->findChild<QLabel*>(QStringLiteral("optHistoryLabel"))->isVisible());
    QCOMPARE(button(request, "getCSRBtn")->text(), QStringLiteral("生成证书请求串"));
    QCOMPARE(textsThatDoNotFit(request).join(QLatin1Char('\n')), QString());

    // By keyboard: the merchant number field has the focus, Enter generates.
    QApplication::setActiveWindow(request);
    QTRY_COMPARE(QApplication::focusWidget(), lineEdit(request, "spNoLineEdit"));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("1234567890"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    lineEdit(request, "spNameLineEdit")->insert(QStringLiteral("深圳测试商户"));
    {
        ModalAnswer answer({answerBox(QStringLiteral("确定"), &m_seen), ModalAnswer::closeWindow()});
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(answer.answeredCount(), 1);
    }
    QCOMPARE(m_seen, QStringList{QStringLiteral("复制成功")});
    const QString csr = textEdit(request, "csrTextEdit")->toPlainText();
    QVERIFY(csr.startsWith(QStringLiteral("-----BEGIN CERTIFICATE REQUEST-----\n")));
    QCOMPARE(QGuiApplication::clipboard()->text(), csr);
    QCOMPARE(labelText(request, "errorLabel"), QString());

    // The platform issues the certificate; the merchant pastes it on the next page.
    const QByteArray certificate = issue(csr.toUtf8());
    click(request, "nextStepBtn");
    QCOMPARE(PageStack::instance()->currentIndex(), 2);
    QWidget* import = stackTop();
    QCOMPARE(import->objectName(), QStringLiteral("Dialog_ImportCert_1"));
    QVERIFY(!request->isVisible() && import->isVisible());
    QCOMPARE(textsThatDoNotFit(import).join(QLatin1Char('\n')), QString());
    QGuiApplication::clipboard()->setText(QString::fromUtf8(certificate));
    click(import, "pasteSpCertBtn");
    QCOMPARE(textEdit(import, "spCertTextEdit")->toPlainText().toUtf8(), certificate);

    // A directory with a blank in its name.
    const QString directory = freshDirectory(QStringLiteral("saved certs"));
    lineEdit(import, "passwdLineEdit")->setFocus();
    QTest::keyClicks(lineEdit(import, "passwdLineEdit"), kPassword);
    {
        ModalAnswer answer(ModalAnswer::chooseFile(directory));
        QTest::keyClick(lineEdit(import, "passwdLineEdit"), Qt::Key_Return);
        QVERIFY(answer.wasAnswered());
    }
    QCOMPARE(PageStack::instance()->currentIndex(), 3);
    QWidget* finish = stackTop();
    QCOMPARE(finish->objectName(), QStringLiteral("Dialog_ImportCert_2"));
    QCOMPARE(labelText(finish, "fileDirLabel"), directory);
    QCOMPARE(textsThatDoNotFit(finish).join(QLatin1Char('\n')), QString());
    QCOMPARE(CertEngine::instance()->lastPath, directory);

    // openssl reads all three files, and they hold the key of the request.
    const QString p12 = directory + QStringLiteral("/cert.p12");
    const QByteArray requestKey = publicKey({"req", "-noout", "-pubkey"}, csr.toUtf8());
    QVERIFY(!requestKey.isEmpty());
    QCOMPARE(publicKey({"pkey", "-pubout", "-in", directory + QStringLiteral("/cert_key.pem")}), requestKey);
    QCOMPARE(publicKey({"x509", "-noout", "-pubkey", "-in", directory + QStringLiteral("/cert.pem")}), requestKey);
    const OpensslResult unpacked = runOpenssl({"pkcs12", "-in", p12, "-passin", "pass:" + kPassword, "-nodes"});
    QCOMPARE(unpacked.exitCode, 0);
    QCOMPARE(publicKey({"pkey", "-pubout"}, unpacked.output), requestKey);

    click(finish, "openCertDirBtn");
    QCOMPARE(m_started.size(), 1);
    QCOMPARE(m_started.first().arguments, QStringList{QDir::toNativeSeparators(directory)});

    const QRect finishRectangle = finish->geometry();
    click(finish, "finishBtn");
    QVERIFY(m_main->isVisible());
    QVERIFY(!finish->isVisible());
    QCOMPARE(m_main->geometry(), finishRectangle);
    QCOMPARE(PageStack::instance()->currentIndex(), 0);
    QVERIFY(!PageStack::instance()->windowAt(0));
}

void TestWizard::changeJourneyKeepsTheKeyOfTheFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("askPassword");
    QTest::addColumn<QString>("history"); // what is in the history directory's place
    QTest::newRow("PKCS#12 with password") << QStringLiteral("merchant.p12") << true << QString();
    QTest::newRow("PEM key") << QStringLiteral("merchant_key.pem") << false << QString();
    // The request stands, but the page says that it is not kept.
    QTest::newRow("PEM key, history a plain file") << QStringLiteral("merchant_key.pem") << false << "file";
    QTest::newRow("PEM key, history a link") << QStringLiteral("merchant_key.pem") << false << "link";
}

void TestWizard::changeJourneyKeepsTheKeyOfTheFile()
{
    QFETCH(QString, file);
    QFETCH(bool, askPassword);
    QFETCH(QString, history);
    QVERIFY(history != "file" || writeFile(HistoryStore::directory(), "in the way"));
    QVERIFY(history != "link" || QFile::link(freshDirectory("elsewhere"), HistoryStore::directory()));
    QWidget* request = openRequestPage(true);
    QVERIFY(request);
    QVERIFY(!request->findChild<QLabel*>(QStringLiteral("optHistoryLabel"))->isVisible());
    QCOMPARE(button(request, "getCSRBtn")->text(), QStringLiteral("选择文件并生成证书请求串"));
    QCOMPARE(labelText(request, "csrLabel"),
             QStringLiteral("2、选择证书文件（P12），或密钥文件（PEM），并生成证书请求串"));
    QCOMPARE(textsThatDoNotFit(request).join(QLatin1Char('\n')), QString());

    lineEdit(request, "spNoLineEdit")->setText(QStringLiteral("1234567890"));
    lineEdit(request, "spNameLineEdit")->setText(QStringLiteral("深圳测试商户"));
    QVector<ModalAnswer::Action> answers{ModalAnswer::chooseFile(file)};
    if (askPassword)
        answers << ModalAnswer::typeAndClick(kPassword, QStringLiteral("okBtn"));
    answers << answerBox(QStringLiteral("确定"), &m_seen);
    {
        ModalAnswer answer(answers);
        click(request, "getCSRBtn");
        QCOMPARE(answer.answeredCount(), answers.size());
    }
    const QByteArray csr = textEdit(request, "csrTextEdit")->toPlainText().toUtf8();
    QCOMPARE(publicKey({"req", "-noout", "-pubkey"}, csr), m_merchantPublicKey);
    QCOMPARE(QGuiApplication::clipboard()->text().toUtf8(), csr);
    QCOMPARE(m_seen, QStringList{QStringLiteral("复制成功")});
    QCOMPARE(labelText(request, "errorLabel"),
             history.isEmpty() ? QString()
                               : "证书请求串已生成，但未能保存到操作记录（ret:30012），请在关闭程序前完成证书导入");
    QCOMPARE(textsThatDoNotFit(request).join(QLatin1Char('\n')), QString());

    // Back to the request page and forward again gives a new, empty import page.
    click(request, "nextStepBtn");
    textEdit(stackTop(), "spCertTextEdit")->setPlainText(QStringLiteral("draft"));
    click(stackTop(), "lastStepBtn");
    QCOMPARE(PageStack::instance()->currentIndex(), 1);
    QVERIFY(request->isVisible());
    click(request, "nextStepBtn");
    QCOMPARE(PageStack::instance()->currentIndex(), 2);
    QWidget* import = stackTop();
    QCOMPARE(textEdit(import, "spCertTextEdit")->toPlainText(), QString());

    const QString directory = freshDirectory(QStringLiteral("changed"));
    generateFiles(import, issue(csr), kPassword, directory);
    QCOMPARE(PageStack::instance()->currentIndex(), 3);
    QCOMPARE(publicKey({"pkey", "-pubout", "-in", directory + QStringLiteral("/cert_key.pem")}), m_merchantPublicKey);
}

void TestWizard::cancelledChooserChangesNothing_data()
{
    QTest::addColumn<bool>("inPasswordBox");
    QTest::newRow("file dialog cancelled") << false;
    QTest::newRow("password box cancelled") << true;
}

void TestWizard::cancelledChooserChangesNothing()
{
    QFETCH(bool, inPasswordBox);
    QWidget* request = openRequestPage(true);
    QVERIFY(request);
    requestForMerchantKey(request);
    const QString csr = textEdit(request, "csrTextEdit")->toPlainText();
    QGuiApplication::clipboard()->setText(QStringLiteral("unchanged"));

    QVector<ModalAnswer::Action> answers{ModalAnswer::cancelFileDialog(), ModalAnswer::closeWindow()};
    if (inPasswordBox)
        answers = {ModalAnswer::chooseFile(QStringLiteral("merchant.p12")),
                   ModalAnswer::clickButtonWithText(QStringLiteral("取消")), ModalAnswer::closeWindow()};
    ModalAnswer answer(answers);
    click(request, "getCSRBtn");
    QCOMPARE(answer.answeredCount(), answers.size() - 1);
    QCOMPARE(textEdit(request, "csrTextEdit")->toPlainText(), csr);
    QCOMPARE(labelText(request, "errorLabel"), QString());
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("unchanged"));
    click(request, "nextStepBtn"); // the earlier request is still usable
    QCOMPARE(PageStack::instance()->currentIndex(), 2);
}

void TestWizard::requestPageErrors_data()
{
    QTest::addColumn<QString>("spNo");
    QTest::addColumn<QString>("spName");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no merchant number") << QString() << QStringLiteral("商户")
                                        << QStringLiteral("请输入商户号和商户名称！");
    QTest::newRow("no merchant name") << QStringLiteral("1") << QString() << QStringLiteral("请输入商户号和商户名称！");
    QTest::newRow("wrong PKCS#12 password")
        << QStringLiteral("1") << QStringLiteral("商户") << QStringLiteral("生成证书请求串失败，请重试！ret:10012");
}

void TestWizard::requestPageErrors()
{
    QFETCH(QString, spNo);
    QFETCH(QString, spName);
    QFETCH(QString, expected);
    QWidget* request = openRequestPage(true);
    QVERIFY(request);
    lineEdit(request, "spNoLineEdit")->setText(spNo);
    lineEdit(request, "spNameLineEdit")->setText(spName);
    {
        // Only the failing engine call gets as far as the chooser; no notice follows a failure.
        ModalAnswer answer({ModalAnswer::chooseFile(QStringLiteral("merchant.p12")),
                            ModalAnswer::typeAndClick(QStringLiteral("wrong"), QStringLiteral("okBtn")),
                            ModalAnswer::closeWindow()});
        click(request, "getCSRBtn");
        QCOMPARE(answer.answeredCount(), expected.contains(QLatin1String("ret:")) ? 2 : 0);
    }
    QCOMPARE(labelText(request, "errorLabel"), expected);
    QCOMPARE(textsThatDoNotFit(request).join(QLatin1Char('\n')), QString());
    QCOMPARE(textEdit(request, "csrTextEdit")->toPlainText(), QString());

    ModalAnswer noNotice(ModalAnswer::closeWindow());
    click(request, "copyCSRBtn"); // nothing to copy: no notice
    QCOMPARE(noNotice.answeredCount(), 0);
    click(request, "nextStepBtn");
    QCOMPARE(labelText(request, "errorLabel"), QStringLiteral("请生成证书请求串"));
    QCOMPARE(PageStack::instance()->currentIndex(), 1);
}

void TestWizard::historyRestoresKeyAfterEngineReset()
{
    QWidget* first = openRequestPage(true);
    QVERIFY(first);
    requestForMerchantKey(first);
    const QString csr = textEdit(first, "csrTextEdit")->toPlainText();
    click(first, "lastStepBtn");
    QCOMPARE(PageStack::instance()->currentIndex(), 0);

    // A new visit resets the engine, as a restart would; the second tile click leaves two stack entries.
    QTest::mouseClick(button(m_main.get(), "applyCertBtn"), Qt::LeftButton);
    QCOMPARE(PageStack::instance()->currentIndex(), 1);
    QWidget* request = stackTop();
    QVERIFY(request != first);
    QCOMPARE(lineEdit(request, "spNoLineEdit")->text(), QString());

    // The link by keyboard: Tab reaches it from the last button, Enter opens the history; there the first
    // record is taken with Enter.
    QApplication::setActiveWindow(request);
    button(request, "nextStepBtn")->setFocus();
    QTest::keyClick(button(request, "nextStepBtn"), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("optHistoryLabel"));
    QStringList historyState;
    {
        ModalAnswer answer({[&historyState](QWidget* dialog) {
                                auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
                                historyState << dialog->windowTitle() << QString::number(list->model()->rowCount())
                                             << QString::number(button(dialog, "okBtn")->isEnabled());
                                historyState << textsThatDoNotFit(dialog);
                                // Focus on the list makes its first row the current one.
                                QApplication::setActiveWindow(dialog);
                                list->setFocus(Qt::TabFocusReason);
                                QTest::keyClick(list, Qt::Key_Return);
                            },
                            ModalAnswer::closeWindow()});
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(answer.answeredCount(), 1); // no copy notice after a restore
    }
    QCOMPARE(historyState,
             (QStringList{QStringLiteral("操作记录（最近10条）"), QStringLiteral("1"), QStringLiteral("0")}));
    QCOMPARE(lineEdit(request, "spNoLineEdit")->text(), QStringLiteral("1234567890"));
    QCOMPARE(lineEdit(request, "spNameLineEdit")->text(), QStringLiteral("深圳测试商户"));
    QCOMPARE(textEdit(request, "csrTextEdit")->toPlainText(), csr);

    // The restored key packages the certificate issued for the old request.
    click(request, "nextStepBtn");
    const QString directory = freshDirectory(QStringLiteral("restored"));
    generateFiles(stackTop(), issue(csr.toUtf8()), kPassword, directory);
    QCOMPARE(PageStack::instance()->currentIndex(), 3);
    QCOMPARE(publicKey({"pkey", "-pubout", "-in", directory + QStringLiteral("/cert_key.pem")}), m_merchantPublicKey);
}

void TestWizard::historyClear_data()
{
    QTest::addColumn<QString>("answer");
    QTest::newRow("cancelled") << QStringLiteral("取消");
    QTest::newRow("confirmed") << QStringLiteral("清空");
}

void TestWizard::historyClear()
{
    QFETCH(QString, answer);
    const bool confirmed = answer == QStringLiteral("清空");
    QWidget* first = openRequestPage(true);
    QVERIFY(first);
    requestForMerchantKey(first);
    m_seen.clear();
    QCOMPARE(CertEngine::instance()->listHistory().size(), 1);

    Dialog_Opt_History history;
    QStringList state;
    ModalAnswer outer([&](QWidget* dialog) {
        auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 0)).center());
        {
            ModalAnswer inner(answerBox(answer, &m_seen));
            click(dialog, "clearBtn");
        }
        state << QString::number(list->model()->rowCount()) << QString::number(button(dialog, "okBtn")->isEnabled());
        click(dialog, "okBtn");
        if (dialog->isVisible()) // a disabled okBtn leaves it open
            click(dialog, "backBtn");
    });
    const bool restored = history.run(first);
    QCOMPARE(m_seen, QStringList{QStringLiteral("确定清空操作历史吗？清空不可恢复")});
    QCOMPARE(state, (QStringList{QString::number(confirmed ? 0 : 1), QString::number(!confirmed)}));
    QCOMPARE(restored, !confirmed);
    QCOMPARE(CertEngine::instance()->listHistory().size(), confirmed ? 0 : 1);
}

void TestWizard::failedRestoreEmptiesTheFields_data()
{
    QTest::addColumn<bool>("removedAfterListing");
    QTest::addColumn<QString>("expected");
    QTest::newRow("record without its members") << false << QStringLiteral("恢复操作历史数据失败，请重试！ret:30024");
    QTest::newRow("record removed after the listing")
        << true << QStringLiteral("恢复操作历史数据失败，请重试！ret:30026");
}

void TestWizard::failedRestoreEmptiesTheFields()
{
    QFETCH(bool, removedAfterListing);
    QFETCH(QString, expected);
    const QString record = HistoryStore::directory() + QStringLiteral("/broken.json");
    QVERIFY(QDir().mkpath(HistoryStore::directory()));
    QVERIFY(writeFile(record, "{}"));
    QWidget* request = openRequestPage(false);
    QVERIFY(request);
    lineEdit(request, "spNoLineEdit")->setText(QStringLiteral("1"));
    textEdit(request, "csrTextEdit")->setPlainText(QStringLiteral("text"));
    ModalAnswer answer([=](QWidget* dialog) {
        auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 0)).center());
        if (removedAfterListing)
            QFile::remove(record);
        click(dialog, "okBtn");
    });
    QAccessible::queryAccessibleInterface(request->findChild<QLabel*>(QStringLiteral("optHistoryLabel")))
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    QTRY_VERIFY(answer.wasAnswered()); // the action is queued
    QCOMPARE(labelText(request, "errorLabel"), expected);
    QCOMPARE(textsThatDoNotFit(request).join(QLatin1Char('\n')), QString());
    QCOMPARE(lineEdit(request, "spNoLineEdit")->text(), QString());
    QCOMPARE(textEdit(request, "csrTextEdit")->toPlainText(), QString());
    click(request, "nextStepBtn"); // no request to go on with
    QCOMPARE(labelText(request, "errorLabel"), QStringLiteral("请生成证书请求串"));
    QCOMPARE(PageStack::instance()->currentIndex(), 1);
}

void TestWizard::importPageErrorsKeepTheInputs_data()
{
    QTest::addColumn<QByteArray>("certificate");
    QTest::addColumn<QString>("password");
    // 0 no dialog expected, 1 cancelled, 2 chosen, 3 chosen but its cert.p12 is a directory (replacing agreed)
    QTest::addColumn<int>("directory");
    QTest::addColumn<QString>("expected");
    QTest::newRow("nothing entered") << QByteArray() << QString() << 0 << QStringLiteral("请输入证书串！");
    QTest::newRow("no password") << QByteArray("x") << QString() << 0 << QStringLiteral("请设置证书密码！");
    QTest::newRow("directory dialog cancelled")
        << QByteArray("x") << kPassword << 1 << QStringLiteral("请选择证书保存目录！");
    QTest::newRow("certificate of another key")
        << QByteArray("foreign") << kPassword << 2 << QStringLiteral("生成证书失败，请重试！ret:10026");
    QTest::newRow("cert.p12 cannot be written")
        << QByteArray("merchant") << kPassword << 3 << QStringLiteral("生成证书失败，请重试！ret:10103");
}

void TestWizard::importPageErrorsKeepTheInputs()
{
    QFETCH(QByteArray, certificate);
    QFETCH(QString, password);
    QFETCH(int, directory);
    QFETCH(QString, expected);
    if (certificate == "foreign")
        certificate = m_foreignCert;
    if (certificate == "merchant")
        certificate = m_merchantCert;
    QWidget* import = openImportPage();
    QVERIFY(import);
    const QString target = freshDirectory(QStringLiteral("failed"));
    QVector<ModalAnswer::Action> answers{ModalAnswer::chooseFile(target), ModalAnswer::closeWindow()};
    if (directory == 1)
        answers.first() = ModalAnswer::cancelFileDialog();
    if (directory == 3) {
        QVERIFY(QDir(target).mkdir(QStringLiteral("cert.p12")));
        answers.insert(1, answerBox(QStringLiteral("覆盖"), &m_seen));
    }
    textEdit(import, "spCertTextEdit")->setPlainText(QString::fromUtf8(certificate));
    lineEdit(import, "passwdLineEdit")->setText(password);
    {
        ModalAnswer answer(answers);
        click(import, "nextStepBtn");
        QCOMPARE(answer.answeredCount(), answers.size() - 1 - int(directory == 0));
    }
    QCOMPARE(labelText(import, "errorLabel"), expected);
    QCOMPARE(textsThatDoNotFit(import).join(QLatin1Char('\n')), QString());
    QCOMPARE(QDir(target).entryList(QDir::Files), QStringList());
    QCOMPARE(CertEngine::instance()->lastPath,
             directory >= 2 ? target : QDir::current().absoluteFilePath(QStringLiteral("merchant_key.pem")));
    QCOMPARE(PageStack::instance()->currentIndex(), 2);
    if (directory != 2)
        return;

    // The inputs stay: with the right certificate the retry succeeds, and the dialog starts where it was left.
    QCOMPARE(lineEdit(import, "passwdLineEdit")->text(), password);
    QVERIFY(button(import, "nextStepBtn")->isEnabled());
    textEdit(import, "spCertTextEdit")->setPlainText(QString::fromUtf8(m_merchantCert));
    QString startedIn;
    ModalAnswer answer([&startedIn, target](QWidget* dialog) {
        startedIn = qobject_cast<QFileDialog*>(dialog)->directory().absolutePath();
        ModalAnswer::chooseFile(target)(dialog);
    });
    click(import, "nextStepBtn");
    QCOMPARE(startedIn, target);
    QCOMPARE(PageStack::instance()->currentIndex(), 3);
    QCOMPARE(QDir(target).entryList(QDir::Files).size(), 3);
}

void TestWizard::importPageAsksBeforeWriting_data()
{
    QTest::addColumn<QString>("inPlace"); // what stands at cert_key.pem: nothing, "file" or "dangling link"
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("answer"); // empty: no question expected
    QTest::addColumn<bool>("written");
    const QString overwrite = QStringLiteral("覆盖");
    const QString cancel = QStringLiteral("取消");
    const QString change = QStringLiteral("修改密码");
    const QString goOn = QStringLiteral("继续");
    const QString file = QStringLiteral("file");
    QTest::newRow("existing files, cancel") << file << kPassword << cancel << false;
    QTest::newRow("existing files, overwrite") << file << kPassword << overwrite << true;
#ifdef Q_OS_UNIX
    QTest::newRow("dangling link, overwrite") << QStringLiteral("dangling link") << kPassword << overwrite << true;
#endif
    QTest::newRow("printable ASCII password") << QString() << QStringLiteral("Secret 123!~") << QString() << true;
    QTest::newRow("umlaut, change it") << QString() << QStringLiteral("Passwört1") << change << false;
    QTest::newRow("Chinese, change it") << QString() << QStringLiteral("密码123") << change << false;
    QTest::newRow("Chinese, go on") << QString() << QStringLiteral("密码123") << goOn << true;
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
    const QString directory = freshDirectory(QStringLiteral("questions"));
    const QString outside = freshDirectory(QStringLiteral("outside"));
    const QString oldKey = directory + QStringLiteral("/cert_key.pem");
    if (inPlace == QLatin1String("file"))
        QVERIFY(writeFile(oldKey, "key of the working certificate"));
    if (inPlace == QLatin1String("dangling link"))
        QVERIFY(QFile::link(outside + QStringLiteral("/k.pem"), oldKey));

    // The overwrite question comes after the directory dialog, the password question before it.
    QStringList cut;
    bool disabledWhileAsking = false;
    const ModalAnswer::Action question = [&](QWidget* box) {
        disabledWhileAsking = !button(import, "nextStepBtn")->isEnabled();
        answerBox(answer, &m_seen, &cut)(box);
    };
    QVector<ModalAnswer::Action> answers;
    if (!existing && !answer.isEmpty())
        answers << question;
    if (existing || written)
        answers << ModalAnswer::chooseFile(directory);
    if (existing)
        answers << question;
    answers << ModalAnswer::closeWindow();
    textEdit(import, "spCertTextEdit")->setPlainText(QString::fromUtf8(m_merchantCert));
    lineEdit(import, "passwdLineEdit")->setText(password);
    button(import, "nextStepBtn")->setFocus();
    {
        ModalAnswer answered(answers);
        click(import, "nextStepBtn");
        QCOMPARE(answered.answeredCount(), answers.size() - 1);
    }
    QCOMPARE(cut.join(QLatin1Char('\n')), QString());
    QCOMPARE(m_seen.size(), answer.isEmpty() ? 0 : 1);
    if (existing) {
        QCOMPARE(m_seen.first(), QStringLiteral("所选目录中已有证书文件，覆盖后无法恢复，是否覆盖？"));
        QVERIFY(disabledWhileAsking);
        if (inPlace == QLatin1String("file"))
            QCOMPARE(readFile(oldKey) == "key of the working certificate", !written);
        else
            QCOMPARE(QFileInfo(oldKey).isSymLink(), !written);
    } else if (!answer.isEmpty()) {
        QCOMPARE(m_seen.first(), QStringLiteral("部分系统（如Java）无法打开使用此密码的证书文件"));
    }
    QVERIFY(button(import, "nextStepBtn")->isEnabled());
    // Dangling links are listed as system entries; nothing is written where the link points.
    QCOMPARE(QDir(directory).entryList(QDir::Files | QDir::System).size(), written ? 3 : int(existing));
    QCOMPARE(QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System), QStringList());
    QCOMPARE(PageStack::instance()->currentIndex(), written ? 3 : 2);
    if (!written && existing)
        QCOMPARE(labelText(import, "errorLabel"), QStringLiteral("已取消，未写入任何文件"));
    if (!written && !existing)
        QCOMPARE(import->focusWidget(), lineEdit(import, "passwdLineEdit"));
}

void TestWizard::finishPageOpensTheDirectoryAsOneArgument_data()
{
    QTest::addColumn<QString>("directory");
    QTest::newRow("blank in a name") << QStringLiteral("/srv/my certs/2026");
    QTest::newRow("name that looks like markup") << QStringLiteral("/srv/<b>certs</b>/2026");
    // Windows paths end at 260 characters, cert_key.pem included.
    QTest::newRow("longest Windows directory")
        << QStringLiteral("C:/Users/merchant.account.name/Documents/Zorvik Merchant Platform/Certificates/2026/"
                          "Renewal for the main shop in ShenZhen/Backup copies kept by the accounting department/"
                          "Second attempt after the first upload/final-version-v3");
    QTest::newRow("Chinese names") << QStringLiteral(
        "D:/商户资料/深圳市测试商户有限公司/财务部/证书文件/二零二六年/"
        "更换证书/第二次申请/备份文件夹/最终版本/请勿删除此目录中的任何文件/"
        "深圳市测试商户有限公司第二分公司/证书");
}

void TestWizard::finishPageOpensTheDirectoryAsOneArgument()
{
    QFETCH(QString, directory);
    Dialog_ImportCert_2 empty;
    click(&empty, "openCertDirBtn");
    QVERIFY(m_started.isEmpty());

    Dialog_ImportCert_2 page;
    page.setCertDir(directory);
    // Shown whole and as named: what the eye and a screen reader get.
    auto* label = page.findChild<QLabel*>(QStringLiteral("fileDirLabel"));
    QCOMPARE(label->text(), directory);
    QCOMPARE(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name), directory);
    QCOMPARE(textsThatDoNotFit(&page).join(QLatin1Char('\n')), QString());
    click(&page, "openCertDirBtn");
    click(&page, "openCertDirBtn");
    QCOMPARE(m_started.size(), 2);
#if defined(Q_OS_WIN)
    QCOMPARE(m_started.first().program, QStringLiteral("explorer"));
    QCOMPARE(m_started.first().arguments, QStringList{QString(directory).replace(QLatin1Char('/'), QLatin1Char('\\'))});
#elif defined(Q_OS_MACOS)
    QCOMPARE(m_started.first().program, QStringLiteral("open"));
    QCOMPARE(m_started.first().arguments, QStringList{directory});
#else
    QCOMPARE(m_started.first().program, QStringLiteral("xdg-open"));
    QCOMPARE(m_started.first().arguments, QStringList{directory});
#endif
    QCOMPARE(label->text(), directory); // unchanged by the conversion
}

void TestWizard::finishPageSaysWhenNoFileManagerStarts()
{
    Dialog_ImportCert_2 page;
    page.setCertDir(QStringLiteral("/srv/certs"));
    page.show();
    m_fileManagerStarts = false;
    click(&page, "openCertDirBtn");
    QCOMPARE(labelText(&page, "errorLabel"), QStringLiteral("无法打开文件管理器，请手动打开目录"));
    QCOMPARE(textsThatDoNotFit(&page).join(QLatin1Char('\n')), QString());
    m_fileManagerStarts = true;
    click(&page, "openCertDirBtn");
    QCOMPARE(labelText(&page, "errorLabel"), QString());
}

void TestWizard::finishPageShowsTheNotesWholeWithSigningRed()
{
    Dialog_ImportCert_2 page;
    page.show();
    auto* browser = page.findChild<QTextBrowser*>(QStringLiteral("textBrowser"));
    QTextDocument* notes = browser->document();
    QVERIFY(notes->size().height() <= browser->viewport()->height());
    QStringList paragraphs;
    QVector<int> redParagraphs;
    int number = 0;
    for (QTextBlock block = notes->begin(); block.isValid(); block = block.next(), ++number) {
        paragraphs << block.text();
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QColor colour = fragment.charFormat().foreground().color();
            if (colour == QColor(Qt::red)) {
                QCOMPARE(fragment.text(), QStringLiteral("签名"));
                redParagraphs << number;
            } else {
                QCOMPARE(colour, QColor(Qt::black));
            }
        }
    }
    QCOMPARE(
        paragraphs,
        (QStringList{
            QStringLiteral("1、文件介绍"),
            QStringLiteral(
                "cert.p12：PKCS#12格式文件，包含公私钥和证书。可用于在调用商户平台接口时，对请求参数进行签名。"),
            QStringLiteral("cert.pem：PEM格式文件，仅包含证书。"),
            QStringLiteral("cert_key.pem：PEM格式文件，仅包含私钥。可用于在调用商户平台接口时，对请求参数进行签名。"),
            QStringLiteral("其他说明。。。"),
        }));
    QCOMPARE(redParagraphs, (QVector<int>{1, 3}));
}

void TestWizard::pagesAskBeforeClosing_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("escape");
    for (int page = 0; page < 3; ++page) {
        QTest::addRow("page %d, title-bar close", page) << page << false;
        QTest::addRow("page %d, Escape", page) << page << true;
    }
}

void TestWizard::pagesAskBeforeClosing()
{
    QFETCH(int, page);
    QFETCH(bool, escape);
    const std::unique_ptr<QWidget> window = makePage(page);
    window->show();
    ModalAnswer answer(answerBox(QStringLiteral("取消"), &m_seen));
    if (escape)
        QTest::keyClick(window.get(), Qt::Key_Escape);
    else
        window->close();
    QCOMPARE(m_seen, QStringList{QStringLiteral("确定退出程序？")});
    QVERIFY(window->isVisible());
}

void TestWizard::fieldsAndHistoryLinkAreAccessible()
{
    Dialog_GetCSR_1 request;
    Dialog_ImportCert_1 import;
    Dialog_ImportCert_2 finish;
    Dialog_Opt_History history;
    QStringList names;
    for (QWidget* window : {static_cast<QWidget*>(&request), static_cast<QWidget*>(&import),
                            static_cast<QWidget*>(&finish), static_cast<QWidget*>(&history)}) {
        QCOMPARE(textsThatDoNotFit(window).join(QLatin1Char('\n')), QString());
        QCOMPARE(window->size(),
                 window->objectName() == QLatin1String("Dialog_Opt_History") ? QSize(350, 300) : QSize(500, 560));
        const auto fields = window->findChildren<QWidget*>();
        for (QWidget* field : fields) {
            if (qobject_cast<QLineEdit*>(field) || qobject_cast<QAbstractScrollArea*>(field))
                names << field->objectName() + QLatin1Char('=') +
                             QAccessible::queryAccessibleInterface(field)->text(QAccessible::Name);
        }
    }
    names.sort();
    QCOMPARE(names, (QStringList{
                        QStringLiteral("csrTextEdit=生成的证书请求串"),
                        QStringLiteral("listView=操作记录"),
                        QStringLiteral("passwdLineEdit=2、设置证书文件密码。（建议数字和字母结合使用，区分大小写）"),
                        QStringLiteral("spCertTextEdit=1、请将证书串复制到下面文本框"),
                        QStringLiteral("spNameLineEdit=商户名称"),
                        QStringLiteral("spNoLineEdit=商户号"),
                        QStringLiteral("textBrowser=一、使用说明"),
                    }));
    QCOMPARE(request.findChild<QLabel*>(QStringLiteral("label_4"))->buddy(), lineEdit(&request, "spNoLineEdit"));
    QCOMPARE(textEdit(&request, "csrTextEdit")->viewport()->cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(request.findChild<QLabel*>(QStringLiteral("label_5"))->buddy(), lineEdit(&request, "spNameLineEdit"));

    QAccessibleInterface* link =
        QAccessible::queryAccessibleInterface(request.findChild<QLabel*>(QStringLiteral("optHistoryLabel")));
    QCOMPARE(link->role(), QAccessible::Link);
    QCOMPARE(link->text(QAccessible::Name), QStringLiteral("操作记录"));
    auto* linkLabel = request.findChild<QLabel*>(QStringLiteral("optHistoryLabel"));
    QVERIFY(linkLabel->focusPolicy() & Qt::TabFocus);

    // A click on the word opens the history.
    request.show();
    ModalAnswer answer(ModalAnswer::clickButtonNamed(QStringLiteral("backBtn")));
    const QPoint onText(linkLabel->width() - linkLabel->fontMetrics().horizontalAdvance(QStringLiteral("操作记录")) / 2,
                        linkLabel->height() / 2);
    QTest::mouseClick(linkLabel, Qt::LeftButton, {}, onText);
    QCOMPARE(answer.seenTitle(), QStringLiteral("操作记录（最近10条）"));

    // The accessibility action returns at once, as a button's does; the history opens after it.
    bool returned = false;
    bool openedAfterReturn = false;
    ModalAnswer pressed([&](QWidget* dialog) {
        openedAfterReturn = returned;
        ModalAnswer::clickButtonNamed(QStringLiteral("backBtn"))(dialog);
    });
    link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    returned = true;
    QTRY_VERIFY(pressed.wasAnswered());
    QVERIFY(openedAfterReturn);
}

void TestWizard::tabOrderFollowsTheEye_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("request page") << 0 << QStringList{"spNoLineEdit", "spNameLineEdit",  "getCSRBtn",
                                                      "csrTextEdit",  "copyCSRBtn",      "lastStepBtn",
                                                      "nextStepBtn",  "optHistoryLabel", "spNoLineEdit"};
    QTest::newRow("import page") << 1 << QStringList{"spCertTextEdit", "pasteSpCertBtn", "passwdLineEdit",
                                                     "lastStepBtn",    "nextStepBtn",    "spCertTextEdit"};
    QTest::newRow("finish page") << 2 << QStringList{"openCertDirBtn", "finishBtn", "textBrowser", "openCertDirBtn"};
}

void TestWizard::tabOrderFollowsTheEye()
{
    QFETCH(int, page);
    QFETCH(QStringList, order);
    const std::unique_ptr<QWidget> window = makePage(page);
    window->show();
    QApplication::setActiveWindow(window.get());
    QTRY_VERIFY(QApplication::focusWidget());
    QStringList visited{QApplication::focusWidget()->objectName()};
    // Text boxes pass Tab on instead of inserting it, so the keyboard never gets stuck in one.
    while (visited.size() < order.size()) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, order);
}

void TestWizard::asciiPasswordFileOpensInJavaKeytool()
{
    const QString keytool = QStandardPaths::findExecutable(QStringLiteral("keytool"));
    if (keytool.isEmpty())
        QSKIP("no Java runtime (keytool) installed");
    QWidget* import = openImportPage();
    QVERIFY(import);
    const QString directory = freshDirectory(QStringLiteral("java"));
    generateFiles(import, m_merchantCert, kPassword, directory);

    QProcess java;
    java.start(keytool, {"-list", "-v", "-storetype", "PKCS12", "-keystore", directory + QStringLiteral("/cert.p12"),
                         "-storepass", kPassword});
    QVERIFY(java.waitForFinished(30000));
    const QByteArray listing = java.readAllStandardOutput() + java.readAllStandardError();
    QVERIFY2(java.exitCode() == 0, listing.constData());
    QVERIFY2(listing.contains("PrivateKeyEntry"), listing.constData());
}

QTEST_MAIN(TestWizard)
#include "tst_wizard.moc"
