#include "app/filechooser.h"
#include "app/mainwindow.h"
#include "app/pagestack.h"
#include "app/windowsetup.h"
#include "app/zvmessagebox.h"
#include "certengine/certengine.h"
#include "crypto/keyfilekind.h"
#include "modalanswer.h"
#include "textfit.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// A heap page of the program's content size; the page stack deletes pages that leave it.
QWidget* newPage(const QString& name)
{
    auto* page = new QWidget;
    page->setObjectName(name);
    page->resize(500, 560);
    setupWindow(page, false);
    return page;
}

void flushDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestShell : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    // Page stack.
    void pushShowsPageInTheRectangleOfTheWindowBelow();
    void backShowsTheWindowBelowWhereThePageWasMoved();
    void homeReturnsToTheRootAndEmptiesTheStack();
    void twoVisitsLeaveRootAndNewestPage();
    void nullWindowsChangeNothing();
    void pushWithoutRootIsRefused();
    void pushBeyondTenEntriesIsRefused();
    void pagesLeavingTheStackAreDeletedButNotTheRoot();

    // Message box.
    void boxIsCentredOverItsParent();
    void oneButtonNoticeShowsOnlyTheWideOkButton();
    void boxAnswers_data();
    void boxAnswers();
    void inputModeAsksForAMaskedLine();
    void messageModeHasNoText();
    void emptyTitleKeepsTheDefault();

    // Main window and window set-up.
    void mainWindowHasItsTilesAndVersionedTitle();
    void windowsHaveOnlyCloseButtonStayOnTopAndFixedSize();
    void cancellingTheExitConfirmationKeepsTheWindow_data();
    void cancellingTheExitConfirmationKeepsTheWindow();
    void confirmingExitEndsTheEventLoopWithCodeZero();
    void startUpCreatesTheLogDirectory();
    void fileDialogsAreAnsweredFromTheTest();
    void aWindowLeftOpenByItsAnswerIsClosedAndFailsTheTest();
    void everyTextFitsItsWidget();

    // File chooser.
    void chooserDecidesTheKindFromTheName_data();
    void chooserDecidesTheKindFromTheName();
    void cancellingChangesNothingButTheNextStart_data();
    void cancellingChangesNothingButTheNextStart();
    void firstChooserStartsInTheExecutablesDirectory();

private:
    // Shows a fresh main window and makes it the root of the page stack.
    PageStack* rootedStack();

    std::unique_ptr<MainWindow> m_root;
};

PageStack* TestShell::rootedStack()
{
    m_root = std::make_unique<MainWindow>();
    m_root->show();
    PageStack::instance()->setRoot(m_root.get());
    return PageStack::instance();
}

void TestShell::cleanup()
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        window->hide();
    flushDeferredDeletes();
    m_root.reset();
    CertEngine::instance()->lastPath.clear();
}

void TestShell::pushShowsPageInTheRectangleOfTheWindowBelow()
{
    PageStack* stack = rootedStack();
    MainWindow& root = *m_root;
    root.move(130, 90);
    QWidget* page = newPage(QStringLiteral("page"));
    stack->push(page);

    QVERIFY(!root.isVisible());
    QVERIFY(page->isVisible());
    QCOMPARE(page->geometry(), root.geometry());
    QCOMPARE(stack->currentIndex(), 1);
    QCOMPARE(stack->windowAt(0), &root);
    QCOMPARE(stack->windowAt(1), page);
    stack->home();
}

void TestShell::backShowsTheWindowBelowWhereThePageWasMoved()
{
    PageStack* stack = rootedStack();
    MainWindow& root = *m_root;
    QWidget* page = newPage(QStringLiteral("page"));
    stack->push(page);
    page->setGeometry(QRect(QPoint(321, 123), page->size()));

    stack->back();
    QVERIFY(root.isVisible());
    QVERIFY(!page->isVisible());
    QCOMPARE(root.geometry(), QRect(QPoint(321, 123), QSize(500, 560)));
    QCOMPARE(stack->currentIndex(), 0);
    QCOMPARE(stack->windowAt(1), nullptr);
}

void TestShell::homeReturnsToTheRootAndEmptiesTheStack()
{
    PageStack* stack = rootedStack();
    MainWindow& root = *m_root;
    QList<QPointer<QWidget>> pages;
    for (const char* name : {"request", "import", "finish"}) {
        pages.append(newPage(QString::fromLatin1(name)));
        stack->push(pages.last());
    }
    QCOMPARE(stack->currentIndex(), 3);
    pages.last()->setGeometry(QRect(QPoint(210, 75), QSize(500, 560)));

    stack->home();
    QVERIFY(root.isVisible());
    QCOMPARE(root.geometry(), QRect(QPoint(210, 75), QSize(500, 560)));
    for (const auto& page : pages)
        QVERIFY(!page || !page->isVisible());
    QCOMPARE(stack->currentIndex(), 0);
    for (int i = 0; i < PageStack::kCapacity; ++i)
        QCOMPARE(stack->windowAt(i), nullptr);
}

void TestShell::twoVisitsLeaveRootAndNewestPage()
{
    PageStack* stack = rootedStack();
    MainWindow& root = *m_root;
    stack->push(newPage(QStringLiteral("first")));
    stack->back();

    stack->setRoot(&root);
    QWidget* second = newPage(QStringLiteral("second"));
    stack->push(second);
    QCOMPARE(stack->currentIndex(), 1);
    QCOMPARE(stack->windowAt(0), &root);
    QCOMPARE(stack->windowAt(1), second);
    QCOMPARE(stack->windowAt(2), nullptr);
    stack->home();
}

void TestShell::nullWindowsChangeNothing()
{
    PageStack* stack = rootedStack();
    MainWindow& root = *m_root;
    QWidget* page = newPage(QStringLiteral("page"));
    stack->push(page);

    stack->setRoot(nullptr);
    stack->push(nullptr);
    QCOMPARE(stack->currentIndex(), 1);
    QCOMPARE(stack->windowAt(0), &root);
    QCOMPARE(stack->windowAt(1), page);
    QVERIFY(page->isVisible());
    stack->home();
}

void TestShell::pushWithoutRootIsRefused()
{
    PageStack* stack = rootedStack();
    stack->home(); // leaves the stack empty
    QPointer<QWidget> page = newPage(QStringLiteral("orphan"));
    stack->push(page);
    QVERIFY(!page->isVisible());
    QCOMPARE(stack->currentIndex(), 0);
    QCOMPARE(stack->windowAt(0), nullptr);
    flushDeferredDeletes(); // the stack owns a page it refused
    QVERIFY(!page);
}

void TestShell::pushBeyondTenEntriesIsRefused()
{
    PageStack* stack = rootedStack();
    MainWindow& root = *m_root;
    QWidget* top = nullptr;
    for (int i = 1; i < PageStack::kCapacity; ++i) {
        top = newPage(QStringLiteral("page%1").arg(i));
        stack->push(top);
    }
    QCOMPARE(stack->currentIndex(), PageStack::kCapacity - 1);

    QPointer<QWidget> extra = newPage(QStringLiteral("extra"));
    stack->push(extra);
    QCOMPARE(stack->currentIndex(), PageStack::kCapacity - 1);
    QCOMPARE(stack->windowAt(PageStack::kCapacity - 1), top);
    QVERIFY(top->isVisible());
    QVERIFY(!extra->isVisible());
    flushDeferredDeletes();
    QVERIFY(!extra);

    for (int i = 1; i < PageStack::kCapacity; ++i)
        stack->back();
    QVERIFY(root.isVisible());
    QCOMPARE(stack->currentIndex(), 0);
}

void TestShell::pagesLeavingTheStackAreDeletedButNotTheRoot()
{
    QPointer<MainWindow> root = new MainWindow;
    root->show();
    PageStack* stack = PageStack::instance();
    stack->setRoot(root);
    QPointer<QWidget> popped = newPage(QStringLiteral("popped"));
    stack->push(popped);
    stack->back();
    QVERIFY(popped); // not while control is still in the caller
    flushDeferredDeletes();
    QVERIFY(!popped);

    QPointer<QWidget> first = newPage(QStringLiteral("first"));
    QPointer<QWidget> second = newPage(QStringLiteral("second"));
    stack->setRoot(root);
    stack->push(first);
    stack->push(second);
    stack->home();
    flushDeferredDeletes();
    QVERIFY(!first);
    QVERIFY(!second);
    QVERIFY(root);
    QVERIFY(root->isVisible());
    delete root;
}

void TestShell::boxIsCentredOverItsParent()
{
    QWidget parent;
    parent.setGeometry(100, 100, 500, 560);
    parent.show();
    ZVMessageBox box(QStringLiteral("提示"), QStringLiteral("复制成功"), QStringLiteral("确定"), QString(), false);
    QRect seen;
    ModalAnswer answer([&seen](QWidget* modal) {
        seen = modal->geometry();
        modal->close();
    });
    box.run(&parent);
    QVERIFY(answer.wasAnswered());
    QCOMPARE(seen, QRect(225, 325, 250, 109));
}

void TestShell::oneButtonNoticeShowsOnlyTheWideOkButton()
{
    ZVMessageBox twoButtons(QString(), QStringLiteral("确定退出程序？"), QStringLiteral("退出"), QStringLiteral("取消"),
                            false);
    const auto* cancel = twoButtons.findChild<QPushButton*>(QStringLiteral("cancelBtn"));
    const QRect cancelArea = cancel->geometry();
    const QRect okArea = twoButtons.findChild<QPushButton*>(QStringLiteral("okBtn"))->geometry();

    ZVMessageBox notice(QStringLiteral("提示"), QStringLiteral("复制成功"), QStringLiteral("确定"), QString(), false);
    auto* ok = notice.findChild<QPushButton*>(QStringLiteral("okBtn"));
    QCOMPARE(ok->text(), QStringLiteral("确定"));
    QVERIFY(ok->geometry().contains(cancelArea));
    QCOMPARE(ok->geometry().left(), cancelArea.left());
    QCOMPARE(ok->geometry().top(), okArea.top());
    QCOMPARE(ok->geometry().bottom(), okArea.bottom());
    QVERIFY(qAbs(ok->geometry().right() - okArea.right()) <= 1);

    int visible = 0;
    ModalAnswer answer([&visible](QWidget* modal) {
        const auto buttons = modal->findChildren<QPushButton*>();
        for (const QPushButton* button : buttons)
            visible += button->isVisible() ? 1 : 0;
        QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("okBtn")), Qt::LeftButton);
    });
    QVERIFY(notice.run(nullptr));
    QVERIFY(answer.wasAnswered());
    QCOMPARE(visible, 1);
}

void TestShell::boxAnswers_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("expected");
    QTest::newRow("ok button") << QStringLiteral("ok") << true;
    QTest::newRow("cancel button") << QStringLiteral("cancel") << false;
    QTest::newRow("escape") << QStringLiteral("escape") << false;
    QTest::newRow("title-bar close") << QStringLiteral("close") << false;
}

void TestShell::boxAnswers()
{
    QFETCH(QString, how);
    QFETCH(bool, expected);
    ZVMessageBox box(QStringLiteral("是否清空"), QStringLiteral("确定清空操作历史吗？清空不可恢复"),
                     QStringLiteral("清空"), QStringLiteral("取消"), false);
    ModalAnswer::Action action;
    if (how == QLatin1String("ok"))
        action = ModalAnswer::clickButtonWithText(QStringLiteral("清空"));
    else if (how == QLatin1String("cancel"))
        action = ModalAnswer::clickButtonWithText(QStringLiteral("取消"));
    else if (how == QLatin1String("escape"))
        action = ModalAnswer::pressEscape();
    else
        action = ModalAnswer::closeWindow();
    // A box run twice starts from false again.
    for (int round = 0; round < 2; ++round) {
        ModalAnswer answer(action);
        QCOMPARE(box.run(nullptr), expected);
        QVERIFY(answer.wasAnswered());
        QCOMPARE(answer.seenTitle(), QStringLiteral("是否清空"));
    }
}

void TestShell::inputModeAsksForAMaskedLine()
{
    ZVMessageBox box(QStringLiteral("证书密码"), QStringLiteral("请输入证书密码"), QStringLiteral("确定"),
                     QStringLiteral("取消"), true);
    box.setEchoMode(QLineEdit::Password);
    // Read what the open box shows, answer it, and check afterwards, so a failed check cannot leave it open.
    bool editVisible = false, editFocused = false, tipsVisible = false, messageVisible = true, tipsAbove = false;
    bool masked = false;
    QLineEdit::EchoMode echo = QLineEdit::Normal;
    QString tipsText;
    ModalAnswer answer([&](QWidget* modal) {
        auto* edit = modal->findChild<QLineEdit*>(QStringLiteral("lineEdit"));
        const auto* tips = modal->findChild<QLabel*>(QStringLiteral("tipsLabel"));
        const auto* message = modal->findChild<QLabel*>(QStringLiteral("msgLabel"));
        editVisible = edit->isVisible();
        editFocused = QApplication::focusWidget() == edit;
        echo = edit->echoMode();
        tipsText = tips->text();
        tipsVisible = tips->isVisible();
        messageVisible = message->isVisible();
        tipsAbove = tips->geometry().bottom() <= edit->geometry().top();
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("s3cret-Pw"));
        masked = !edit->text().isEmpty() && edit->displayText() != edit->text();
        QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("okBtn")), Qt::LeftButton);
    });
    QVERIFY(box.run(nullptr));
    QVERIFY(answer.wasAnswered());
    QVERIFY(editVisible);
    QVERIFY(editFocused);
    QCOMPARE(echo, QLineEdit::Password);
    QCOMPARE(tipsText, QStringLiteral("请输入证书密码"));
    QVERIFY(tipsVisible);
    QVERIFY(!messageVisible);
    QVERIFY(tipsAbove);
    QVERIFY(masked);
    QCOMPARE(box.text(), QStringLiteral("s3cret-Pw"));
}

void TestShell::messageModeHasNoText()
{
    ZVMessageBox box(QStringLiteral("提示"), QStringLiteral("复制成功"), QString(), QString(), false);
    box.setEchoMode(QLineEdit::Password); // ignored
    QVERIFY(box.text().isNull());
    QCOMPARE(box.findChild<QLabel*>(QStringLiteral("msgLabel"))->text(), QStringLiteral("复制成功"));
    QVERIFY(box.findChild<QLabel*>(QStringLiteral("msgLabel"))->wordWrap());
}

void TestShell::emptyTitleKeepsTheDefault()
{
    ZVMessageBox box(QString(), QStringLiteral("复制成功"), QString(), QString(), false);
    QCOMPARE(box.windowTitle(), QStringLiteral("提示"));
    QCOMPARE(box.findChild<QPushButton*>(QStringLiteral("okBtn"))->text(), QStringLiteral("确定"));
}

void TestShell::mainWindowHasItsTilesAndVersionedTitle()
{
    MainWindow window;
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Zorvik商户平台证书工具 v1.0.0"));
    QCOMPARE(window.centralWidget()->objectName(), QStringLiteral("centralWidget"));
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("label"))->text(), QStringLiteral("工具介绍&使用注意事项"));
    QVERIFY(!window.findChild<QLabel*>(QStringLiteral("label_2"))->text().isEmpty());
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("label_2"))->alignment(), Qt::AlignCenter);

    const QStringList names = {QStringLiteral("applyCertBtn"), QStringLiteral("changeCertBtn"),
                               QStringLiteral("certSignBtn"), QStringLiteral("cryptBtn"),
                               QStringLiteral("certInfoBtn")};
    const QStringList texts = {
        QStringLiteral("申请证书\n申请新的证书和密钥"),
        QStringLiteral("更换证书\n更换证书并保留原有的密钥"),
        QStringLiteral("签名/验签\n通过选择本地证书进行签名/验签操作"),
        QStringLiteral("加密/解密\n通过选择本地证书进行加密/解密操作"),
        QStringLiteral("查看证书\n查看本地证书文件的详细信息"),
    };
    QSize tileSize;
    for (int i = 0; i < names.size(); ++i) {
        const auto* button = window.findChild<QPushButton*>(names.at(i));
        QVERIFY2(button, qPrintable(names.at(i)));
        QCOMPARE(button->text(), texts.at(i));
        if (i == 0)
            tileSize = button->size();
        QCOMPARE(button->size(), tileSize);
    }
    QVERIFY(!window.menuWidget());
    QVERIFY(!window.findChild<QStatusBar*>());

    // A page keeps the title of its own form.
    QWidget page;
    page.setWindowTitle(QStringLiteral("申请证书"));
    setupWindow(&page, false);
    QCOMPARE(page.windowTitle(), QStringLiteral("申请证书"));
}

void TestShell::windowsHaveOnlyCloseButtonStayOnTopAndFixedSize()
{
    MainWindow window;
    ZVMessageBox box(QString(), QString(), QString(), QString(), false);
    for (QWidget* w : {static_cast<QWidget*>(&window), static_cast<QWidget*>(&box)}) {
        const Qt::WindowFlags flags = w->windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(w->isWindow());
        QCOMPARE(w->minimumSize(), w->maximumSize());
    }
    QCOMPARE(window.size(), QSize(500, 560));
    QCOMPARE(box.size(), QSize(250, 109));
    QVERIFY(!window.windowIcon().isNull());
    QVERIFY(window.windowIcon().availableSizes().size() >= 4);
}

void TestShell::cancellingTheExitConfirmationKeepsTheWindow_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("cancel button") << 0;
    QTest::newRow("escape") << 1;
    QTest::newRow("title-bar close of the box") << 2;
}

void TestShell::cancellingTheExitConfirmationKeepsTheWindow()
{
    QFETCH(int, how);
    MainWindow window;
    window.show();
    const QRect before = window.geometry();
    const ModalAnswer::Action actions[] = {ModalAnswer::clickButtonWithText(QStringLiteral("取消")),
                                           ModalAnswer::pressEscape(), ModalAnswer::closeWindow()};
    ModalAnswer answer(actions[how]);
    QVERIFY(!window.close());
    QVERIFY(answer.wasAnswered());
    QCOMPARE(answer.seenTitle(), QStringLiteral("提示"));
    QVERIFY(window.isVisible());
    QCOMPARE(window.geometry(), before);
}

void TestShell::confirmingExitEndsTheEventLoopWithCodeZero()
{
    MainWindow window;
    window.show();
    QString question;
    ModalAnswer answer([&question](QWidget* modal) {
        question = modal->findChild<QLabel*>(QStringLiteral("msgLabel"))->text();
        QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("okBtn")), Qt::LeftButton);
    });
    QTimer::singleShot(0, &window, &QWidget::close);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, [] { QApplication::exit(99); });
    watchdog.start(10000);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(answer.wasAnswered());
    QCOMPARE(question, QStringLiteral("确定退出程序？"));
    QVERIFY(!window.isVisible());
}

void TestShell::startUpCreatesTheLogDirectory()
{
    QTemporaryDir workDir;
    QVERIFY(workDir.isValid());
    QProcess program;
    program.setWorkingDirectory(workDir.path());
    program.start(QStringLiteral(CERTUTIL_EXECUTABLE), {QStringLiteral("-platform"), QStringLiteral("offscreen")});
    QVERIFY(program.waitForStarted());
    const QString logPath = workDir.filePath(QStringLiteral("log"));
    QTRY_VERIFY_WITH_TIMEOUT(QDir(logPath).exists(), 10000);
    QCOMPARE(program.state(), QProcess::Running); // the program lives on with its window
    program.kill();
    program.waitForFinished();
}

void TestShell::fileDialogsAreAnsweredFromTheTest()
{
    // Later windows' tests choose files and directories through this helper.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("cert.p12"));
    QFile(file).open(QIODevice::WriteOnly);
    QWidget parent;
    parent.show();
    {
        // After another modal window the file dialog opens with its file-name edit focused, which
        // QFileDialog::selectFile does not fill; the answer must work all the same.
        ZVMessageBox box(QString(), QStringLiteral("复制成功"), QString(), QString(), false);
        ModalAnswer answer(ModalAnswer::clickButtonNamed(QStringLiteral("okBtn")));
        QVERIFY(box.run(&parent));
    }
    {
        ModalAnswer answer(ModalAnswer::chooseFile(file));
        const QString chosen = QFileDialog::getOpenFileName(&parent, QStringLiteral("选择证书文件"), dir.path(),
                                                            QStringLiteral("证书文件 (*.p12 *.cer *.pem)"));
        QVERIFY(answer.wasAnswered());
        QCOMPARE(chosen, file);
    }
    {
        ModalAnswer answer(ModalAnswer::chooseFile(dir.path()));
        const QString chosen = QFileDialog::getExistingDirectory(&parent, QString(), QDir::homePath());
        QVERIFY(answer.wasAnswered());
        QCOMPARE(QDir(chosen).canonicalPath(), QDir(dir.path()).canonicalPath());
    }
}

void TestShell::aWindowLeftOpenByItsAnswerIsClosedAndFailsTheTest()
{
    ZVMessageBox box(QString(), QStringLiteral("确定退出程序？"), QStringLiteral("退出"), QStringLiteral("取消"),
                     false);
    QElapsedTimer clock;
    clock.start();
    ModalAnswer answer([](QWidget*) {}); // answers nothing
    // The helper's own failure consumes this expectation. Had it not failed, the QVERIFY2 below would pass
    // unexpectedly, which fails this test.
    QEXPECT_FAIL("", "the helper reports the window it could not answer", Continue);
    const bool confirmed = box.run(nullptr);
    QVERIFY2(true, "the helper did not report the window it could not answer");
    QVERIFY(answer.failed());
    QVERIFY(!confirmed);
    QVERIFY(clock.elapsed() < 5000);
}

void TestShell::everyTextFitsItsWidget()
{
    MainWindow window;
    QStringList cut = textsThatDoNotFit(&window);
    const ZVMessageBox boxes[] = {
        {QStringLiteral("提示"), QStringLiteral("确定退出程序？"), QStringLiteral("退出"), QStringLiteral("取消"),
         false},
        {QStringLiteral("提示"), QStringLiteral("复制成功"), QStringLiteral("确定"), QString(), false},
        {QStringLiteral("证书密码"), QStringLiteral("请输入证书密码"), QStringLiteral("确定"), QStringLiteral("取消"),
         true},
        {QStringLiteral("是否清空"), QStringLiteral("确定清空操作历史吗？清空不可恢复"), QStringLiteral("清空"),
         QStringLiteral("取消"), false},
    };
    for (const ZVMessageBox& box : boxes)
        cut << textsThatDoNotFit(const_cast<ZVMessageBox*>(&box));
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1String("; "))));
}

void TestShell::chooserDecidesTheKindFromTheName_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("keyOnly");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("password"); // typed into the password box; null when none is asked

    QTest::newRow("PEM in capitals") << "server.PEM" << false << int(KeyFilePem) << QString();
    QTest::newRow(".pem anywhere in the name") << "my.pem.p12" << false << int(KeyFilePem) << QString();
    QTest::newRow("certificate") << "root.cer" << false << int(KeyFileCertificate) << QString();
    QTest::newRow("certificate name, key chooser") << "root.cer" << true << int(KeyFilePkcs12) << "秘密 pw";
    QTest::newRow("PKCS#12, empty password") << "cert.p12" << false << int(KeyFilePkcs12) << "";
    QTest::newRow("no extension") << "merchant" << true << int(KeyFilePkcs12) << "123456";
    QTest::newRow("PEM, key chooser") << "cert_key.pem" << true << int(KeyFilePem) << QString();
}

void TestShell::chooserDecidesTheKindFromTheName()
{
    QFETCH(QString, fileName);
    QFETCH(bool, keyOnly);
    QFETCH(int, kind);
    QFETCH(QString, password);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(fileName);
    QVERIFY(QFile(file).open(QIODevice::WriteOnly));
    QWidget parent;
    parent.show();

    QVector<ModalAnswer::Action> actions{ModalAnswer::chooseFile(file)};
    QString passwordBoxTitle;
    if (!password.isNull()) {
        actions << [&](QWidget* modal) {
            passwordBoxTitle = modal->windowTitle();
            ModalAnswer::typeAndClick(password, QStringLiteral("okBtn"))(modal);
        };
    }
    ModalAnswer answer(actions);
    QString path, displayName, chosenPassword = QStringLiteral("untouched");
    KeyFileKind chosenKind = KeyFileKind(-1);
    const bool chosen = keyOnly ? chooseKeyFile(&parent, &path, &displayName, &chosenKind, &chosenPassword)
                                : chooseCertFile(&parent, &path, &displayName, &chosenKind, &chosenPassword);
    QVERIFY(chosen);
    QCOMPARE(answer.answeredCount(), actions.size());
    QCOMPARE(path, file);
    QCOMPARE(displayName, fileName);
    QCOMPARE(int(chosenKind), kind);
    QCOMPARE(chosenPassword, password.isNull() ? QStringLiteral("untouched") : password);
    QCOMPARE(passwordBoxTitle, password.isNull() ? QString() : QStringLiteral("证书密码"));
    QCOMPARE(CertEngine::instance()->lastPath, file);
}

void TestShell::cancellingChangesNothingButTheNextStart_data()
{
    QTest::addColumn<bool>("cancelTheFileDialog");
    QTest::newRow("file dialog cancelled") << true;
    QTest::newRow("password box cancelled") << false;
}

void TestShell::cancellingChangesNothingButTheNextStart()
{
    QFETCH(bool, cancelTheFileDialog);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("cert.p12"));
    QVERIFY(QFile(file).open(QIODevice::WriteOnly));
    const QString earlier = dir.filePath(QStringLiteral("earlier.pem"));
    CertEngine::instance()->lastPath = earlier;
    QWidget parent;
    parent.show();

    QString path = QStringLiteral("p"), displayName = QStringLiteral("n"), password = QStringLiteral("w");
    KeyFileKind kind = KeyFileKind(7);
    {
        QVector<ModalAnswer::Action> actions;
        if (cancelTheFileDialog)
            actions << ModalAnswer::cancelFileDialog();
        else
            actions << ModalAnswer::chooseFile(file) << ModalAnswer::clickButtonWithText(QStringLiteral("取消"));
        ModalAnswer answer(actions);
        QVERIFY(!chooseCertFile(&parent, &path, &displayName, &kind, &password));
        QCOMPARE(answer.answeredCount(), actions.size());
    }
    QCOMPARE(path, QStringLiteral("p"));
    QCOMPARE(displayName, QStringLiteral("n"));
    QCOMPARE(password, QStringLiteral("w"));
    QCOMPARE(kind, KeyFileKind(7));
    // The file stays remembered even though its password was not given.
    QCOMPARE(fileDialogStart(), cancelTheFileDialog ? earlier : file);
}

void TestShell::firstChooserStartsInTheExecutablesDirectory()
{
    QWidget parent;
    parent.show();
    QString startedIn;
    ModalAnswer answer([&startedIn](QWidget* modal) {
        if (auto* dialog = qobject_cast<QFileDialog*>(modal))
            startedIn = dialog->directory().absolutePath();
        ModalAnswer::cancelFileDialog()(modal);
    });
    QString path, displayName, password;
    KeyFileKind kind = KeyFilePkcs12;
    QVERIFY(!chooseKeyFile(&parent, &path, &displayName, &kind, &password));
    QVERIFY(answer.wasAnswered());
    QCOMPARE(QDir(startedIn).canonicalPath(), QDir(QCoreApplication::applicationDirPath()).canonicalPath());
}

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
