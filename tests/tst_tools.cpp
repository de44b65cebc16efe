#include "app/logfile.h"
#include "app/mainwindow.h"
#include "app/pagestack.h"
#include "certengine/certengine.h"
#include "modalanswer.h"
#include "opensslcommand.h"
#include "textfit.h"
#include "tools/dialog_certinfo_1.h"
#include "tools/dialog_certsign_main.h"
#include "tools/dialog_rsa_crypt.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

enum Which { Sign, Crypt, Info };

const QString kSubject = QStringLiteral("/C=CN/O=Zorvik商户系统/OU=测试商户/CN=898110000000001");
const QString kPassword = QStringLiteral("secret123");

std::unique_ptr<QDialog> makeDialog(int which)
{
    std::unique_ptr<QDialog> dialog;
    if (which == Sign)
        dialog = std::make_unique<Dialog_CertSign_Main>();
    else if (which == Crypt)
        dialog = std::make_unique<Dialog_RSA_Crypt>();
    else
        dialog = std::make_unique<Dialog_CertInfo_1>();
    dialog->show();
    QApplication::setActiveWindow(dialog.get());
    return dialog;
}

template <typename T = QWidget> T* child(QWidget* dialog, const QString& name)
{
    T* widget = dialog->findChild<T*>(name);
    if (!widget)
        qFatal("no widget %s", qPrintable(name));
    return widget;
}

QString text(QWidget* dialog, const QString& name)
{
    if (auto* edit = dialog->findChild<QPlainTextEdit*>(name))
        return edit->toPlainText();
    return child<QLabel>(dialog, name)->text();
}

void setText(QWidget* dialog, const QString& name, const QString& value)
{
    child<QPlainTextEdit>(dialog, name)->setPlainText(value);
}

void click(QWidget* dialog, const QString& name)
{
    QTest::mouseClick(child(dialog, name), Qt::LeftButton);
}

QClipboard* clipboard()
{
    return QGuiApplication::clipboard();
}

} // namespace

class TestTools : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    // What the three windows share.
    void formsAreAsDesigned_data();
    void formsAreAsDesigned();
    void mainWindowTilesOpenTheirWindowsAndBackReturns_data();
    void mainWindowTilesOpenTheirWindowsAndBackReturns();
    void copyAndPasteFollowTheClipboard_data();
    void copyAndPasteFollowTheClipboard();
    void closingAsksBeforeTheProgramEnds_data();
    void closingAsksBeforeTheProgramEnds();
    void longWorkShowsAWaitCursorAndDropsRepeatedClicks();

    // Sign/verify.
    void signatureVerifiesHereAndWithOpenssl();
    void signingFollowsThePrivateKeyAndEveryKindVerifies_data();
    void signingFollowsThePrivateKeyAndEveryKindVerifies();
    void wrongPasswordForgetsTheFile();
    void cancelledChoiceKeepsTheLoadedFile_data();
    void cancelledChoiceKeepsTheLoadedFile();
    void signAndVerifyCheckTheirInputsInOrder_data();
    void signAndVerifyCheckTheirInputsInOrder();

    // Encrypt/decrypt.
    void textsRoundTripThroughTheOtherHalf_data();
    void textsRoundTripThroughTheOtherHalf();
    void radioButtonsFollowTheLoad_data();
    void radioButtonsFollowTheLoad();
    void ciphertextsInteroperateWithOpenssl();
    void cryptFailuresShowTheirTexts_data();
    void cryptFailuresShowTheirTexts();
    void keyboardAloneEncryptsWithThePrivateKey();

    // Certificate information.
    void certificateTextIsTheSameForEveryForm();
    void bareKeyIsRefusedAndTheLastTextStays_data();
    void bareKeyIsRefusedAndTheLastTextStays();

private:
    QString file(const QString& name) const { return m_dir.filePath(name); }
    // Chooses the file through the dialog's chooser (typing the password for PKCS#12 names); returns the
    // error label's text afterwards.
    QString load(QWidget* dialog, const QString& name, const QString& password = kPassword);

    QTemporaryDir m_dir;
};

void TestTools::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    LogFile::instance()->setFileName("certutil_zv.txt");
    const QStringList commands = {
        "genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out key.pem",
        "pkey -in key.pem -pubout -out pub.pem",
        "req -x509 -new -key key.pem -utf8 -days 30 -out cert.pem -subj " + kSubject,
        "x509 -in cert.pem -outform DER -out cert.cer",
        "pkcs12 -export -inkey key.pem -in cert.pem -passout pass:" + kPassword + " -out cert.p12",
    };
    for (const QString& command : commands)
        QVERIFY2(runOpenssl(command.split(' ')).exitCode == 0, qPrintable(command));
}

void TestTools::cleanup()
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        window->hide();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    clipboard()->clear();
    CertEngine::instance()->lastPath.clear();
}

QString TestTools::load(QWidget* dialog, const QString& name, const QString& password)
{
    QVector<ModalAnswer::Action> actions{ModalAnswer::chooseFile(file(name))};
    if (!name.contains(QLatin1String(".pem")) && !name.contains(QLatin1String(".cer")))
        actions << ModalAnswer::typeAndClick(password, QStringLiteral("okBtn"));
    ModalAnswer answer(actions);
    click(dialog, QStringLiteral("chooseCertBtn"));
    if (answer.answeredCount() != actions.size())
        return QStringLiteral("chooser not answered");
    return text(dialog, QStringLiteral("errorLabel"));
}

// ---- What the three windows share

void TestTools::formsAreAsDesigned_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("formName");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("tabOrder");
    QTest::addColumn<QStringList>("accessibleNames"); // edit=name; placeholders after a second "="

    QTest::newRow("sign/verify") << int(Sign) << "Dialog_CertSign_1"
                                 << "证书签名/验签" << QStringList{"chooseCertBtn", "srcTextEdit",   "pasteSrcBtn",
                                                                   "signTextEdit",  "pasteSignBtn",  "copySignBtn",
                                                                   "signBtn",       "verifySignBtn", "backBtn"}
                                 << QStringList{"srcTextEdit=明文=请输入需要签名的明文",
                                                "signTextEdit=签名=验签操作请输出需要验证的签名（签名操作无需输入）"};
    QTest::newRow("encrypt/decrypt") << int(Crypt) << "Dialog_RSA_Crypt"
                                     << "加密/解密" << QStringList{"chooseCertBtn",  "inputTextEdit", "pasteInputBtn",
                                                                   "outputTextEdit", "copyOutputBtn", "pubKeyRadioBtn",
                                                                   "encryptBtn",     "decryptBtn",    "backBtn"}
                                     << QStringList{
                                            "inputTextEdit=输入=请输入需要加密或解密的内容（解密内容为Base64格式）",
                                            "outputTextEdit=输出=输出结果（加密结果为Base64格式）"};
    QTest::newRow("certificate information")
        << int(Info) << "Dialog_CertInfo_1"
        << "查看证书信息" << QStringList{"chooseCertBtn", "certInfoTextEdit", "copyBtn", "backBtn"}
        << QStringList{"certInfoTextEdit=2、证书信息="};
}

void TestTools::formsAreAsDesigned()
{
    QFETCH(int, which);
    QFETCH(QString, formName);
    QFETCH(QString, title);
    QFETCH(QStringList, tabOrder);
    QFETCH(QStringList, accessibleNames);
    const auto dialog = makeDialog(which);
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    QCOMPARE(dialog->objectName(), formName);
    QCOMPARE(dialog->windowTitle(), title);
    QCOMPARE(dialog->size(), QSize(500, 560));
    QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
    QCOMPARE(textsThatDoNotFit(dialog.get()), QStringList());
    auto* errorLabel = child<QLabel>(dialog.get(), QStringLiteral("errorLabel"));
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        QCOMPARE(errorLabel->palette().color(group, errorLabel->foregroundRole()), QColor(Qt::red));

    // The keyboard alone reaches every control, in the designed order (an unchecked radio button is reached
    // from its checked neighbour with the arrow keys).
    child(dialog.get(), tabOrder.first())->setFocus();
    QStringList reached;
    for (int i = 0; i < tabOrder.size(); ++i) {
        reached << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(reached, tabOrder);
    QCOMPARE(QApplication::focusWidget()->objectName(), tabOrder.first());

    for (const QString& entry : accessibleNames) {
        const QStringList parts = entry.split(QLatin1Char('='));
        auto* edit = child<QPlainTextEdit>(dialog.get(), parts.at(0));
        QCOMPARE(QAccessible::queryAccessibleInterface(edit)->text(QAccessible::Name), parts.at(1));
        QCOMPARE(edit->placeholderText(), parts.at(2));
    }
}

void TestTools::mainWindowTilesOpenTheirWindowsAndBackReturns_data()
{
    QTest::addColumn<QString>("tile");
    QTest::addColumn<QString>("formName");
    QTest::newRow("sign/verify") << "certSignBtn"
                                 << "Dialog_CertSign_1";
    QTest::newRow("encrypt/decrypt") << "cryptBtn"
                                     << "Dialog_RSA_Crypt";
    QTest::newRow("certificate information") << "certInfoBtn"
                                             << "Dialog_CertInfo_1";
}

void TestTools::mainWindowTilesOpenTheirWindowsAndBackReturns()
{
    QFETCH(QString, tile);
    QFETCH(QString, formName);
    MainWindow window;
    window.show();
    QVERIFY(child(&window, tile)->isEnabled());
    for (int visit = 0; visit < 2; ++visit) {
        click(&window, tile);
        QWidget* page = PageStack::instance()->windowAt(1);
        QVERIFY(page);
        QCOMPARE(page->objectName(), formName);
        QVERIFY(page->isVisible() && !window.isVisible());
        QCOMPARE(page->geometry(), window.geometry());
        QCOMPARE(text(page, QStringLiteral("certNameLabel")), QString()); // every visit starts afresh
        click(page, QStringLiteral("backBtn"));
        QVERIFY(window.isVisible() && !page->isVisible());
        QCOMPARE(PageStack::instance()->currentIndex(), 0);
    }
}

void TestTools::copyAndPasteFollowTheClipboard_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("copyButton");
    QTest::addColumn<QString>("copied");
    QTest::addColumn<QString>("pasteButton"); // empty: the window pastes nothing
    QTest::addColumn<QString>("pasted");
    QTest::newRow("signature") << int(Sign) << "copySignBtn"
                               << "signTextEdit"
                               << "pasteSignBtn"
                               << "signTextEdit";
    QTest::newRow("plain text") << int(Sign) << "copySignBtn"
                                << "signTextEdit"
                                << "pasteSrcBtn"
                                << "srcTextEdit";
    QTest::newRow("crypt") << int(Crypt) << "copyOutputBtn"
                           << "outputTextEdit"
                           << "pasteInputBtn"
                           << "inputTextEdit";
    QTest::newRow("certificate") << int(Info) << "copyBtn"
                                 << "certInfoTextEdit"
                                 << ""
                                 << "";
}

void TestTools::copyAndPasteFollowTheClipboard()
{
    QFETCH(int, which);
    QFETCH(QString, copyButton);
    QFETCH(QString, copied);
    QFETCH(QString, pasteButton);
    QFETCH(QString, pasted);
    const auto dialog = makeDialog(which);
    clipboard()->setText(QStringLiteral("earlier"));
    {
        ModalAnswer answer(ModalAnswer::clickButtonNamed(QStringLiteral("okBtn")), 300);
        click(dialog.get(), copyButton);
        QVERIFY(!answer.wasAnswered()); // no notice for an empty text
        QCOMPARE(clipboard()->text(), QStringLiteral("earlier"));
    }
    const QString content = QStringLiteral("第一行 line\n第二行 ✓");
    setText(dialog.get(), copied, content);
    QString notice;
    ModalAnswer answer([&notice](QWidget* modal) {
        notice = modal->windowTitle() + '/' + child<QLabel>(modal, QStringLiteral("msgLabel"))->text();
        ModalAnswer::clickButtonNamed(QStringLiteral("okBtn"))(modal);
    });
    click(dialog.get(), copyButton);
    QCOMPARE(notice, QStringLiteral("提示/复制成功"));
    QCOMPARE(clipboard()->text(), content);

    if (pasteButton.isEmpty())
        return;
    setText(dialog.get(), pasted, QStringLiteral("kept"));
    clipboard()->clear();
    click(dialog.get(), pasteButton);
    QCOMPARE(text(dialog.get(), pasted), QStringLiteral("kept"));
    clipboard()->setText(QStringLiteral("粘贴的\n内容"));
    click(dialog.get(), pasteButton);
    QCOMPARE(text(dialog.get(), pasted), QStringLiteral("粘贴的\n内容"));
    QCOMPARE(text(dialog.get(), QStringLiteral("errorLabel")), QString());
}

void TestTools::closingAsksBeforeTheProgramEnds_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<bool>("escape");
    for (const int which : {Sign, Crypt, Info}) {
        QTest::addRow("window %d, title-bar close", which) << which << false;
        QTest::addRow("window %d, Escape", which) << which << true;
    }
}

void TestTools::closingAsksBeforeTheProgramEnds()
{
    QFETCH(int, which);
    QFETCH(bool, escape);
    const auto dialog = makeDialog(which);
    ModalAnswer answer(ModalAnswer::clickButtonWithText(QStringLiteral("取消")));
    if (escape)
        QTest::keyClick(dialog.get(), Qt::Key_Escape);
    else
        dialog->close();
    QVERIFY(answer.wasAnswered());
    QVERIFY(dialog->isVisible());
}

void TestTools::longWorkShowsAWaitCursorAndDropsRepeatedClicks()
{
    const auto dialog = makeDialog(Crypt);
    QCOMPARE(load(dialog.get(), QStringLiteral("cert.p12")), QString());
    const int size = 1024 * 1024;
    clipboard()->setText(QString(size, QLatin1Char('x')));
    click(dialog.get(), QStringLiteral("pasteInputBtn"));

    auto* encrypt = child<QPushButton>(dialog.get(), QStringLiteral("encryptBtn"));
    QSignalSpy clicks(encrypt, &QPushButton::clicked);
    Qt::CursorShape cursor = Qt::ArrowCursor;
    QTimer::singleShot(0, [&] {
        // The event loop runs once while the engine starts; clicks and keys arriving now are dropped.
        cursor = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor;
        QTest::mouseClick(encrypt, Qt::LeftButton);
        QTest::keyClick(encrypt, Qt::Key_Space);
    });
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(encrypt, Qt::LeftButton);
    qInfo("encrypting %d bytes and showing the result took %lld ms", size, clock.elapsed());
    QCOMPARE(cursor, Qt::WaitCursor);
    QCOMPARE(clicks.count(), 1);
    QVERIFY(!QApplication::overrideCursor());
    const int blocks = (size + 244) / 245;
    QCOMPARE(text(dialog.get(), QStringLiteral("outputTextEdit")).size(), (blocks * 256 + 2) / 3 * 4);
}

// ---- Sign/verify

void TestTools::signatureVerifiesHereAndWithOpenssl()
{
    const auto dialog = makeDialog(Sign);
    QCOMPARE(load(dialog.get(), QStringLiteral("cert.p12")), QString());
    QCOMPARE(text(dialog.get(), QStringLiteral("certNameLabel")), QStringLiteral("cert.p12"));
    const QString plain = QStringLiteral("订单 20260101 金额 ¥100.00\r\n  末尾空格 ");
    setText(dialog.get(), QStringLiteral("srcTextEdit"), plain);
    click(dialog.get(), QStringLiteral("signBtn"));
    QCOMPARE(text(dialog.get(), QStringLiteral("errorLabel")), QString());
    const QString signature = text(dialog.get(), QStringLiteral("signTextEdit"));
    QCOMPARE(signature.size(), 344);
    QVERIFY(signature.endsWith(QLatin1String("==")));

    ModalAnswer notice(ModalAnswer::clickButtonNamed(QStringLiteral("okBtn")));
    click(dialog.get(), QStringLiteral("copySignBtn"));
    QVERIFY(writeFile(file(QStringLiteral("signature.bin")), QByteArray::fromBase64(clipboard()->text().toLatin1())));
    const QByteArray signedBytes = text(dialog.get(), QStringLiteral("srcTextEdit")).toUtf8();
    const OpensslResult openssl =
        runOpenssl({"dgst", "-sha256", "-verify", file(QStringLiteral("pub.pem")), "-signature", file("signature.bin")},
                   signedBytes);
    QCOMPARE(openssl.exitCode, 0);

    click(dialog.get(), QStringLiteral("verifySignBtn"));
    QCOMPARE(text(dialog.get(), QStringLiteral("errorLabel")), QStringLiteral("签名验证通过"));
    setText(dialog.get(), QStringLiteral("srcTextEdit"), QString(plain).replace(QStringLiteral("100"), "101"));
    click(dialog.get(), QStringLiteral("verifySignBtn"));
    QCOMPARE(text(dialog.get(), QStringLiteral("errorLabel")), QStringLiteral("签名验证不通过"));
}

void TestTools::signingFollowsThePrivateKeyAndEveryKindVerifies_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("before"); // loaded first, with the opposite signing state
    QTest::addColumn<bool>("canSign");
    QTest::newRow("certificate") << "cert.cer"
                                 << "key.pem" << false;
    QTest::newRow("certificate PEM") << "cert.pem"
                                     << "cert.p12" << false;
    QTest::newRow("public key PEM") << "pub.pem"
                                    << "key.pem" << false;
    QTest::newRow("PKCS#12") << "cert.p12"
                             << "cert.cer" << true;
    QTest::newRow("private key PEM") << "key.pem"
                                     << "pub.pem" << true;
}

void TestTools::signingFollowsThePrivateKeyAndEveryKindVerifies()
{
    QFETCH(QString, fileName);
    QFETCH(QString, before);
    QFETCH(bool, canSign);
    const auto dialog = makeDialog(Sign);
    QCOMPARE(load(dialog.get(), before), QString());
    QCOMPARE(child(dialog.get(), QStringLiteral("signBtn"))->isEnabled(), !canSign);
    QCOMPARE(load(dialog.get(), fileName), QString());
    QCOMPARE(child(dialog.get(), QStringLiteral("signBtn"))->isEnabled(), canSign);

    // A signature made by openssl, pasted, verifies under every form of the key.
    const QByteArray plain("merchant=898110000000001&amount=100");
    const OpensslResult signature = runOpenssl({"dgst", "-sha256", "-sign", file(QStringLiteral("key.pem"))}, plain);
    QCOMPARE(signature.exitCode, 0);
    clipboard()->setText(QString::fromLatin1(signature.output.toBase64()));
    click(dialog.get(), QStringLiteral("pasteSignBtn"));
    setText(dialog.get(), QStringLiteral("srcTextEdit"), QString::fromLatin1(plain));
    click(dialog.get(), QStringLiteral("verifySignBtn"));
    QCOMPARE(text(dialog.get(), QStringLiteral("errorLabel")), QStringLiteral("签名验证通过"));
}

void TestTools::wrongPasswordForgetsTheFile()
{
    const auto dialog = makeDialog(Sign);
    QCOMPARE(load(dialog.get(), QStringLiteral("key.pem")), QString());
    QCOMPARE(load(dialog.get(), QStringLiteral("cert.p12"), QStringLiteral("wrong")),
             QStringLiteral("读取失败，请重试！ret:20061"));
    QCOMPARE(text(dialog.get(), QStringLiteral("certNameLabel")), QString());
    QVERIFY(child(dialog.get(), QStringLiteral("signBtn"))->isEnabled());
    setText(dialog.get(), QStringLiteral("srcTextEdit"), QStringLiteral("text"));
    setText(dialog.get(), QStringLiteral("signTextEdit"), QStringLiteral("c2ln"));
    click(dialog.get(), QStringLiteral("signBtn"));
    QCOMPARE(text(dialog.get(), QStringLiteral("errorLabel")), QStringLiteral("请选择文件"));
    QCOMPARE(text(dialog.get(), QStringLiteral("signTextEdit")), QStringLiteral("c2ln"));
    click(dialog.get(), QStringLiteral("verifySignBtn"));
    QCOMPARE(text(dialog.get(), QStringLiteral("errorLabel")), QStringLiteral("请选择证书文件"));
}

void TestTools::cancelledChoiceKeepsTheLoadedFile_data()
{
    QTest::addColumn<bool>("cancelTheFileDialog");
    QTest::newRow("file dialog") << true;
    QTest::newRow("password box") << false;
}

void TestTools::cancelledChoiceKeepsTheLoadedFile()
{
    QFETCH(bool, cancelTheFileDialog);
    const auto dialog = makeDialog(Sign);
    QCOMPARE(load(dialog.get(), QStringLiteral("cert.cer")), QString());
    click(dialog.get(), QStringLiteral("verifySignBtn")); // leaves an error text that the cancel must keep
    {
        QVector<ModalAnswer::Action> actions;
        if (cancelTheFileDialog)
            actions << ModalAnswer::cancelFileDialog();
        else
            actions << ModalAnswer::chooseFile(file(QStringLiteral("cert.p12")))
                    << ModalAnswer::clickButtonWithText(QStringLiteral("取消"));
        ModalAnswer answer(actions);
        click(dialog.get(), QStringLiteral("chooseCertBtn"));
        QCOMPARE(answer.answeredCount(), actions.size());
    }
    QCOMPARE(text(dialog.get(), QStringLiteral("certNameLabel")), QStringLiteral("cert.cer"));
    QVERIFY(!child(dialog.get(), QStringLiteral("signBtn"))->isEnabled());
    QCOMPARE(text(dialog.get(), QStringLiteral("errorLabel")), QStringLiteral("请输入明文"));
}

void TestTools::signAndVerifyCheckTheirInputsInOrder_data()
{
    QTest::addColumn<QString>("fileName"); // empty: none loaded
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("signature");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("message");
    QTest::newRow("sign, no file, no text") << ""
                                            << ""
                                            << ""
                                            << "signBtn"
                                            << "请选择文件";
    QTest::newRow("verify, no file, no text") << ""
                                              << ""
                                              << ""
                                              << "verifySignBtn"
                                              << "请选择证书文件";
    QTest::newRow("sign, no text") << "key.pem"
                                   << ""
                                   << ""
                                   << "signBtn"
                                   << "请输入明文";
    QTest::newRow("verify, no text") << "cert.cer"
                                     << ""
                                     << "AAAA"
                                     << "verifySignBtn"
                                     << "请输入明文";
    QTest::newRow("verify, no signature") << "cert.cer"
                                          << "t"
                                          << ""
                                          << "verifySignBtn"
                                          << "请输入签名";
    QTest::newRow("signature with a line break") << "cert.cer"
                                                 << "t" << QString(340, 'A') + "==\n"
                                                 << "verifySignBtn"
                                                 << "验证签名出错！ret:20211";
    QTest::newRow("only spaces are a text") << "cert.cer"
                                            << " "
                                            << "AAAA"
                                            << "verifySignBtn"
                                            << "签名验证不通过";
}

void TestTools::signAndVerifyCheckTheirInputsInOrder()
{
    QFETCH(QString, fileName);
    QFETCH(QString, plain);
    QFETCH(QString, signature);
    QFETCH(QString, button);
    QFETCH(QString, message);
    const auto dialog = makeDialog(Sign);
    if (!fileName.isEmpty())
        QCOMPARE(load(dialog.get(), fileName), QString());
    setText(dialog.get(), QStringLiteral("srcTextEdit"), plain);
    setText(dialog.get(), QStringLiteral("signTextEdit"), signature);
    click(dialog.get(), button);
    QCOMPARE(text(dialog.get(), QStringLiteral("errorLabel")), message);
    QCOMPARE(text(dialog.get(), QStringLiteral("signTextEdit")), signature);
}

// ---- Encrypt/decrypt

void TestTools::textsRoundTripThroughTheOtherHalf_data()
{
    QTest::addColumn<QString>("plain");
    QTest::addColumn<bool>("publicFirst");
    const QString chinese = QStringLiteral("商户号：898110000000001，金额：¥100.00 ✓");
    const QString multiBlock = QString(600, QLatin1Char('m'));
    for (const bool publicFirst : {true, false}) {
        const char* way = publicFirst ? "public, then private" : "private, then public";
        QTest::addRow("short, %s", way) << QStringLiteral("hello") << publicFirst;
        QTest::addRow("three blocks, %s", way) << multiBlock << publicFirst;
        QTest::addRow("Chinese, %s", way) << chinese.repeated(10) << publicFirst;
    }
}

void TestTools::textsRoundTripThroughTheOtherHalf()
{
    QFETCH(QString, plain);
    QFETCH(bool, publicFirst);
    const auto dialog = makeDialog(Crypt);
    QCOMPARE(load(dialog.get(), QStringLiteral("cert.p12")), QString());
    const QString first = publicFirst ? QStringLiteral("pubKeyRadioBtn") : QStringLiteral("priKeyRadioBtn");
    const QString second = publicFirst ? QStringLiteral("priKeyRadioBtn") : QStringLiteral("pubKeyRadioBtn");
    click(dialog.get(), first);
    setText(dialog.get(), QStringLiteral("inputTextEdit"), plain);
    click(dialog.get(), QStringLiteral("encryptBtn"));
    const QString ciphertext = text(dialog.get(), QStringLiteral("outputTextEdit"));
    const int blocks = (plain.toUtf8().size() + 244) / 245;
    QCOMPARE(ciphertext.size(), (blocks * 256 + 2) / 3 * 4); // one line of Base64
    QCOMPARE(QByteArray::fromBase64(ciphertext.toLatin1()).toBase64(), ciphertext.toLatin1());

    {
        ModalAnswer notice(ModalAnswer::clickButtonNamed(QStringLiteral("okBtn")));
        click(dialog.get(), QStringLiteral("copyOutputBtn"));
    }
    click(dialog.get(), QStringLiteral("pasteInputBtn"));
    click(dialog.get(), second);
    click(dialog.get(), QStringLiteral("decryptBtn"));
    QCOMPARE(text(dialog.get(), QStringLiteral("errorLabel")), QString());
    QCOMPARE(text(dialog.get(), QStringLiteral("outputTextEdit")), plain);
}

void TestTools::radioButtonsFollowTheLoad_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("privateHalf");
    QTest::newRow("certificate") << "cert.cer" << false;
    QTest::newRow("certificate PEM") << "cert.pem" << false;
    QTest::newRow("public key PEM") << "pub.pem" << false;
    QTest::newRow("PKCS#12") << "cert.p12" << true;
    QTest::newRow("private key PEM") << "key.pem" << true;
}

void TestTools::radioButtonsFollowTheLoad()
{
    QFETCH(QString, fileName);
    QFETCH(bool, privateHalf);
    const auto dialog = makeDialog(Crypt);
    auto* pub = child<QRadioButton>(dialog.get(), QStringLiteral("pubKeyRadioBtn"));
    auto* pri = child<QRadioButton>(dialog.get(), QStringLiteral("priKeyRadioBtn"));
    QVERIFY(pub->isChecked() && pri->isEnabled());
    QCOMPARE(load(dialog.get(), QStringLiteral("key.pem")), QString());
    pri->setChecked(true);
    QCOMPARE(load(dialog.get(), fileName), QString());
    QVERIFY(pub->isChecked() && !pri->isChecked());
    QCOMPARE(pri->isEnabled(), privateHalf);

    // A failed load keeps the buttons and forgets the file.
    QCOMPARE(load(dialog.get(), QStringLiteral("cert.p12"), QStringLiteral("wrong")),
             QStringLiteral("读取失败，请重试！ret:20061"));
    QCOMPARE(pri->isEnabled(), privateHalf);
    QCOMPARE(text(dialog.get(), QStringLiteral("certNameLabel")), QString());
}

void TestTools::ciphertextsInteroperateWithOpenssl()
{
    const auto dialog = makeDialog(Crypt);
    QCOMPARE(load(dialog.get(), QStringLiteral("key.pem")), QString());
    const QByteArray plain = QStringLiteral("互通 interop").toUtf8();

    const OpensslResult theirs =
        runOpenssl({"pkeyutl", "-encrypt", "-pubin", "-inkey", file(QStringLiteral("pub.pem"))}, plain);
    QCOMPARE(theirs.exitCode, 0);
    clipboard()->setText(QString::fromLatin1(theirs.output.toBase64()));
    click(dialog.get(), QStringLiteral("pasteInputBtn"));
    click(dialog.get(), QStringLiteral("priKeyRadioBtn"));
    click(dialog.get(), QStringLiteral("decryptBtn"));
    QCOMPARE(text(dialog.get(), QStringLiteral("outputTextEdit")).toUtf8(), plain);

    click(dialog.get(), QStringLiteral("pubKeyRadioBtn"));
    setText(dialog.get(), QStringLiteral("inputTextEdit"), QString::fromUtf8(plain));
    click(dialog.get(), QStringLiteral("encryptBtn"));
    const QByteArray ours = QByteArray::fromBase64(text(dialog.get(), QStringLiteral("outputTextEdit")).toLatin1());
    const OpensslResult decrypted =
        runOpenssl({"pkeyutl", "-decrypt", "-inkey", file(QStringLiteral("key.pem"))}, ours);
    QCOMPARE(decrypted.output, plain);
}

void TestTools::cryptFailuresShowTheirTexts_data()
{
    QTest::addColumn<QString>("fileName"); // empty: none loaded
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("encrypt");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("outputEmptied");
    QTest::newRow("no file, no input") << ""
                                       << "" << true << "请选择证书文件" << false;
    QTest::newRow("no input") << "pub.pem"
                              << "" << false << "请输入内容" << false;
    QTest::newRow("not Base64") << "pub.pem"
                                << "no base64!" << false << "解密出错！ret:20313" << true;
    QTest::newRow("Base64 with a line break") << "pub.pem"
                                              << "AAAA\nAAAA" << false << "解密出错！ret:20313" << true;
    QTest::newRow("no RSA block") << "pub.pem" << QString(400, 'A') << false << "解密出错！ret:20301" << true;
}

void TestTools::cryptFailuresShowTheirTexts()
{
    QFETCH(QString, fileName);
    QFETCH(QString, input);
    QFETCH(bool, encrypt);
    QFETCH(QString, message);
    QFETCH(bool, outputEmptied);
    const auto dialog = makeDialog(Crypt);
    if (!fileName.isEmpty())
        QCOMPARE(load(dialog.get(), fileName), QString());
    setText(dialog.get(), QStringLiteral("inputTextEdit"), input);
    setText(dialog.get(), QStringLiteral("outputTextEdit"), QStringLiteral("earlier output"));
    click(dialog.get(), encrypt ? QStringLiteral("encryptBtn") : QStringLiteral("decryptBtn"));
    QCOMPARE(text(dialog.get(), QStringLiteral("errorLabel")), message);
    QCOMPARE(text(dialog.get(), QStringLiteral("outputTextEdit")),
             outputEmptied ? QString() : QStringLiteral("earlier output"));
}

void TestTools::keyboardAloneEncryptsWithThePrivateKey()
{
    const auto dialog = makeDialog(Crypt);
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    const auto press = [](int key) { QTest::keyClick(QApplication::focusWidget(), Qt::Key(key)); };
    const auto focused = [] { return QApplication::focusWidget()->objectName(); };
    child(dialog.get(), QStringLiteral("chooseCertBtn"))->setFocus();
    {
        ModalAnswer answer({ModalAnswer::chooseFile(file(QStringLiteral("cert.p12"))),
                            ModalAnswer::typeAndClick(kPassword, QStringLiteral("okBtn"))});
        press(Qt::Key_Space);
        QCOMPARE(answer.answeredCount(), 2);
    }
    QCOMPARE(text(dialog.get(), QStringLiteral("certNameLabel")), QStringLiteral("cert.p12"));
    // A window manager gives the activation back when the modal windows close; the offscreen platform does not.
    QApplication::setActiveWindow(dialog.get());
    QCOMPARE(focused(), QStringLiteral("chooseCertBtn"));
    press(Qt::Key_Tab);
    QCOMPARE(focused(), QStringLiteral("inputTextEdit"));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("typed"));
    while (focused() != QLatin1String("pubKeyRadioBtn") && focused() != QLatin1String("chooseCertBtn"))
        press(Qt::Key_Tab);
    press(Qt::Key_Right);
    QCOMPARE(focused(), QStringLiteral("priKeyRadioBtn"));
    QVERIFY(child<QRadioButton>(dialog.get(), QStringLiteral("priKeyRadioBtn"))->isChecked());
    press(Qt::Key_Tab);
    QCOMPARE(focused(), QStringLiteral("encryptBtn"));
    press(Qt::Key_Space);
    QCOMPARE(text(dialog.get(), QStringLiteral("errorLabel")), QString());
    const QByteArray ciphertext = QByteArray::fromBase64(text(dialog.get(), "outputTextEdit").toLatin1());
    const OpensslResult recovered =
        runOpenssl({"pkeyutl", "-verifyrecover", "-pubin", "-inkey", file(QStringLiteral("pub.pem"))}, ciphertext);
    QCOMPARE(recovered.output, QByteArray("typed"));
}

// ---- Certificate information

void TestTools::certificateTextIsTheSameForEveryForm()
{
    const auto dialog = makeDialog(Info);
    QStringList texts;
    for (const QString name : {"cert.p12", "cert.cer", "cert.pem"}) {
        QCOMPARE(load(dialog.get(), name), QString());
        QCOMPARE(text(dialog.get(), QStringLiteral("certNameLabel")), name);
        texts << text(dialog.get(), QStringLiteral("certInfoTextEdit"));
    }
    QCOMPARE(texts.at(1), texts.at(0));
    QCOMPARE(texts.at(2), texts.at(0));
    QVERIFY(texts.at(0).startsWith(QLatin1String("Certificate:")));
    QVERIFY2(texts.at(0).contains(QStringLiteral("Subject: C=CN, O=Zorvik商户系统, OU=测试商户")), qPrintable(texts.at(0)));
}

void TestTools::bareKeyIsRefusedAndTheLastTextStays_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");
    QTest::newRow("private key") << "key.pem"
                                 << ""
                                 << "请选择证书文件";
    QTest::newRow("public key") << "pub.pem"
                                << ""
                                << "请选择证书文件";
    QTest::newRow("wrong password") << "cert.p12"
                                    << "wrong"
                                    << "读取证书文件，请重试！ret:20061";
}

void TestTools::bareKeyIsRefusedAndTheLastTextStays()
{
    QFETCH(QString, fileName);
    QFETCH(QString, password);
    QFETCH(QString, message);
    const auto dialog = makeDialog(Info);
    QCOMPARE(load(dialog.get(), QStringLiteral("cert.cer")), QString());
    const QString shown = text(dialog.get(), QStringLiteral("certInfoTextEdit"));
    QCOMPARE(load(dialog.get(), fileName, password), message);
    QCOMPARE(text(dialog.get(), QStringLiteral("certNameLabel")), fileName);
    QCOMPARE(text(dialog.get(), QStringLiteral("certInfoTextEdit")), shown);
    ModalAnswer notice(ModalAnswer::clickButtonNamed(QStringLiteral("okBtn")));
    click(dialog.get(), QStringLiteral("copyBtn"));
    QCOMPARE(clipboard()->text(), shown);
}

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
