#ifndef APP_TEXTBOX_H
#define APP_TEXTBOX_H

#include <QPlainTextEdit>

#include <memory>

// The program's plain-text box, for texts of megabytes as well. Qt lays out a paragraph whole on the GUI thread
// (seconds for a Base64 text of a few MiB, which is one paragraph), while it lays out only the paragraphs in view.
// So showText shows a paragraph longer than a piece as pieces, each but the first marked as joining the one before
// it; text() and what is copied or dragged out of the box join them again, so what is read is what was shown.
// The only visible trace is a shorter line where one piece ends. Putting megabytes into a document takes a while
// too, so work that ends in a text of megabytes makes the document on its own thread, and the box only takes it;
// and the box keeps the text it was given beside the document, so reading it back costs nothing until it is edited.
class TextBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit TextBox(QWidget* parent = nullptr);

    // A document made on any thread and handed to the GUI thread; one that is never shown is deleted there.
    struct DeleteLater
    {
        void operator()(QTextDocument* document) const { document->deleteLater(); }
    };
    using Document = std::unique_ptr<QTextDocument, DeleteLater>;

    // A document of text as the box shows it, made on any thread. A text shown in pieces has no undo: Qt's undo
    // would bring a removed piece back as a paragraph of its own, and with it a line break the text never had.
    static Document documentOf(const QString& text);
    // Replaces the content with a document made by documentOf.
    void showDocument(Document document);
    // Replaces the content with text.
    void showText(const QString& text);

    // The text exactly as it stands, with a line feed between paragraphs. toPlainText() would turn no-break spaces
    // into spaces and line separators into line feeds, and would break the text where a piece ends.
    QString text() const;

protected:
    // At the seam of two pieces there is no character: Backspace and Delete take the one beyond it.
    void keyPressEvent(QKeyEvent* event) override;
    QMimeData* createMimeDataFromSelection() const override;
    // A paste that replaces the whole content with a text of overlong paragraphs shows it as showText does.
    void insertFromMimeData(const QMimeData* source) override;
};

#endif // APP_TEXTBOX_H
