#include "textfit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextDocument>
#include <QtMath>

namespace {

// Width and height that the lines of a plain text need in one font, without wrapping.
QSize plainTextSize(const QFontMetrics& metrics, const QString& text)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    int width = 0;
    for (const QString& line : lines)
        width = qMax(width, metrics.horizontalAdvance(line));
    return QSize(width, metrics.height() + (lines.size() - 1) * metrics.lineSpacing());
}

// Fonts differ between systems (this machine's CJK font is not Windows' own), so a text must leave at least half
// a CJK character of its line free; one that fits only to the pixel here can be cut elsewhere.
int spareWidth(const QFontMetrics& metrics)
{
    return metrics.horizontalAdvance(QChar(0x4E2D)) / 2;
}

QString describe(const QWidget* widget, const QString& text, const QSize& needed, const QRect& room)
{
    return QStringLiteral("%1 \"%2\" needs %3x%4, has %5x%6")
        .arg(widget->objectName(), QString(text).replace(QLatin1Char('\n'), QLatin1String("\\n")))
        .arg(needed.width())
        .arg(needed.height())
        .arg(room.width())
        .arg(room.height());
}

QRect buttonTextRoom(QAbstractButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    QStyle::SubElement element = QStyle::SE_PushButtonContents;
    if (qobject_cast<QRadioButton*>(button))
        element = QStyle::SE_RadioButtonContents;
    else if (qobject_cast<QCheckBox*>(button))
        element = QStyle::SE_CheckBoxContents;
    QRect room = button->style()->subElementRect(element, &option, button);
    if (!button->icon().isNull())
        room.setLeft(room.left() + button->iconSize().width() + 4);
    return room;
}

QRect labelTextRoom(const QLabel* label)
{
    QRect room = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(), -label->margin());
    // A label with a frame indents its text by half the font's "x" width unless told otherwise.
    int indent = label->indent();
    if (indent < 0)
        indent = label->frameWidth() > 0 ? label->fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2 : 0;
    if (indent > 0) {
        const Qt::Alignment align = label->alignment();
        if (align & Qt::AlignLeft)
            room.setLeft(room.left() + indent);
        if (align & Qt::AlignRight)
            room.setRight(room.right() - indent);
    }
    return room;
}

QSize labelTextSize(const QLabel* label, const QRect& room)
{
    const QString text = label->text();
    const bool rich =
        label->textFormat() == Qt::RichText || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
    if (rich) {
        QTextDocument document;
        document.setDefaultFont(label->font());
        document.setDocumentMargin(0);
        document.setHtml(text);
        if (label->wordWrap())
            document.setTextWidth(room.width());
        return QSize(qCeil(label->wordWrap() ? document.size().width() : document.idealWidth()),
                     qCeil(document.size().height()));
    }
    const QFontMetrics metrics = label->fontMetrics();
    if (label->wordWrap())
        return metrics.boundingRect(QRect(0, 0, room.width(), 100000), Qt::TextWordWrap | label->alignment(), text)
            .size();
    return plainTextSize(metrics, text);
}

} // namespace

QString textsThatDoNotFit(QWidget* window)
{
    QStringList cut;
    const auto buttons = window->findChildren<QAbstractButton*>();
    for (QAbstractButton* button : buttons) {
        if (!button->isVisibleTo(window) || button->text().isEmpty())
            continue;
        const QRect room = buttonTextRoom(button);
        // Mnemonic ampersands are not drawn.
        const QString shown = QString(button->text()).remove(QLatin1Char('&'));
        const QSize needed = plainTextSize(button->fontMetrics(), shown);
        if (needed.width() + spareWidth(button->fontMetrics()) > room.width() || needed.height() > room.height())
            cut << describe(button, button->text(), needed, room);
    }
    const auto labels = window->findChildren<QLabel*>();
    for (QLabel* label : labels) {
        if (!label->isVisibleTo(window) || label->text().isEmpty())
            continue;
        const QRect room = labelTextRoom(label);
        const QSize needed = labelTextSize(label, room);
        const int spare = label->wordWrap() ? 0 : spareWidth(label->fontMetrics());
        if (needed.width() + spare > room.width() || needed.height() > room.height())
            cut << describe(label, label->text(), needed, room);
    }
    return cut.join(QLatin1Char('\n'));
}
