#include "app/linklabel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QTextBlock>
#include <QTextDocument>

namespace {

class LinkLabelAccessible : public QAccessibleWidget
{
public:
    explicit LinkLabelAccessible(LinkLabel* label) : QAccessibleWidget(label, QAccessible::Link) {}

    QString text(QAccessible::Text kind) const override
    {
        QString text = QAccessibleWidget::text(kind);
        if (kind == QAccessible::Name && text.isEmpty()) {
            QTextDocument document;
            document.setHtml(label()->text());
            text = document.toPlainText().trimmed();
        }
        return text;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    // Queued, as Qt's buttons do: the link may open a modal dialog, and the caller (a screen reader, an
    // automation tool) waits for the action to return.
    void doAction(const QString& action) override
    {
        if (action != pressAction())
            return;
        LinkLabel* link = label();
        QMetaObject::invokeMethod(
            link, [link] { emit link->linkActivated(link->linkTarget()); }, Qt::QueuedConnection);
    }

private:
    LinkLabel* label() const { return static_cast<LinkLabel*>(widget()); }
};

QAccessibleInterface* linkLabelAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String("LinkLabel") && object && object->isWidgetType())
        return new LinkLabelAccessible(static_cast<LinkLabel*>(object));
    return nullptr;
}

} // namespace

LinkLabel::LinkLabel(QWidget* parent) : QLabel(parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(linkLabelAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setTextFormat(Qt::RichText);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    setFocusPolicy(Qt::StrongFocus);
}

QString LinkLabel::linkTarget() const
{
    QTextDocument document;
    document.setHtml(text());
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            const QTextCharFormat format = fragment.fragment().charFormat();
            if (format.isAnchor())
                return format.anchorHref();
        }
    }
    return QString();
}

void LinkLabel::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        event->accept();
        emit linkActivated(linkTarget());
        return;
    default:
        QLabel::keyPressEvent(event);
    }
}

bool LinkLabel::focusNextPrevChild(bool next)
{
    // One link, one tab stop: Tab leaves the label instead of stepping through its links.
    return QWidget::focusNextPrevChild(next);
}
