#include "tools/tooldialog.h"

#include "app/filechooser.h"
#include "app/pagestack.h"
#include "app/windowsetup.h"
#include "app/zvmessagebox.h"
#include "crypto/keyfilekind.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QLabel>
#include <QPalette>
#include <QPlainTextEdit>
#include <QTextDocument>

ToolDialog::ToolDialog() : QDialog(nullptr) {}

ToolDialog::~ToolDialog() = default;

void ToolDialog::setUpToolWindow(QLabel* label)
{
    setupWindow(this, false);
    errorLabel = label;
    QPalette palette = errorLabel->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setBrush(group, errorLabel->foregroundRole(), QBrush(Qt::red, Qt::SolidPattern));
    errorLabel->setPalette(palette);
}

bool ToolDialog::chooseAndLoad(QLabel* nameLabel, int& result)
{
    QString path, displayName, password;
    KeyFileKind kind = KeyFilePkcs12;
    if (!chooseCertFile(this, &path, &displayName, &kind, &password))
        return false;
    nameLabel->setText(displayName);
    engine.fileKind = kind;
    BusyScope busy(this);
    result = engine.loadKeyFile(path.toUtf8(), password.toUtf8());
    return true;
}

QString ToolDialog::editText(const QPlainTextEdit* edit)
{
    QString text = edit->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

void ToolDialog::pasteInto(QPlainTextEdit* edit)
{
    const QString text = QGuiApplication::clipboard()->text(QClipboard::Clipboard);
    if (text.isEmpty())
        return;
    BusyScope busy(this); // megabytes of text take a moment to lay out
    edit->setPlainText(text);
}

void ToolDialog::copyWithNotice(const QString& text)
{
    if (text.isEmpty())
        return;
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
    ZVMessageBox notice(QStringLiteral("提示"), QStringLiteral("复制成功"), QStringLiteral("确定"), QString(), false);
    notice.run(this);
}

void ToolDialog::goBack()
{
    PageStack::instance()->back();
}

void ToolDialog::showMessage(const QString& text)
{
    errorLabel->setText(text);
}

void ToolDialog::closeEvent(QCloseEvent* event)
{
    confirmExit(this, event);
}

void ToolDialog::reject()
{
    close();
}

ToolDialog::BusyScope::BusyScope(QWidget* window) : window(window)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    qApp->installEventFilter(this);
    // Let the cursor and any pending repaint show before the event loop stalls.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

ToolDialog::BusyScope::~BusyScope()
{
    // Input that queued up while the engine worked arrives now and is dropped by the filter; pending layout and
    // painting of what the slot showed happen here too, still under the wait cursor.
    QCoreApplication::processEvents();
    qApp->removeEventFilter(this);
    QApplication::restoreOverrideCursor();
}

bool ToolDialog::BusyScope::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd: {
        auto* widget = qobject_cast<QWidget*>(watched);
        return widget && widget->window() == window;
    }
    default:
        return false;
    }
}
