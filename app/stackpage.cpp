#include "app/stackpage.h"

#include "app/backgroundwork.h"
#include "app/pagestack.h"
#include "app/textbox.h"
#include "app/windowsetup.h"
#include "app/zvmessagebox.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>

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

void StackPage::pasteInto(TextBox* box)
{
    const QString text = QGuiApplication::clipboard()->text(QClipboard::Clipboard);
    if (!text.isEmpty())
        box->showText(text);
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
