#include "windowdriver.h"

#include "app/backgroundwork.h"
#include "app/mainwindow.h"
#include "app/pagestack.h"
#include "app/textbox.h"
#include "app/zvmessagebox.h"
#include "certengine/certengine.h"
#include "history/dialog_opt_history.h"
#include "textfit.h"
#include "tools/dialog_certinfo_1.h"
#include "tools/dialog_certsign_main.h"
#include "tools/dialog_rsa_crypt.h"
#include "wizard/dialog_getcsr_1.h"
#include "wizard/dialog_importcert_1.h"
#include "wizard/dialog_importcert_2.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include <functional>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

QWidget* widget(QWidget* window, const QString& name)
{
    QWidget* found = window->objectName() == name ? window : window->findChild<QWidget*>(name);
    if (!found)
        qFatal("%s has no widget %s", qPrintable(window->objectName()), qPrintable(name));
    return found;
}

void click(QWidget* window, const QString& name)
{
    QWidget* const target = widget(window, name);
    QPoint at = target->rect().center();
    // A radio button takes clicks on its circle and its text only, not on the rest of its width: click there, as a
    // merchant does, whatever width the font gives the text.
    if (auto* radio = qobject_cast<QRadioButton*>(target)) {
        QStyleOptionButton option;
        option.initFrom(radio);
        option.text = radio->text();
        at = radio->style()->subElementRect(QStyle::SE_RadioButtonClickRect, &option, radio).center();
    }
    QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, at);
    // Work that the click started runs while the window waits disabled; the click is done when it ends.
    QPointer<QWidget> clicked(window);
    if (!QTest::qWaitFor([&] { return !clicked || clicked->isEnabled(); }, 20000))
        qWarning("the work that %s started has not ended", qPrintable(name));
}

namespace {

QString textOf(const QWidget* widget)
{
    if (auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    if (auto* edit = qobject_cast<const QLineEdit*>(widget))
        return edit->text();
    if (auto* box = qobject_cast<const TextBox*>(widget))
        return box->text();
    return QString();
}

} // namespace

QString text(QWidget* window, const QString& name)
{
    return textOf(widget(window, name));
}

void setText(QWidget* window, const QString& name, const QString& text)
{
    QWidget* edit = widget(window, name);
    if (auto* line = qobject_cast<QLineEdit*>(edit))
        line->setText(text);
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(edit))
        plain->setPlainText(text);
    else
        qFatal("%s is no text edit", qPrintable(name));
}

int clickAnswering(QWidget* window, const QString& name, const QVector<ModalAnswer::Action>& actions)
{
    const ModalAnswer answer(actions);
    click(window, name);
    return answer.answeredCount();
}

QWidget* stackTop()
{
    return PageStack::instance()->windowAt(PageStack::instance()->currentIndex());
}

QString snapshot(QWidget* window)
{
    QString seen;
    const auto children = window->findChildren<QWidget*>();
    for (const QWidget* child : children) {
        if (child->objectName().isEmpty() || child->objectName().startsWith("qt_"))
            continue; // Qt's own parts, such as scroll bars that come and go with the layout
        const auto* button = qobject_cast<const QAbstractButton*>(child);
        seen += QStringLiteral("%1 %2%3%4 %5\n")
                    .arg(child->objectName())
                    .arg(int(child->isVisibleTo(window)))
                    .arg(int(child->isEnabled()))
                    .arg(int(button && button->isChecked()))
                    .arg(textOf(child));
    }
    return seen;
}

void closeAllWindows()
{
    if (PageStack::instance()->windowAt(0))
        PageStack::instance()->home();
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        window->hide();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    CertEngine::instance()->lastPath.clear();
    QGuiApplication::clipboard()->clear();
}

#ifndef Q_OS_WIN
bool makePipe(const QString& path)
{
    return QFile::exists(path) || mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

bool endLoadsOfPipe(const QString& path)
{
    return QTest::qWaitFor([&] {
        const int writer = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
        return BackgroundWork::abandonedRunning() == 0;
    });
}
#endif

ModalAnswer::Action answerBox(const QString& buttonText, QStringList* seen, QStringList* cut)
{
    return [=](QWidget* box) {
        if (auto* message = box->findChild<QLabel*>(QStringLiteral("msgLabel")))
            *seen << message->text();
        if (cut && !textsThatDoNotFit(box).isEmpty())
            *cut << textsThatDoNotFit(box);
        ModalAnswer::clickButtonWithText(buttonText)(box);
    };
}

ModalAnswer::Action answerPassword(const QString& password)
{
    if (password.isNull())
        return ModalAnswer::clickButtonWithText(QStringLiteral("取消"));
    return ModalAnswer::typeAndClick(password, QStringLiteral("okBtn"));
}

namespace {

using Factory = std::function<QWidget*()>;

const QVector<QPair<QString, Factory>>& windows()
{
    static const QVector<QPair<QString, Factory>> list{
        {"main window", [] { return new MainWindow; }},
        {"request page", [] { return new Dialog_GetCSR_1; }},
        {"request page, change mode",
         [] {
             auto* page = new Dialog_GetCSR_1;
             page->setChangeMode();
             return page;
         }},
        {"import page", [] { return new Dialog_ImportCert_1; }},
        {"finish page", [] { return new Dialog_ImportCert_2; }},
        {"history", [] { return new Dialog_Opt_History; }},
        {"sign/verify", [] { return new Dialog_CertSign_Main; }},
        {"encrypt/decrypt", [] { return new Dialog_RSA_Crypt; }},
        {"certificate information", [] { return new Dialog_CertInfo_1; }},
        {"notice", [] { return new ZVMessageBox("提示", "复制成功", "确定", QString(), false); }},
        {"exit question", [] { return new ZVMessageBox("提示", "确定退出程序？", "退出", "取消", false); }},
        {"clear question",
         [] { return new ZVMessageBox("是否清空", "确定清空操作历史吗？清空不可恢复", "清空", "取消", false); }},
        {"password", [] { return new ZVMessageBox("证书密码", "请输入证书密码", "确定", "取消", true); }},
    };
    return list;
}

} // namespace

QStringList everyWindow()
{
    QStringList names;
    for (const auto& entry : windows())
        names << entry.first;
    return names;
}

std::unique_ptr<QWidget> makeWindow(const QString& name)
{
    for (const auto& entry : windows()) {
        if (entry.first == name)
            return std::unique_ptr<QWidget>(entry.second());
    }
    qFatal("no window named %s", qPrintable(name));
}
