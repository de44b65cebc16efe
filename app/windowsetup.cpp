#include "app/windowsetup.h"

#include "app/zvmessagebox.h"

#include <QCloseEvent>
#include <QDialog>
#include <QIcon>
#include <QWidget>

namespace {

constexpr char kProductTitle[] = "Zorvik商户平台证书工具";
constexpr char kVersionText[] = "v1.0.0";

} // namespace

// The icon lives in a static library, whose resource initialiser the linker would drop unless referenced.
// Q_INIT_RESOURCE declares the initialiser in the enclosing namespace, so this stays outside the anonymous one.
static void ensureResources()
{
    static const bool loaded = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    Q_UNUSED(loaded);
}

void setupWindow(QWidget* window, bool withTitle)
{
    ensureResources();
    window->setWindowFlags(Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    window->setFixedSize(window->width(), window->height());
    window->setWindowIcon(QIcon(QStringLiteral(":/icon/app_icon_zv.ico")));
    if (withTitle)
        window->setWindowTitle(QString::fromUtf8(kProductTitle) + QLatin1Char(' ') + QString::fromUtf8(kVersionText));
}

void centreOver(QWidget* window, QWidget* parent)
{
    const QRect area = parent->geometry();
    const QPoint topLeft(area.left() + (area.width() - window->width()) / 2,
                         area.top() + (area.height() - window->height()) / 2);
    window->setGeometry(QRect(topLeft, window->size()));
}

bool runCentred(QDialog* dialog, QWidget* parent)
{
    if (parent)
        centreOver(dialog, parent);
    return dialog->exec() == QDialog::Accepted;
}

void confirmExit(QWidget* window, QCloseEvent* event)
{
    ZVMessageBox box(QStringLiteral("提示"), QStringLiteral("确定退出程序？"), QStringLiteral("退出"),
                     QStringLiteral("取消"), false);
    if (box.run(window))
        event->accept();
    else
        event->ignore();
}
