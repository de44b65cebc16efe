#ifndef APP_STACKPAGE_H
#define APP_STACKPAGE_H

#include <QDialog>

class QLabel;
class QPlainTextEdit;

// What the pages of the page stack share. Only one window of the program is ever visible, so closing a page asks
// before the program ends (confirmExit), and Escape, which would hide a dialog and leave nothing on screen, closes
// the page the same way. A page reports in one red error line, copies to the clipboard with the "复制成功" notice,
// pastes from it and goes back through the page stack; each page keeps its own form and slots.
class StackPage : public QDialog
{
    Q_OBJECT

public slots:
    void reject() override;

protected:
    explicit StackPage(QWidget* parent = nullptr);

    // Called by the page's constructor once its form is built: the common window set-up and the red error line.
    void setUpPage(QLabel* errorLabel);
    // Shows text in the error line; the empty text clears it.
    void showMessage(const QString& text);
    // Puts a non-empty text on the clipboard and says so; an empty text does nothing at all.
    void copyWithNotice(const QString& text);
    // Replaces the edit's content with the clipboard's text; an empty clipboard changes nothing.
    void pasteInto(QPlainTextEdit* edit);

    void closeEvent(QCloseEvent* event) override;

protected slots:
    void goBack();

private:
    QLabel* errorLabel = nullptr;
};

#endif // APP_STACKPAGE_H
