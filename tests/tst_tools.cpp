#include "app/backgroundwork.h"
#include "app/pagestack.h"
#include "modalanswer.h"
#include "opensslcommand.h"
#include "signengine/signengine.h"
#include "testpki.h"
#include "tools/dialog_certinfo_1.h"
#include "tools/dialog_certsign_main.h"
#include "tools/dialog_rsa_crypt.h"
#include "windowdriver.h"
#include "workdirectory.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>
#include <QTimer>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

enum Which { Sign, Crypt, Info };

const QString kPassword = QString::fromLatin1(pki::kP12Password);

QClipboard* clipboard()
{
    return QGuiApplication::clipboard();
}

ModalAnswer::Action pressOk()
{
    return ModalAnswer::clickButtonNamed(QStringLiteral("okBtn"));
}

// Keeps every thread of the windows' pool waiting until open(): work that a window starts meanwhile waits in its
// queue, so that its progress box is answered before the work can end, however fast the work or slow the window.
// The waiting threads share nothing but the standard library's lock, which ThreadSanitizer sees (Qt's it does not).
class PoolGate
{
public:
    PoolGate()
    {
        for (; held < BackgroundWork::pool()->maxThreadCount(); ++held)
            BackgroundWork::pool()->start(&PoolGate::waitUntilOpen);
    }
    ~PoolGate() { open(); }
    PoolGate(const PoolGate&) = delete;
    PoolGate& operator=(const PoolGate&) = delete;

    void open()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            passes += held;
        }
        held = 0;
        opened.notify_all();
    }

private:
    static void waitUntilOpen()
    {
        std::unique_lock<std::mutex> lock(mutex);
        opened.wait(lock, [] { return passes > 0; });
        --passes;
    }

    static inline std::mutex mutex;
    static inline std::condition_variable opened;
    static inline int passes = 0;
    int held = 0;
};

} // namespace

class TestTools : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void emptyTextsAreNeitherCopiedNorPasted();
    void everyKindOfFileDoesWhatItsKeyAllows_data();
    void everyKindOfFileDoesWhatItsKeyAllows();
    void failedLoadsForgetTheFile_data();
    void failedLoadsForgetTheFile();
    void checksComeInOrderAndFailuresShowTheirCodes_data();
    void checksComeInOrderAndFailuresShowTheirCodes();
    void signatureIsTheEnginesOfTheTextAsItStands();
    void textsRoundTripThroughTheOtherHalf_data();
    void textsRoundTripThroughTheOtherHalf();
    void busyWindowTakesNoPressByAnyRoute();
    void cancellingLeavesWindowAndKeyAsTheyWere_data();
    void cancellingLeavesWindowAndKeyAsTheyWere();

private:
    QDialog* open(int which);
    // The encrypt/decrypt window pushed on the page stack above a root, with key.pem loaded; null if it failed to load.
    QDialog* openCryptOnStack();
    QWidget* window() const { return m_dialog.get(); }
    // Chooses a file through the window's chooser, typing the password for PKCS#12 names; returns the message.
    QString load(const QString& name, const QString& password = kPassword);
    QString file(const QString& name) const { return m_work.filePath(name); }

    WorkDirectory m_work;
    // The merchant's key of key.pem in an engine of the test: the windows must show what it makes. The engine's own
    // tests check its bytes with openssl.
    SignEngine m_engine;
    std::unique_ptr<QDialog> m_dialog;
    std::unique_ptr<QWidget> m_root; // below the window on the page stack
    // Some 1500 blocks, and their ciphertext for key.pem: a second or so of private-key work on a few cores.
    QByteArray slowPlain() const { return QByteArray(245 * 1500, 'c'); }
    QByteArray slowCipher();

    QByteArray m_slowCipher;
    const int m_progressDelayMs = BackgroundWork::progressDelayMs;
};

void TestTools::initTestCase()
{
    pki::make();
    m_engine.fileKind = KeyFilePem;
    QCOMPARE(m_engine.loadKeyFile(file("key.pem").toUtf8(), QByteArray()), 0);
#ifndef Q_OS_WIN
    // Linux allows names that look like markup; the window must show them as they are. Windows allows no "<" or
    // ">" in a file name, so no name there can.
    QVERIFY(QFile::copy("cert.cer", "<b>cert.cer"));
#endif
}

void TestTools::cleanup()
{
    BackgroundWork::progressDelayMs = m_progressDelayMs;
    m_dialog.reset();
    closeAllWindows();
    m_root.reset();
}

QByteArray TestTools::slowCipher()
{
    if (m_slowCipher.isEmpty())
        m_engine.cryptText(true, true, slowPlain(), m_slowCipher);
    return m_slowCipher;
}

QDialog* TestTools::open(int which)
{
    if (which == Sign)
        m_dialog = std::make_unique<Dialog_CertSign_Main>();
    else if (which == Crypt)
        m_dialog = std::make_unique<Dialog_RSA_Crypt>();
    else
        m_dialog = std::make_unique<Dialog_CertInfo_1>();
    m_dialog->show();
    QApplication::setActiveWindow(m_dialog.get());
    return m_dialog.get();
}

QDialog* TestTools::openCryptOnStack()
{
    m_root = std::make_unique<QWidget>();
    m_root->show();
    PageStack::instance()->setRoot(m_root.get());
    QDialog* dialog = open(Crypt);
    PageStack::instance()->push(dialog);
    return load("key.pem").isEmpty() ? dialog : nullptr;
}

QString TestTools::load(const QString& name, const QString& password)
{
    QVector<ModalAnswer::Action> actions{ModalAnswer::chooseFile(file(name))};
    if (!name.contains(".pem") && !name.contains(".cer"))
        actions << answerPassword(password);
    return clickAnswering(window(), "chooseCertBtn", actions) == actions.size() ? text(window(), "errorLabel")
                                                                                : "chooser not answered";
}

// Full copies and pastes run through every button in the tests below; here what empty texts do, and the notice.
void TestTools::emptyTextsAreNeitherCopiedNorPasted()
{
    open(Crypt);
    clipboard()->setText("earlier");
    QCOMPARE(clickAnswering(window(), "copyOutputBtn", {pressOk()}), 0);
    QCOMPARE(clipboard()->text(), QStringLiteral("earlier"));
    setText(window(), "inputTextEdit", "kept");
    clipboard()->clear();
    click(window(), "pasteInputBtn");
    QCOMPARE(text(window(), "inputTextEdit"), QStringLiteral("kept"));

    open(Info);
    setText(window(), "certInfoTextEdit", QStringLiteral("证书\n文本"));
    QString notice;
    ModalAnswer answer([&notice](QWidget* modal) {
        notice = modal->windowTitle() + '/' + modal->findChild<QLabel*>("msgLabel")->text();
        pressOk()(modal);
    });
    click(window(), "copyBtn");
    QCOMPARE(notice, QStringLiteral("提示/复制成功"));
    QCOMPARE(clipboard()->text(), QStringLiteral("证书\n文本"));
}

void TestTools::everyKindOfFileDoesWhatItsKeyAllows_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("privateKey");
    QTest::addColumn<QString>("certificateMessage");
    QTest::newRow("certificate") << "cert.cer" << false << "";
#ifndef Q_OS_WIN
    QTest::newRow("certificate named like markup") << "<b>cert.cer" << false << "";
#endif
    QTest::newRow("certificate PEM") << "cert.pem" << false << "";
    QTest::newRow("public key PEM") << "pub.pem" << false << "请选择证书文件";
    QTest::newRow("PKCS#12") << "cert.p12" << true << "";
    QTest::newRow("private key PEM") << "key.pem" << true << "请选择证书文件";
}

void TestTools::everyKindOfFileDoesWhatItsKeyAllows()
{
    QFETCH(QString, fileName);
    QFETCH(bool, privateKey);
    QFETCH(QString, certificateMessage);

    // Signing follows the private key, both ways; the merchant's signature verifies under every kind.
    open(Sign);
    QCOMPARE(load(privateKey ? "cert.cer" : "key.pem"), QString());
    QCOMPARE(load(fileName), QString());
    QCOMPARE(text(window(), "certNameLabel"), fileName);
    QCOMPARE(QAccessible::queryAccessibleInterface(widget(window(), "certNameLabel"))->text(QAccessible::Name),
             fileName);
    QCOMPARE(widget(window(), "signBtn")->isEnabled(), privateKey);
    const QByteArray plain("merchant=898110000000001&amount=100");
    QByteArray signature;
    QCOMPARE(m_engine.signText(plain, signature), 0);
    clipboard()->setText(QString::fromLatin1(signature));
    click(window(), "pasteSignBtn");
    setText(window(), "srcTextEdit", plain);
    click(window(), "verifySignBtn");
    QCOMPARE(text(window(), "errorLabel"), QStringLiteral("签名验证通过"));

    // Every load checks the public half; the private half is offered only with a private key.
    open(Crypt);
    QCOMPARE(load("key.pem"), QString());
    click(window(), "priKeyRadioBtn");
    QCOMPARE(load(fileName), QString());
    QVERIFY(qobject_cast<QRadioButton*>(widget(window(), "pubKeyRadioBtn"))->isChecked());
    QCOMPARE(widget(window(), "priKeyRadioBtn")->isEnabled(), privateKey);

    // One certificate prints the same from every file; a bare key leaves the last text shown.
    open(Info);
    QCOMPARE(load("cert.cer"), QString());
    const QString printed = text(window(), "certInfoTextEdit");
    QVERIFY(printed.startsWith("Certificate:"));
    QVERIFY(printed.contains(QStringLiteral("Subject: C=CN, ST=Beijing, L=Beijing, O=Zorvik商户系统, OU=测试商户, "
                                            "CN=898110000000001")));
    setText(window(), "certInfoTextEdit", "");
    QCOMPARE(load(fileName), certificateMessage);
    QCOMPARE(text(window(), "certInfoTextEdit"), certificateMessage.isEmpty() ? printed : QString());
}

void TestTools::failedLoadsForgetTheFile_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("nameAfterFailure");
    QTest::addColumn<QStringList>("thenRefused"); // button, message
    const QString failed = QStringLiteral("读取失败，请重试！ret:20061");
    QTest::newRow("sign/verify") << int(Sign) << failed << ""
                                 << QStringList{"signBtn", "请选择文件", "verifySignBtn", "请选择证书文件"};
    QTest::newRow("encrypt/decrypt") << int(Crypt) << failed << ""
                                     << QStringList{"encryptBtn", "请选择证书文件", "decryptBtn", "请选择证书文件"};
    // The certificate window shows the failed file's name next to the last certificate.
    QTest::newRow("certificate information")
        << int(Info) << "读取证书文件，请重试！ret:20061" << QString("cert.p12") << QStringList();
}

void TestTools::failedLoadsForgetTheFile()
{
    QFETCH(int, which);
    QFETCH(QString, failure);
    QFETCH(QString, nameAfterFailure);
    QFETCH(QStringList, thenRefused);
    QDialog* dialog = open(which);
    const QString nameBefore = which == Info ? "cert.pem" : "key.pem";
    QCOMPARE(load(nameBefore), QString());
    // What a failed load leaves: which controls are enabled and the certificate text.
    const auto state = [&] {
        QString enabled;
        const QList<QWidget*> controls = dialog->findChildren<QWidget*>();
        for (QWidget* control : controls)
            enabled += control->isEnabled() ? '1' : '0';
        return which == Info ? enabled + text(window(), "certInfoTextEdit") : enabled;
    };
    const QString loaded = state();
    QCOMPARE(load("cert.p12", "wrong"), failure);
    QCOMPARE(text(window(), "certNameLabel"), nameAfterFailure);
    QCOMPARE(state(), loaded);
    for (int i = 0; i < thenRefused.size(); i += 2) {
        setText(window(), which == Sign ? "srcTextEdit" : "inputTextEdit", "input");
        click(window(), thenRefused.at(i));
        QCOMPARE(text(window(), "errorLabel"), thenRefused.at(i + 1));
    }
}

void TestTools::checksComeInOrderAndFailuresShowTheirCodes_data()
{
    // The first edit is the plain text or input, the second the signature or output, whose content before and
    // after the click are given.
    QTest::addColumn<int>("which");
    for (const char* column : {"fileName", "first", "second", "button", "message", "secondAfter"})
        QTest::addColumn<QString>(column);
    const auto row = [](const char* name, int which, const QStringList& values) {
        QTestData& data = QTest::newRow(name) << which;
        for (const QString& value : values)
            data << value;
    };
    row("sign, no file first", Sign, {"", "", "", "signBtn", "请选择文件", ""});
    row("verify, no file first", Sign, {"", "", "", "verifySignBtn", "请选择证书文件", ""});
    row("sign, no text", Sign, {"key.pem", "", "", "signBtn", "请输入明文", ""});
    row("verify, no text", Sign, {"cert.cer", "", "AAAA", "verifySignBtn", "请输入明文", "AAAA"});
    row("verify, no signature", Sign, {"cert.cer", "t", "", "verifySignBtn", "请输入签名", ""});
    const QString broken = QString(342, 'A') + "\n";
    row("signature with a line break", Sign,
        {"cert.cer", "t", broken, "verifySignBtn", "验证签名出错！ret:20211", broken});
    row("spaces are a text", Sign, {"cert.cer", " ", "AAAA", "verifySignBtn", "签名验证不通过", "AAAA"});
    row("crypt, no file first", Crypt, {"", "", "earlier", "encryptBtn", "请选择证书文件", "earlier"});
    row("crypt, no input", Crypt, {"pub.pem", "", "earlier", "decryptBtn", "请输入内容", "earlier"});
    row("not Base64", Crypt, {"pub.pem", "no base64!", "earlier", "decryptBtn", "解密出错！ret:20313", ""});
    row("no whole RSA block", Crypt,
        {"pub.pem", QString(400, 'A'), "earlier", "decryptBtn", "解密出错！ret:20301", ""});
}

void TestTools::checksComeInOrderAndFailuresShowTheirCodes()
{
    QFETCH(int, which);
    QFETCH(QString, fileName);
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, button);
    QFETCH(QString, message);
    QFETCH(QString, secondAfter);
    open(which);
    if (!fileName.isEmpty())
        QCOMPARE(load(fileName), QString());
    const QStringList edits =
        which == Sign ? QStringList{"srcTextEdit", "signTextEdit"} : QStringList{"inputTextEdit", "outputTextEdit"};
    setText(window(), edits.at(0), first);
    setText(window(), edits.at(1), second);
    click(window(), button);
    QCOMPARE(text(window(), "errorLabel"), message);
    QCOMPARE(text(window(), edits.at(0)) + '|' + text(window(), edits.at(1)), first + '|' + secondAfter);
}

void TestTools::signatureIsTheEnginesOfTheTextAsItStands()
{
    open(Sign);
    QCOMPARE(load("cert.p12"), QString());
    // No-break spaces and line separators are signed as they stand, not as the spaces and line feeds they look like.
    const QString plain = QStringLiteral("订单 20260101\u00a0金额 ¥100.00\n  末尾空格\u2028 ");
    clipboard()->setText(plain);
    click(window(), "pasteSrcBtn");
    click(window(), "signBtn");
    QCOMPARE(text(window(), "errorLabel"), QString());
    QByteArray signature;
    QCOMPARE(m_engine.signText(plain.toUtf8(), signature), 0);
    QCOMPARE(text(window(), "signTextEdit"), QString::fromLatin1(signature));

    QCOMPARE(clickAnswering(window(), "copySignBtn", {pressOk()}), 1);
    QCOMPARE(clipboard()->text(), QString::fromLatin1(signature));

    click(window(), "verifySignBtn");
    QCOMPARE(text(window(), "errorLabel"), QStringLiteral("签名验证通过"));
    setText(window(), "srcTextEdit", QString(plain).replace("100", "101"));
    click(window(), "verifySignBtn");
    QCOMPARE(text(window(), "errorLabel"), QStringLiteral("签名验证不通过"));
}

void TestTools::textsRoundTripThroughTheOtherHalf_data()
{
    QTest::addColumn<QString>("plain");
    QTest::addColumn<bool>("publicFirst");
    for (const bool publicFirst : {true, false}) {
        const char* way = publicFirst ? "public, then private" : "private, then public";
        QTest::addRow("short, %s", way) << "hello" << publicFirst;
        QTest::addRow("three blocks, %s", way) << QString(600, 'm') << publicFirst;
        QTest::addRow("Chinese, %s", way)
            << QStringLiteral("商户号：898110000000001，金额：¥100.00\u00a0✓\u2028").repeated(10) << publicFirst;
        // Lines far longer than a box lays out at once, in the text and in its Base64 form.
        QTest::addRow("long lines, %s", way)
            << QString(20000, 'x') + QLatin1Char('\n') + QString(9000, QChar(0x4e2d)) + QLatin1Char('\n')
            << publicFirst;
    }
}

void TestTools::textsRoundTripThroughTheOtherHalf()
{
    QFETCH(QString, plain);
    QFETCH(bool, publicFirst);
    open(Crypt);
    QCOMPARE(load("cert.p12"), QString());
    click(window(), publicFirst ? "pubKeyRadioBtn" : "priKeyRadioBtn");
    setText(window(), "inputTextEdit", plain);
    click(window(), "encryptBtn");
    // The bytes of the text, encrypted with the half chosen: the other half opens them.
    QByteArray decrypted;
    QCOMPARE(m_engine.cryptText(!publicFirst, false, text(window(), "outputTextEdit").toLatin1(), decrypted), 0);
    QCOMPARE(decrypted, plain.toUtf8());
    QCOMPARE(clickAnswering(window(), "copyOutputBtn", {pressOk()}), 1);
    click(window(), "pasteInputBtn");
    click(window(), publicFirst ? "priKeyRadioBtn" : "pubKeyRadioBtn");
    click(window(), "decryptBtn");
    QCOMPARE(text(window(), "errorLabel"), QString());
    QCOMPARE(clickAnswering(window(), "copyOutputBtn", {pressOk()}), 1);
    QCOMPARE(clipboard()->text(), plain);
}

void TestTools::busyWindowTakesNoPressByAnyRoute()
{
    // On the page stack, where 返回 lets the window go.
    QPointer<QDialog> dialog = openCryptOnStack();
    QVERIFY(dialog);
    click(window(), "priKeyRadioBtn");
    setText(window(), "inputTextEdit", slowCipher());
    const QStringList buttons{"encryptBtn", "decryptBtn", "chooseCertBtn", "pasteInputBtn", "backBtn"};
    std::vector<std::unique_ptr<QSignalSpy>> clicks;
    for (const QString& name : buttons)
        clicks.push_back(std::make_unique<QSignalSpy>(widget(window(), name), SIGNAL(clicked(bool))));
    bool disabled = false;
    Qt::CursorShape cursor = Qt::ArrowCursor;
    QTimer::singleShot(0, [&] {
        disabled = !dialog->isEnabled();
        cursor = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor;
        for (const QString& name : buttons) {
            QTest::mouseClick(widget(window(), name), Qt::LeftButton);
            QTest::keyClick(widget(window(), name), Qt::Key_Space);
            // As a screen reader presses, through the button's accessible action.
            QAccessibleActionInterface* actions =
                QAccessible::queryAccessibleInterface(widget(window(), name))->actionInterface();
            actions->doAction(QAccessibleActionInterface::pressAction());
        }
    });
    ModalAnswer noChooser(ModalAnswer::cancelFileDialog(), 300);
    QTest::mouseClick(widget(window(), "decryptBtn"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(dialog->isEnabled(), 30000);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(stackTop(), dialog.data());
    QVERIFY(disabled);
    QCOMPARE(cursor, Qt::WaitCursor);
    QVERIFY(!QApplication::overrideCursor());
    for (int i = 0; i < buttons.size(); ++i)
        QCOMPARE(clicks.at(i)->count(), buttons.at(i) == "decryptBtn" ? 1 : 0);
    QVERIFY(!noChooser.wasAnswered());
    QCOMPARE(text(window(), "outputTextEdit").toLatin1(), slowPlain());
}

void TestTools::cancellingLeavesWindowAndKeyAsTheyWere_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("file"); // loaded
    QTest::addColumn<QString>("progressText");
    QTest::newRow("decrypting") << "decryptBtn" << QString() << QStringLiteral("正在解密…");
    QTest::newRow("encrypting") << "encryptBtn" << QString() << QStringLiteral("正在加密…");
    QTest::newRow("loading") << "chooseCertBtn"
                             << "slow.p12" << QStringLiteral("正在读取文件…");
#ifndef Q_OS_WIN
    // A load that would wait for ever, for a writer that never comes.
    QTest::newRow("loading a pipe") << "chooseCertBtn"
                                    << "pipe.pem" << QStringLiteral("正在读取文件…");
#endif
}

void TestTools::cancellingLeavesWindowAndKeyAsTheyWere()
{
    QFETCH(QString, button);
    QFETCH(QString, file);
    QFETCH(QString, progressText);
    // Another key in a PKCS#12 file whose key derivation takes a good part of a second.
    if (!QFile::exists(this->file("slow.p12"))) {
        QVERIFY(writeFile("other_cert.pem", pki::issueFor("other.pem")));
        QVERIFY(writeFile("slow.p12", exportPkcs12("other.pem", "other_cert.pem", pki::kP12Password, 500000)));
    }
#ifndef Q_OS_WIN
    QVERIFY(makePipe("pipe.pem"));
#endif
    QDialog* dialog = openCryptOnStack();
    QVERIFY(dialog);
    // An earlier result to keep: a message, an output, the private half chosen.
    setText(window(), "inputTextEdit", "no base64!");
    click(window(), "priKeyRadioBtn");
    click(window(), "decryptBtn");
    setText(window(), "outputTextEdit", "earlier");
    setText(window(), "inputTextEdit", button == "encryptBtn" ? slowPlain() : slowCipher());
    const auto state = [&] {
        QString radios;
        for (const char* name : {"pubKeyRadioBtn", "priKeyRadioBtn"}) {
            auto* radio = qobject_cast<QRadioButton*>(widget(window(), name));
            radios += QString::number(radio->isChecked()) + QString::number(radio->isEnabled());
        }
        return QStringList{text(window(), "certNameLabel"), text(window(), "errorLabel"),
                           text(window(), "outputTextEdit"), radios,
                           QString::number(text(window(), "inputTextEdit").size())};
    };
    const QStringList before = state();
    QCOMPARE(before.mid(0, 4), QStringList({"key.pem", "解密出错！ret:20313", "earlier", "0111"}));

    // The box is set up as every window: a fixed size, no help button. The work starts only once it is cancelled.
    QString shown;
    PoolGate gate;
    const ModalAnswer::Action cancel = [&](QWidget* progress) {
        shown = progress->windowTitle() + '/' + progress->findChild<QLabel*>()->text();
        const bool setUp = progress->minimumSize() == progress->maximumSize() &&
                           !(progress->windowFlags() & Qt::WindowContextHelpButtonHint);
        ModalAnswer::clickButtonWithText(QStringLiteral("取消"))(progress);
        gate.open();
        QVERIFY(setUp);
    };
    QVector<ModalAnswer::Action> actions{cancel};
    if (!file.isEmpty()) {
        actions = {ModalAnswer::chooseFile(this->file(file)), cancel};
        if (file.endsWith(".p12"))
            actions.insert(1, answerPassword(kPassword));
    }
    BackgroundWork::progressDelayMs = 0; // the box at once, however fast the machine
    QCOMPARE(clickAnswering(window(), button, actions), actions.size());
    QCOMPARE(shown, QStringLiteral("加密/解密/") + progressText);
    QVERIFY(dialog->isVisible() && dialog->isEnabled());
    QCOMPARE(state(), before);

    // A cancelled load goes on a while inside the library, and is dropped when it ends.
    if (file == "slow.p12")
        QTRY_COMPARE_WITH_TIMEOUT(BackgroundWork::abandonedRunning(), 0, 20000);
    QCOMPARE(state(), before);
    // Still the key of key.pem: it decrypts what was encrypted for it.
    const QByteArray secret = QStringLiteral("仍是原来的密钥").toUtf8();
    QByteArray cipher;
    QCOMPARE(m_engine.cryptText(true, true, secret, cipher), 0);
    setText(window(), "inputTextEdit", QString::fromLatin1(cipher));
    click(window(), "decryptBtn");
    QCOMPARE(text(window(), "errorLabel") + text(window(), "outputTextEdit"), QString::fromUtf8(secret));
    if (file != "pipe.pem")
        return;
#ifndef Q_OS_WIN
    // 返回 lets the window go at once, the load still waiting for its pipe.
    QPointer<QDialog> leaving(m_dialog.release());
    QElapsedTimer clock;
    clock.start();
    click(leaving, "backBtn");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!leaving);
    QVERIFY(clock.elapsed() < 2000);
    QCOMPARE(BackgroundWork::abandonedRunning(), 1);
    QVERIFY(endLoadsOfPipe("pipe.pem"));
#endif
}

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
