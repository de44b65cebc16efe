#include "app/stackpage.h"

#include "app/backgroundwork.h"
#include "app/pagestack.h"
#include "app/windowsetup.h"
#include "app/zvmessagebox.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>

namespace {

// More characters than the pages' edits show without scrolling, whatever the text.
constexpr int kSurelyScrolls = 64 * 1024;

} // namespace

StackPage::StackPage(QWidget* parent) : QDialog(parent), work(new BackgroundWork(this)) {}

void StackPage::setUpPage(QLabel* label)
{
    setupWindow(this, false);
    errorLabel = label;
    QPalette palette = errorLabel->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setBrush(group, errorLabel->foregroundRole(), QBrush(Qt::red, Qt::SolidPattern));
    errorLabel->setPalette(palette);
}

void StackPage::showMessage(const QString& text)
{
    errorLabel->setText(text);
}

void StackPage::copyWithNotice(const QString& text)
{
    if (text.isEmpty())
        return;
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
    ZVMessageBox notice(QStringLiteral("提示"), QStringLiteral("复制成功"), QStringLiteral("确定"), QString(), false);
    notice.run(this);
}

void StackPage::pasteInto(QPlainTextEdit* edit)
{
    const QString text = QGuiApplication::clipboard()->text(QClipboard::Clipboard);
    if (!text.isEmpty())
        showText(edit, text);
}

// Qt lays a long line out whole, and once more when the scroll bar that it needs appears. A text that surely
// needs one gets it from the start, which halves the wait for megabytes of text; a shorter one is shown as ever.
void StackPage::showText(QPlainTextEdit* edit, const QString& text)
{
    const bool scrolls = text.size() > kSurelyScrolls;
    if (scrolls)
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit->setPlainText(text);
    if (!scrolls)
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void StackPage::goBack()
{
    if (work->isRunning())
        return;
    PageStack::instance()->back();
}

void StackPage::closeEvent(QCloseEvent* event)
{
    confirmExit(this, event);
}

void StackPage::reject()
{
    close();
}
