#include "app/filechooser.h"
#include "app/mainwindow.h"
#include "app/pagestack.h"
#include "app/startup.h"
#include "app/textbox.h"
#include "app/windowsetup.h"
#include "app/workingfolder.h"
#include "app/zvmessagebox.h"
#include "certengine/certengine.h"
#include "crypto/keyfilekind.h"
#include "modalanswer.h"
#include "testpki.h"
#include "textfit.h"
#include "windowdriver.h"
#include "workdirectory.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QTextCodec>
#endif

#ifdef Q_OS_LINUX
#include <csignal>
#include <unistd.h>
#endif

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

// The windows that ask before the program ends, and the button that chooses their file.
const QStringList kAskingWindows{
    "main window",     "request page",           "import page", "finish page", "sign/verify",
    "encrypt/decrypt", "certificate information"};

} // namespace

class TestShell : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void pageStackMoves_data();
    void pageStackMoves();

    // Message box.
    void noticeShowsItsMessageCentredWithOnlyTheWideOkButton();
    void boxAnswers_data();
    void boxAnswers();
    void inputModeAsksForAMaskedLine();

    // Text box.
    void textComesBackAsTheBoxShowsIt_data();
    void textComesBackAsTheBoxShowsIt();
    void longLineEditsAsOneLine_data();
    void longLineEditsAsOneLine();

    // Main window and every window's set-up.
    void mainWindowHasItsTiles();
    void tilesOpenFreshWindowsAndBackReturns_data();
    void tilesOpenFreshWindowsAndBackReturns();
    void everyWindowIsFixedWithOnlyACloseButton_data();
    void everyWindowIsFixedWithOnlyACloseButton();
    void tabOrderFollowsTheEye_data();
    void tabOrderFollowsTheEye();
    void fieldsAreNamedForScreenReaders_data();
    void fieldsAreNamedForScreenReaders();
    void cancellingTheExitConfirmationKeepsTheWindow_data();
    void cancellingTheExitConfirmationKeepsTheWindow();
    void confirmingExitEndsTheEventLoopWithCodeZero();
    void startUpCreatesTheLogDirectoryAndProtectsTheProcess();
    void toolkitButtonsSpeakChinese();
    void localTextAndFileNamesAreUtf8();
    void fileDialogsAreAnsweredFromTheTest();
    void aWindowLeftOpenByItsAnswerIsClosedAndFailsTheTest();

    // File chooser.
    void chooserDecidesTheKindFromTheName_data();
    void chooserDecidesTheKindFromTheName();
    void cancelledChooserChangesNoWindow_data();
    void cancelledChooserChangesNoWindow();
    void firstChooserStartsInTheWorkingFolder_data();
    void firstChooserStartsInTheWorkingFolder();

private:
    // Shows a fresh main window and makes it the root of the page stack.
    PageStack* rootedStack();

    WorkDirectory m_work;
    std::unique_ptr<MainWindow> m_root;
};

void TestShell::initTestCase()
{
    pki::make();
}

PageStack* TestShell::rootedStack()
{
    m_root = std::make_unique<MainWindow>();
    m_root->show();
    PageStack::instance()->setRoot(m_root.get());
    return PageStack::instance();
}

void TestShell::cleanup()
{
    closeAllWindows();
    m_root.reset();
    WorkDirectory::removeHistory();
}

void TestShell::pageStackMoves_data()
{
    // push NAME (a fresh page), push nothing, root (the main window again), root nothing, back, home, and move:
    // the visible window to another place.
    QTest::addColumn<QString>("moves");
    QTest::addColumn<QString>("stack");   // the windows on it from the root, and the current index
    QTest::addColumn<QString>("visible"); // the one window shown, where the last move put it
    QTest::addColumn<QString>("deleted"); // once control is back in the event loop; never the root
    QString pushNine = "push p1", nine = "MainWindow p1";
    for (int i = 2; i < PageStack::kCapacity; ++i) {
        pushNine += QStringLiteral(", push p%1").arg(i);
        nine += QStringLiteral(" p%1").arg(i);
    }
    const auto row = [](const char* name, const QString& moves, const QString& stack, const char* visible,
                        const QString& deleted) {
        QTest::newRow(name) << moves << stack << QString(visible) << deleted;
    };
    row("push shows the page in the rectangle of the window below", "move, push page", "MainWindow page @1", "page",
        "");
    row("back shows the window below where the page was moved", "push page, move, back", "MainWindow @0", "MainWindow",
        "page");
    row("home returns to the root and empties the stack", "push request, push import, push finish, move, home", "@0",
        "MainWindow", "request import finish");
    row("two visits leave the root and the newest page", "push first, back, root, push second", "MainWindow second @1",
        "second", "first");
    row("null windows change nothing", "push page, root nothing, push nothing", "MainWindow page @1", "page", "");
    row("push without a root is refused", "home, push orphan", "@0", "MainWindow", "orphan");
    row("push beyond ten entries is refused", pushNine + ", push extra", nine + " @9", "p9", "extra");
    row("back from the tenth entry reaches the root", pushNine + QString(", back").repeated(9), "MainWindow @0",
        "MainWindow", nine.mid(11));
}

void TestShell::pageStackMoves()
{
    QFETCH(QString, moves);
    QFETCH(QString, stack);
    QFETCH(QString, visible);
    QFETCH(QString, deleted);
    PageStack* pages = rootedStack();
    const QRect moved(321, 123, 500, 560);
    QVector<QPointer<QWidget>> windows{m_root.get()};
    for (const QString& move : moves.split(", ")) {
        const QString argument = move.section(' ', 1);
        if (move == "move")
            stackTop()->setGeometry(moved);
        else if (move.startsWith("push"))
            pages->push(argument == "nothing" ? nullptr : (windows << newPage(argument)).last().data());
        else if (move.startsWith("root"))
            pages->setRoot(argument == "nothing" ? nullptr : m_root.get());
        else
            move == "back" ? pages->back() : pages->home();
    }
    QStringList onStack;
    for (int i = 0; i < PageStack::kCapacity; ++i)
        onStack << (pages->windowAt(i) ? pages->windowAt(i)->objectName() : "-");
    while (!onStack.isEmpty() && onStack.last() == "-")
        onStack.removeLast();
    QCOMPARE((onStack << '@' + QString::number(pages->currentIndex())).join(' '), stack);
    QStringList names, shown, gone;
    for (const auto& window : windows) {
        QVERIFY(window); // not while control is still in the caller
        names << window->objectName();
        if (window->isVisible()) {
            shown << window->objectName();
            QCOMPARE(window->geometry(), moves.contains("move") ? moved : m_root->geometry());
        }
    }
    QCOMPARE(shown.join(' '), visible);
    flushDeferredDeletes();
    for (int i = 0; i < windows.size(); ++i) {
        if (!windows.at(i))
            gone << names.at(i);
    }
    if (!windows.first())
        (void)m_root.release(); // deleted by the stack: gone is wrong
    QCOMPARE(gone.join(' '), deleted);
}

void TestShell::noticeShowsItsMessageCentredWithOnlyTheWideOkButton()
{
    const auto question = makeWindow("exit question");
    const QRect cancelArea = widget(question.get(), "cancelBtn")->geometry();
    const QRect okArea = widget(question.get(), "okBtn")->geometry();
    // Empty title and button text keep the form's own.
    ZVMessageBox notice(QString(), "复制成功", QString(), QString(), false);
    notice.setEchoMode(QLineEdit::Password); // ignored
    QVERIFY(notice.text().isNull());
    QCOMPARE(notice.windowTitle() + '|' + text(&notice, "msgLabel") + '|' + text(&notice, "okBtn"),
             QStringLiteral("提示|复制成功|确定"));
    QVERIFY(notice.findChild<QLabel*>("msgLabel")->wordWrap());
    const QRect ok = widget(&notice, "okBtn")->geometry();
    QVERIFY(ok.contains(cancelArea));
    QCOMPARE(ok.left(), cancelArea.left());
    QCOMPARE(ok.top(), okArea.top());
    QCOMPARE(ok.bottom(), okArea.bottom());
    QVERIFY(qAbs(ok.right() - okArea.right()) <= 1);

    QWidget parent;
    parent.setGeometry(100, 100, 500, 560);
    parent.show();
    int visible = 0;
    QRect seen;
    ModalAnswer answer([&](QWidget* modal) {
        seen = modal->geometry();
        const auto buttons = modal->findChildren<QPushButton*>();
        for (const QPushButton* button : buttons)
            visible += button->isVisible() ? 1 : 0;
        click(modal, "okBtn");
    });
    QVERIFY(notice.run(&parent));
    QVERIFY(answer.wasAnswered());
    QCOMPARE(visible, 1);
    QCOMPARE(seen, QRect(225, 325, 250, 109)); // centred over its parent
}

void TestShell::boxAnswers_data()
{
    QTest::addColumn<int>("how"); // the button, the other button, Escape, the title bar's close button
    QTest::addColumn<bool>("expected");
    QTest::newRow("ok button") << 0 << true;
    QTest::newRow("cancel button") << 1 << false;
    QTest::newRow("escape") << 2 << false;
    QTest::newRow("title-bar close") << 3 << false;
}

void TestShell::boxAnswers()
{
    QFETCH(int, how);
    QFETCH(bool, expected);
    const auto window = makeWindow("clear question");
    auto* box = static_cast<ZVMessageBox*>(window.get());
    const ModalAnswer::Action actions[] = {ModalAnswer::clickButtonWithText("清空"),
                                           ModalAnswer::clickButtonWithText("取消"), ModalAnswer::pressEscape(),
                                           ModalAnswer::closeWindow()};
    // A box run twice starts from false again.
    for (int round = 0; round < 2; ++round) {
        ModalAnswer answer(actions[how]);
        QCOMPARE(box->run(nullptr), expected);
        QCOMPARE(answer.seenTitle(), QStringLiteral("是否清空"));
    }
}

void TestShell::inputModeAsksForAMaskedLine()
{
    ZVMessageBox box("证书密码", "请输入证书密码", "确定", "取消", true);
    box.setEchoMode(QLineEdit::Password);
    // Read what the open box shows, answer it, and check afterwards, so a failed check cannot leave it open.
    QString seen;
    ModalAnswer answer([&seen](QWidget* modal) {
        auto* edit = modal->findChild<QLineEdit*>("lineEdit");
        QWidget* tips = widget(modal, "tipsLabel");
        // Under Wine the box may be shown a moment before the window system hands it the focus.
        (void)QTest::qWaitFor([edit] { return QApplication::focusWidget() == edit; }, 2000);
        seen = QStringLiteral("%1 %2 %3 %4 %5 %6")
                   .arg(edit->isVisible())
                   .arg(QApplication::focusWidget() == edit)
                   .arg(edit->echoMode() == QLineEdit::Password)
                   .arg(text(modal, "tipsLabel") + (tips->isVisible() ? " shown" : " hidden"))
                   .arg(widget(modal, "msgLabel")->isVisible())
                   .arg(tips->geometry().bottom() <= edit->geometry().top());
        QTest::keyClicks(edit, "s3cret-Pw");
        seen += QStringLiteral(" masked %1").arg(!edit->text().isEmpty() && edit->displayText() != edit->text());
        click(modal, "okBtn");
    });
    QVERIFY(box.run(nullptr));
    // Visible and focused edit, masked, with the tips shown above it instead of the message.
    QCOMPARE(seen, QStringLiteral("1 1 1 请输入证书密码 shown 0 1 masked 1"));
    QCOMPARE(box.text(), QStringLiteral("s3cret-Pw"));
}

void TestShell::textComesBackAsTheBoxShowsIt_data()
{
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("read");
    const QString line(20000, 'x');
    QTest::newRow("line feeds") << line + "\n" + line << line + "\n" + line;
    QTest::newRow("CR LF pairs before a long line")
        << QString("\r\n").repeated(9000) + line << QString("\n").repeated(9000) + line;
    QTest::newRow("carriage return and paragraph separator")
        << "a\rb" + QString(QChar::ParagraphSeparator) + line << "a\nb\n" + line;
}

void TestShell::textComesBackAsTheBoxShowsIt()
{
    QFETCH(QString, shown);
    QFETCH(QString, read);
    TextBox box;
    box.showText(shown);
    QCOMPARE(box.text(), read);
    box.selectAll();
    box.copy();
    QCOMPARE(QApplication::clipboard()->text(), read);
}

void TestShell::longLineEditsAsOneLine_data()
{
    QTest::addColumn<int>("at"); // from the start of the second piece, in characters of the text
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("removed"); // from the text, where the key was pressed
    QTest::addColumn<QString>("inserted");
    QTest::newRow("Enter in a piece") << 100 << int(Qt::Key_Return) << 0 << "\n";
    QTest::newRow("Backspace at a seam") << 0 << int(Qt::Key_Backspace) << -1 << "";
    QTest::newRow("Delete at a seam") << 0 << int(Qt::Key_Delete) << 1 << "";
}

void TestShell::longLineEditsAsOneLine()
{
    QFETCH(int, at);
    QFETCH(int, key);
    QFETCH(int, removed);
    QFETCH(QString, inserted);
    QString line;
    for (int i = 0; i < 30000; ++i)
        line += QLatin1Char('a' + i % 26);
    TextBox box;
    box.show();
    QApplication::clipboard()->setText(line);
    box.paste();
    QCOMPARE(box.text(), line);
    QVERIFY(box.document()->blockCount() > 1); // laid out piece by piece
    // Copied across a seam, the line comes whole.
    const int seam = box.document()->findBlockByNumber(1).position() - 1;
    QTextCursor cursor(box.document());
    cursor.setPosition(seam - 5);
    cursor.setPosition(seam + 6, QTextCursor::KeepAnchor);
    box.setTextCursor(cursor);
    box.copy();
    QCOMPARE(QApplication::clipboard()->text(), line.mid(seam - 5, 10));

    cursor.setPosition(seam + at + (at > 0 || key == Qt::Key_Backspace ? 1 : 0));
    box.setTextCursor(cursor);
    QTest::keyClick(&box, Qt::Key(key));
    QString expected = line;
    expected.remove(seam + qMin(removed, 0) + at, qAbs(removed)).insert(seam + qMin(removed, 0) + at, inserted);
    QCOMPARE(box.text(), expected);
}

void TestShell::mainWindowHasItsTiles()
{
    MainWindow window;
    QCOMPARE(window.centralWidget()->objectName(), QStringLiteral("centralWidget"));
    QCOMPARE(text(&window, "label"), QStringLiteral("工具介绍&使用注意事项"));
    QVERIFY(!text(&window, "label_2").isEmpty());
    QCOMPARE(window.findChild<QLabel*>("label_2")->alignment(), Qt::AlignCenter);
    const QStringList tiles{
        "applyCertBtn 申请证书\n申请新的证书和密钥", "changeCertBtn 更换证书\n更换证书并保留原有的密钥",
        "certSignBtn 签名/验签\n通过选择本地证书进行签名/验签操作",
        "cryptBtn 加密/解密\n通过选择本地证书进行加密/解密操作", "certInfoBtn 查看证书\n查看本地证书文件的详细信息"};
    for (const QString& tile : tiles) {
        const QString name = tile.section(' ', 0, 0);
        QCOMPARE(text(&window, name), tile.section(' ', 1));
        QCOMPARE(widget(&window, name)->size(), widget(&window, "applyCertBtn")->size());
    }
    QVERIFY(!window.menuWidget());
    QVERIFY(!window.findChild<QStatusBar*>());
    QVERIFY(window.windowIcon().availableSizes().size() >= 4);
}

void TestShell::tilesOpenFreshWindowsAndBackReturns_data()
{
    QTest::addColumn<QString>("tile");
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("back");
    const auto row = [](const char* name, const char* tile, const char* form, const char* back) {
        QTest::newRow(name) << QString(tile) << QString(form) << QString(back);
    };
    row("apply", "applyCertBtn", "Dialog_GetCSR_1 生成证书请求串", "lastStepBtn");
    row("change", "changeCertBtn", "Dialog_GetCSR_1 选择文件并生成证书请求串", "lastStepBtn");
    row("sign/verify", "certSignBtn", "Dialog_CertSign_1 ", "backBtn");
    row("encrypt/decrypt", "cryptBtn", "Dialog_RSA_Crypt ", "backBtn");
    row("certificate information", "certInfoBtn", "Dialog_CertInfo_1 ", "backBtn");
}

void TestShell::tilesOpenFreshWindowsAndBackReturns()
{
    QFETCH(QString, tile);
    QFETCH(QString, form);
    QFETCH(QString, back);
    MainWindow window;
    window.show();
    QString first;
    for (int visit = 0; visit < 2; ++visit) {
        click(&window, tile);
        QWidget* page = PageStack::instance()->windowAt(1);
        QVERIFY(page && page->isVisible() && !window.isVisible());
        const QString button = page->findChild<QPushButton*>("getCSRBtn") ? text(page, "getCSRBtn") : QString();
        QCOMPARE(page->objectName() + ' ' + button, form);
        // Every visit starts a fresh window: what the first left in its edits is gone.
        if (visit == 0)
            first = snapshot(page);
        QCOMPARE(snapshot(page), first);
        const auto edits = page->findChildren<QPlainTextEdit*>();
        for (QPlainTextEdit* edit : edits)
            edit->setPlainText("draft");
        click(page, back);
        QVERIFY(window.isVisible() && !page->isVisible());
        QCOMPARE(PageStack::instance()->currentIndex(), 0);
    }
}

void TestShell::everyWindowIsFixedWithOnlyACloseButton_data()
{
    QTest::addColumn<QString>("form"); // object name, title, size
    const QString page = QStringLiteral("500x560");
    const QString box = QStringLiteral("ZVMessageBox %1 250x109");
    QTest::newRow("main window") << "MainWindow Zorvik商户平台证书工具 v1.0.0 " + page;
    QTest::newRow("request page") << "Dialog_GetCSR_1 生成证书请求串 " + page;
    QTest::newRow("request page, change mode") << "Dialog_GetCSR_1 生成证书请求串 " + page;
    QTest::newRow("import page") << "Dialog_ImportCert_1 生成证书文件 " + page;
    QTest::newRow("finish page") << "Dialog_ImportCert_2 证书保存成功 " + page;
    QTest::newRow("history") << "Dialog_Opt_History 操作记录（最近10条） 350x300";
    QTest::newRow("sign/verify") << "Dialog_CertSign_1 证书签名/验签 " + page;
    QTest::newRow("encrypt/decrypt") << "Dialog_RSA_Crypt 加密/解密 " + page;
    QTest::newRow("certificate information") << "Dialog_CertInfo_1 查看证书信息 " + page;
    QTest::newRow("notice") << box.arg("提示");
    QTest::newRow("exit question") << box.arg("提示");
    QTest::newRow("clear question") << box.arg("是否清空");
    QTest::newRow("password") << box.arg("证书密码");
}

void TestShell::everyWindowIsFixedWithOnlyACloseButton()
{
    QFETCH(QString, form);
    const auto window = makeWindow(QTest::currentDataTag());
    QCOMPARE(QStringLiteral("%1 %2 %3x%4")
                 .arg(window->objectName(), window->windowTitle())
                 .arg(window->width())
                 .arg(window->height()),
             form);
    const Qt::WindowFlags flags = window->windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint) && flags.testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint) && !flags.testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(window->minimumSize(), window->maximumSize());
    QVERIFY(!window->windowIcon().isNull());
    QCOMPARE(textsThatDoNotFit(window.get()), QString());
    if (auto* error = window->findChild<QLabel*>("errorLabel")) {
        for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            QCOMPARE(error->palette().color(group, QPalette::WindowText), QColor(Qt::red));
    }
}

void TestShell::tabOrderFollowsTheEye_data()
{
    QTest::addColumn<QString>("order"); // from the widget focused first, round to it again
    QTest::newRow("request page") << "spNoLineEdit spNameLineEdit getCSRBtn csrTextEdit copyCSRBtn lastStepBtn "
                                     "nextStepBtn optHistoryLabel";
    QTest::newRow("import page") << "spCertTextEdit pasteSpCertBtn passwdLineEdit lastStepBtn nextStepBtn";
    QTest::newRow("finish page") << "openCertDirBtn finishBtn textBrowser";
    QTest::newRow("sign/verify")
        << "chooseCertBtn srcTextEdit pasteSrcBtn signTextEdit pasteSignBtn copySignBtn signBtn verifySignBtn backBtn";
    // The unchecked radio button is reached from the checked one with the arrow keys.
    QTest::newRow("encrypt/decrypt") << "chooseCertBtn inputTextEdit pasteInputBtn outputTextEdit copyOutputBtn "
                                        "pubKeyRadioBtn encryptBtn decryptBtn backBtn";
    QTest::newRow("certificate information") << "chooseCertBtn certInfoTextEdit copyBtn backBtn";
}

void TestShell::tabOrderFollowsTheEye()
{
    QFETCH(QString, order);
    const auto window = makeWindow(QTest::currentDataTag());
    window->show();
    QApplication::setActiveWindow(window.get());
    QTRY_VERIFY(QApplication::focusWidget());
    QStringList visited{QApplication::focusWidget()->objectName()};
    // Text boxes pass Tab on instead of inserting it, so the keyboard never gets stuck in one.
    for (int i = 0; i <= order.count(' '); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited.join(' '), order + ' ' + visited.first());
}

void TestShell::fieldsAreNamedForScreenReaders_data()
{
    QTest::addColumn<QStringList>("fields"); // object name=accessible name|placeholder
    QTest::newRow("request page") << QStringList{"spNoLineEdit=商户号|请输入商户号",
                                                 "spNameLineEdit=商户名称|请输入注册时登记的商户名称",
                                                 "csrTextEdit=生成的证书请求串|生成的证书请求串"};
    QTest::newRow("import page") << QStringList{
        "spCertTextEdit=1、请将证书串复制到下面文本框|请输入证书字符串",
        "passwdLineEdit=2、设置证书文件密码。（建议数字和字母结合使用，区分大小写）|请设置证书密码"};
    QTest::newRow("finish page") << QStringList{"textBrowser=一、使用说明|"};
    QTest::newRow("history") << QStringList{"listView=操作记录|"};
    QTest::newRow("sign/verify") << QStringList{"srcTextEdit=明文|请输入需要签名的明文",
                                                "signTextEdit=签名|验签操作请输出需要验证的签名（签名操作无需输入）"};
    QTest::newRow("encrypt/decrypt") << QStringList{
        "inputTextEdit=输入|请输入需要加密或解密的内容（解密内容为Base64格式）",
        "outputTextEdit=输出|输出结果（加密结果为Base64格式）"};
    QTest::newRow("certificate information") << QStringList{"certInfoTextEdit=2、证书信息|"};
}

void TestShell::fieldsAreNamedForScreenReaders()
{
    QFETCH(QStringList, fields);
    const auto window = makeWindow(QTest::currentDataTag());
    QStringList named;
    const auto children = window->findChildren<QWidget*>();
    for (QWidget* field : children) {
        QString placeholder;
        if (auto* line = qobject_cast<QLineEdit*>(field))
            placeholder = line->placeholderText();
        else if (auto* plain = qobject_cast<QPlainTextEdit*>(field))
            placeholder = plain->placeholderText();
        else if (!qobject_cast<QAbstractScrollArea*>(field))
            continue;
        named << field->objectName() + '=' + QAccessible::queryAccessibleInterface(field)->text(QAccessible::Name) +
                     '|' + placeholder;
    }
    QCOMPARE(named, fields);
}

void TestShell::cancellingTheExitConfirmationKeepsTheWindow_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<bool>("escape"); // Escape on the window, else its title-bar close button
    QTest::addColumn<int>("answer");  // the box's cancel button, Escape, its title-bar close button
    for (const QString& window : kAskingWindows) {
        QTest::addRow("%s, title-bar close", qPrintable(window)) << window << false << 0;
        if (window != "main window") // a main window takes no Escape
            QTest::addRow("%s, Escape", qPrintable(window)) << window << true << 0;
    }
    QTest::newRow("box left with Escape") << "main window" << false << 1;
    QTest::newRow("box closed") << "main window" << false << 2;
}

void TestShell::cancellingTheExitConfirmationKeepsTheWindow()
{
    QFETCH(QString, window);
    QFETCH(bool, escape);
    QFETCH(int, answer);
    const auto shown = makeWindow(window);
    shown->show();
    const QRect before = shown->geometry();
    const ModalAnswer::Action actions[] = {ModalAnswer::clickButtonWithText("取消"), ModalAnswer::pressEscape(),
                                           ModalAnswer::closeWindow()};
    QString question;
    ModalAnswer answered([&](QWidget* box) {
        question = box->windowTitle() + '/' + text(box, "msgLabel");
        actions[answer](box);
    });
    if (escape)
        QTest::keyClick(shown.get(), Qt::Key_Escape);
    else
        QVERIFY(!shown->close());
    QCOMPARE(question, QStringLiteral("提示/确定退出程序？"));
    QVERIFY(shown->isVisible());
    QCOMPARE(shown->geometry(), before);
}

void TestShell::confirmingExitEndsTheEventLoopWithCodeZero()
{
    MainWindow window;
    window.show();
    QString question;
    ModalAnswer answer([&question](QWidget* modal) {
        question = text(modal, "msgLabel");
        click(modal, "okBtn");
    });
    QTimer::singleShot(0, &window, &QWidget::close);
    QTimer::singleShot(10000, &window, [] { QApplication::exit(99); }); // a watchdog, gone with the window
    QCOMPARE(QApplication::exec(), 0);
    QCOMPARE(question, QStringLiteral("确定退出程序？"));
    QVERIFY(!window.isVisible());
}

void TestShell::startUpCreatesTheLogDirectoryAndProtectsTheProcess()
{
    QTemporaryDir workDir;
    QVERIFY(workDir.isValid());
    QProcess program;
    program.setWorkingDirectory(workDir.path());
    program.start(CERTUTIL_EXECUTABLE, {"-platform", "offscreen"});
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QDir(workDir.filePath("log")).exists(), 10000);
    QCOMPARE(program.state(), QProcess::Running); // the program lives on with its window
#ifdef Q_OS_LINUX
    // It ignores SIGXFSZ, allows no core file, and others of its user may not trace it (its /proc entry is root's).
    const QString proc = QStringLiteral("/proc/%1/").arg(program.processId());
    const QByteArray status = readFile(proc + "status");
    const QByteArray ignored = status.mid(status.indexOf("SigIgn:") + 7, 17).trimmed();
    QVERIFY2(ignored.toULongLong(nullptr, 16) & (1ull << (SIGXFSZ - 1)), status.constData());
    QVERIFY(readFile(proc + "limits").simplified().contains("Max core file size 0 0 "));
    QVERIFY(::getuid() == 0 || QFileInfo(proc + "status").ownerId() == 0);
#endif
    program.kill();
    program.waitForFinished();
}

void TestShell::toolkitButtonsSpeakChinese()
{
    QVERIFY(installToolkitTranslation(QCoreApplication::instance()));
    QFileDialog chooser;
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    const QDialogButtonBox* const chooserButtons = chooser.findChild<QDialogButtonBox*>();
    QVERIFY(chooserButtons);
    const QDialogButtonBox standard(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QStringList texts;
    for (QPushButton* button :
         {chooserButtons->button(QDialogButtonBox::Open), chooserButtons->button(QDialogButtonBox::Cancel),
          standard.button(QDialogButtonBox::Ok), standard.button(QDialogButtonBox::Cancel)})
        texts << button->text();
    QCOMPARE(texts, QStringList({"打开(&O)", "取消", "确定", "取消"}));
}

void TestShell::localTextAndFileNamesAreUtf8()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1")); // as a Western system's locale
#endif
    useUtf8ForLocalText();
    const QString name = QStringLiteral("商户证书 ¥.pem");
    QCOMPARE(QFile::encodeName(name), name.toUtf8());
    QCOMPARE(QFile::decodeName(name.toUtf8()), name);
    QCOMPARE(QString::fromLocal8Bit(name.toUtf8()), name);
}

void TestShell::fileDialogsAreAnsweredFromTheTest()
{
    // Later windows' tests choose files and directories through this helper.
    const QString file = m_work.filePath("cert.p12");
    QWidget parent;
    parent.show();
    {
        // After another modal window the file dialog opens with its file-name edit focused, which
        // QFileDialog::selectFile does not fill; the answer must work all the same.
        ZVMessageBox box(QString(), "复制成功", QString(), QString(), false);
        ModalAnswer answer(ModalAnswer::clickButtonNamed("okBtn"));
        QVERIFY(box.run(&parent));
    }
    {
        ModalAnswer answer(ModalAnswer::chooseFile(file));
        QCOMPARE(QFileDialog::getOpenFileName(&parent, "选择证书文件", m_work.path(), "证书文件 (*.p12 *.cer *.pem)"),
                 file);
    }
    ModalAnswer answer(ModalAnswer::chooseFile(m_work.path()));
    const QString chosen = QFileDialog::getExistingDirectory(&parent, QString(), QDir::homePath());
    QCOMPARE(QDir(chosen).canonicalPath(), QDir(m_work.path()).canonicalPath());
}

void TestShell::aWindowLeftOpenByItsAnswerIsClosedAndFailsTheTest()
{
    const auto box = makeWindow("exit question");
    QElapsedTimer clock;
    clock.start();
    ModalAnswer answer([](QWidget*) {}); // answers nothing
    // The helper's own failure consumes this expectation. Had it not failed, the QVERIFY2 below would pass
    // unexpectedly, which fails this test.
    QEXPECT_FAIL("", "the helper reports the window it could not answer", Continue);
    const bool confirmed = static_cast<ZVMessageBox*>(box.get())->run(nullptr);
    QVERIFY2(true, "the helper did not report the window it could not answer");
    QVERIFY(answer.failed());
    QVERIFY(!confirmed);
    QVERIFY(clock.elapsed() < 5000);
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
    const QString file = WorkDirectory::freshDirectory("chosen") + '/' + fileName;
    QVERIFY(writeFile(file, QByteArray()));
    QWidget parent;
    parent.show();
    QVector<ModalAnswer::Action> actions{ModalAnswer::chooseFile(file)};
    QString passwordBoxTitle;
    if (!password.isNull()) {
        actions << [&](QWidget* modal) {
            passwordBoxTitle = modal->windowTitle();
            answerPassword(password)(modal);
        };
    }
    ModalAnswer answer(actions);
    QString path, displayName, chosenPassword = "untouched";
    KeyFileKind chosenKind = KeyFileKind(-1);
    QVERIFY(keyOnly ? chooseKeyFile(&parent, &path, &displayName, &chosenKind, &chosenPassword)
                    : chooseCertFile(&parent, &path, &displayName, &chosenKind, &chosenPassword));
    QCOMPARE(answer.answeredCount(), actions.size());
    QCOMPARE(path + '|' + displayName, file + '|' + fileName);
    QCOMPARE(int(chosenKind), kind);
    QCOMPARE(chosenPassword, password.isNull() ? QStringLiteral("untouched") : password);
    QCOMPARE(passwordBoxTitle, password.isNull() ? QString() : QStringLiteral("证书密码"));
    QCOMPARE(CertEngine::instance()->lastPath, file);
}

void TestShell::cancelledChooserChangesNoWindow_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("cancelledIn");
    for (const char* window :
         {"request page, change mode", "sign/verify", "encrypt/decrypt", "certificate information"}) {
        QTest::addRow("%s, file dialog cancelled", window) << window << "file dialog";
        QTest::addRow("%s, password box cancelled", window) << window << "password box";
#ifndef Q_OS_WIN
        // A pipe that no one writes: the load waits for ever, off the GUI thread.
        QTest::addRow("%s, load of a pipe cancelled", window) << window << "load";
#endif
    }
}

void TestShell::cancelledChooserChangesNoWindow()
{
    QFETCH(QString, window);
    QFETCH(QString, cancelledIn);
    const bool inPasswordBox = cancelledIn == "password box";
    const auto shown = makeWindow(window);
    shown->show();
    // First a file chosen and used: a request made, a key or a certificate loaded.
    const bool request = window.startsWith("request");
    const QString chooser = request ? "getCSRBtn" : "chooseCertBtn";
    const QString earlier = m_work.filePath(window == "certificate information" ? "cert.pem" : "key.pem");
    if (request) {
        setText(shown.get(), "spNoLineEdit", "1234567890");
        setText(shown.get(), "spNameLineEdit", "深圳测试商户");
    }
    {
        QStringList seen;
        ModalAnswer answer({ModalAnswer::chooseFile(earlier), answerBox("确定", &seen), ModalAnswer::closeWindow()});
        click(shown.get(), chooser);
        QCOMPARE(answer.answeredCount(), request ? 2 : 1);
    }
    QCOMPARE(text(shown.get(), "errorLabel"), QString());
    const QString before = snapshot(shown.get());
    QGuiApplication::clipboard()->setText("unchanged");

    QVector<ModalAnswer::Action> actions{ModalAnswer::cancelFileDialog()};
    if (inPasswordBox)
        actions = {ModalAnswer::chooseFile(m_work.filePath("cert.p12")), answerPassword(QString())};
#ifndef Q_OS_WIN
    if (cancelledIn == "load") {
        QVERIFY(makePipe("pipe.pem"));
        actions = {ModalAnswer::chooseFile(m_work.filePath("pipe.pem")),
                   ModalAnswer::clickButtonWithText(QStringLiteral("取消"))};
    }
#endif
    ModalAnswer answer(actions << ModalAnswer::closeWindow());
    click(shown.get(), chooser);
    QCOMPARE(answer.answeredCount(), actions.size() - 1);
    QCOMPARE(snapshot(shown.get()), before);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("unchanged"));
#ifndef Q_OS_WIN
    QVERIFY(endLoadsOfPipe("pipe.pem"));
#endif
    if (cancelledIn == "load")
        return; // the file dialog starts where the pipe is
    // The file stays remembered even though its password was not given.
    QCOMPARE(fileDialogStart(), inPasswordBox ? m_work.filePath("cert.p12") : earlier);
}

void TestShell::firstChooserStartsInTheWorkingFolder_data()
{
    QTest::addColumn<bool>("portable");
    QTest::newRow("portable: the executable's folder") << true;
    QTest::newRow("installed: the merchant's data folder") << false;
}

void TestShell::firstChooserStartsInTheWorkingFolder()
{
    QFETCH(bool, portable);
    // An installed program's folder may not be written; a plain file stands in for it.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QVERIFY(portable || (writeFile("plain-file", "x") && QDir().mkpath(data)));
    WorkingFolder::setApplicationFolder(portable ? QString() : m_work.filePath("plain-file/bin"));
    QWidget parent;
    parent.show();
    QString startedIn;
    ModalAnswer answer([&startedIn](QWidget* modal) {
        startedIn = qobject_cast<QFileDialog*>(modal)->directory().absolutePath();
        ModalAnswer::cancelFileDialog()(modal);
    });
    QString path, displayName, password;
    KeyFileKind kind = KeyFilePkcs12;
    const bool chosen = chooseKeyFile(&parent, &path, &displayName, &kind, &password);
    WorkingFolder::setApplicationFolder(m_work.path());
    QVERIFY(!chosen);
    QCOMPARE(QDir(startedIn).canonicalPath(),
             QDir(portable ? QCoreApplication::applicationDirPath() : data).canonicalPath());
}

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
