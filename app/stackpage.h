#ifndef APP_STACKPAGE_H
#define APP_STACKPAGE_H

#include <QDialog>

class BackgroundWork;
class QLabel;
class TextBox;

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
    // Replaces the box's content with the clipboard's text; an empty clipboard changes nothing.
    void pasteInto(TextBox* box);
    // The page's long work, run off the GUI thread while the page waits disabled.
    BackgroundWork* background() const { return work; }

    void closeEvent(QCloseEvent* event) override;

protected slots:
    // Nothing happens while the page works: no press may take away a page whose work is under way.
    void goBack();

private:
    QLabel* errorLabel = nullptr;
    BackgroundWork* work;
};

#endif // APP_STACKPAGE_H
