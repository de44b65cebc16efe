#ifndef TOOLS_TOOLDIALOG_H
#define TOOLS_TOOLDIALOG_H

#include "signengine/signengine.h"

#include <QDialog>

class QLabel;
class QPlainTextEdit;

// What the sign/verify, encrypt/decrypt and certificate information windows have in common: a page of the page
// stack that owns one SignEngine, reports everything in one red error label, chooses and loads a local key or
// certificate file, pastes from and copies to the clipboard (with the "复制成功" notice), goes back through the
// page stack and asks before a close ends the program. Each window keeps its own form and slots.
class ToolDialog : public QDialog
{
    Q_OBJECT

public:
    ~ToolDialog() override;

protected:
    ToolDialog();

    // Called by the window's constructor right after its form is built: the common window set-up and the red
    // error label.
    void setUpToolWindow(QLabel* errorLabel);

    // Lets the merchant choose a file and loads it into the engine. False when the file dialog or the password
    // box was cancelled: nothing has changed. Otherwise the file's name is shown in nameLabel and result is the
    // code of the load.
    bool chooseAndLoad(QLabel* nameLabel, int& result);

    // The edit's text exactly as it stands, with a line feed between lines. QPlainTextEdit::toPlainText() turns
    // no-break spaces into spaces and line separators into line feeds, so a text signed, encrypted or copied
    // through it would not be the one the merchant sees.
    static QString editText(const QPlainTextEdit* edit);
    // Replaces the edit's content with the clipboard's text; an empty clipboard changes nothing.
    void pasteInto(QPlainTextEdit* edit);
    // Puts a non-empty text on the clipboard and says so; an empty text does nothing at all.
    void copyWithNotice(const QString& text);
    void goBack();

    // Shows a message in the error label; the empty text clears it.
    void showMessage(const QString& text);

    void closeEvent(QCloseEvent* event) override;
    // Escape would hide the only visible window without asking; it asks like the title bar's close button.
    void reject() override;

    class BusyScope;

    SignEngine engine;

private:
    QLabel* errorLabel = nullptr;
};

// Lives around an engine call that may take long (megabytes of text): the window shows a wait cursor, and the
// clicks and keys that reach it meanwhile are dropped instead of running an operation a second time once the
// first has returned. The engine call itself stays in the slot, on the GUI thread.
class ToolDialog::BusyScope : public QObject
{
public:
    explicit BusyScope(QWidget* window);
    ~BusyScope() override;
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window;
};

#endif // TOOLS_TOOLDIALOG_H
