#include "app/textbox.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QPointer>
#include <QTextBlock>

#include <vector>

namespace {

// Characters in a piece. Laying out one takes a few milliseconds, and the box shows at most two at once.
constexpr int kPiece = 8192;

// The user state of a paragraph that continues the one before it.
constexpr int kJoinsPrevious = 1;

// The property of a document that holds the text it was made of, until the text is edited.
constexpr char kGivenText[] = "givenText";

// Where a text is cut into pieces: after kPiece characters of a paragraph, never inside a surrogate pair. And
// whether it has no paragraph break but line feeds, so that the document gives it back whole.
struct Pieces
{
    std::vector<int> cuts;
    bool lineFeedsOnly = true;
};

Pieces piecesOf(const QString& text)
{
    Pieces pieces;
    int run = 0; // characters of the paragraph so far
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        // What QTextCursor::insertText turns into a paragraph break.
        if (u == '\n' || u == '\r' || u == QChar::ParagraphSeparator || u == 0xfdd0 || u == 0xfdd1) {
            pieces.lineFeedsOnly = pieces.lineFeedsOnly && u == '\n';
            run = 0;
        } else if (run >= kPiece && !c.isLowSurrogate()) {
            pieces.cuts.push_back(i);
            run = 1;
        } else {
            ++run;
        }
    }
    return pieces;
}

// The text of raw, the document's characters from the position first on with a paragraph separator between
// paragraphs: a line feed between paragraphs, nothing where one continues the one before.
QString joined(const QTextDocument* document, int first, const QString& raw)
{
    QString text;
    text.reserve(raw.size());
    int from = 0;
    for (QTextBlock block = document->findBlock(first).next();
         block.isValid() && block.position() - first <= raw.size(); block = block.next()) {
        if (block.userState() == kJoinsPrevious) {
            const int seam = block.position() - 1 - first;
            text.append(raw.constData() + from, seam - from);
            from = seam + 1;
        }
    }
    text.append(raw.constData() + from, raw.size() - from);
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

TextBox::Document documentOf(const Pieces& pieces, const QString& text)
{
    TextBox::Document document(new QTextDocument);
    document->setUndoRedoEnabled(false);
    QTextCursor cursor(document.get());
    cursor.beginEditBlock();
    int from = 0;
    for (const int cut : pieces.cuts) {
        cursor.insertText(text.mid(from, cut - from));
        cursor.insertBlock();
        cursor.block().setUserState(kJoinsPrevious);
        from = cut;
    }
    cursor.insertText(from == 0 ? text : text.mid(from));
    cursor.endEditBlock();
    document->setUndoRedoEnabled(pieces.cuts.empty());
    if (pieces.lineFeedsOnly)
        document->setProperty(kGivenText, text);
    document->moveToThread(QCoreApplication::instance()->thread());
    return document;
}

} // namespace

TextBox::TextBox(QWidget* parent) : QPlainTextEdit(parent) {}

TextBox::Document TextBox::documentOf(const QString& text)
{
    return ::documentOf(piecesOf(text), text);
}

void TextBox::showDocument(Document document)
{
    // Laid out here: a paragraph of the document, or at most a piece, is all that is laid out at once.
    document->setDefaultFont(font());
    document->setDocumentLayout(new QPlainTextDocumentLayout(document.get()));
    document->setParent(this);
    QTextDocument* const given = document.get();
    connect(given, &QTextDocument::contentsChange, given, [given] { given->setProperty(kGivenText, QVariant()); });
    // Qt deletes the document it made itself; the ones shown before are the box's.
    const QPointer<QTextDocument> shown = this->document();
    setDocument(document.release());
    if (shown && shown->parent() == this)
        delete shown;
}

void TextBox::showText(const QString& text)
{
    showDocument(documentOf(text));
}

QString TextBox::text() const
{
    const QVariant given = document()->property(kGivenText);
    if (given.isValid())
        return given.toString();
    return joined(document(), 0, document()->toRawText());
}

void TextBox::keyPressEvent(QKeyEvent* event)
{
    QTextCursor seam = textCursor();
    const QTextBlock block = seam.block();
    const bool backspace = event->key() == Qt::Key_Backspace && !(event->modifiers() & ~Qt::ShiftModifier);
    if (!isReadOnly() && !seam.hasSelection()) {
        if (backspace && seam.atBlockStart() && block.userState() == kJoinsPrevious) {
            seam.setPosition(block.position() - 1);
            seam.deletePreviousChar();
            return;
        }
        if (event->matches(QKeySequence::Delete) && seam.atBlockEnd() && block.next().userState() == kJoinsPrevious) {
            seam.setPosition(block.next().position());
            seam.deleteChar();
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(event);
}

QMimeData* TextBox::createMimeDataFromSelection() const
{
    const QTextCursor cursor = textCursor();
    auto* data = new QMimeData;
    data->setText(joined(document(), cursor.selectionStart(), cursor.selectedText()));
    return data;
}

void TextBox::insertFromMimeData(const QMimeData* source)
{
    const QTextCursor cursor = textCursor();
    const bool replacesAll = cursor.selectionStart() == 0 && cursor.selectionEnd() == document()->characterCount() - 1;
    if (replacesAll && source->hasText()) {
        const QString text = source->text();
        const Pieces pieces = piecesOf(text);
        if (!pieces.cuts.empty()) {
            showDocument(::documentOf(pieces, text));
            moveCursor(QTextCursor::End);
            return;
        }
    }
    QPlainTextEdit::insertFromMimeData(source);
}
