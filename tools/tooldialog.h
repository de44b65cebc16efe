#ifndef TOOLS_TOOLDIALOG_H
#define TOOLS_TOOLDIALOG_H

#include "signengine/signengine.h"

#include <QDialog>

#include <functional>
#include <thread>
#include <vector>

class QLabel;
class QPlainTextEdit;

// What the sign/verify, encrypt/decrypt and certificate information windows have in common: a page of the page
// stack that owns one SignEngine, reports everything in one red error label, chooses and loads a local key or
// certificate file, pastes from and copies to the clipboard (with the "复制成功" notice), runs long work off the
// GUI thread with a progress box, goes back through the page stack and asks before a close ends the program.
// Each window keeps its own form and slots.
class ToolDialog : public QDialog
{
    Q_OBJECT

public:
    ~ToolDialog() override;

    // How long work may take before its progress box appears; below it nothing new shows. Tests shorten it.
    static int progressDelayMs;

protected:
    ToolDialog();

    // Called by the window's constructor right after its form is built: the common window set-up and the red
    // error label.
    void setUpToolWindow(QLabel* errorLabel);

    // Lets the merchant choose a file and loads it into the engine. False when the file dialog, the password
    // box or the loading was cancelled: nothing has changed. Otherwise the file's name is shown in nameLabel and
    // result is the code of the load. The file is loaded aside, off the GUI thread (the key derivation of a
    // PKCS#12 file may take a second), and replaces the engine's key only once it has been read.
    bool chooseAndLoad(QLabel* nameLabel, int& result);

    // Runs work on a thread of its own and waits for it while the window goes on painting. Call it inside a
    // BusyScope, which drops the clicks and keys meant for the window, so that nothing starts a second operation
    // meanwhile. Once the work has taken longer than a moment, a modal progress box shows what (and with a
    // control the share of its blocks done) and offers "取消". Returns false when the merchant cancelled, or the
    // program is closing: work with a control has stopped by then; work without one cannot be stopped and is
    // left to end on its own, so it must own everything it touches, and what it produces is dropped.
    bool runInBackground(const QString& what, SignEngine::CryptControl* control, std::function<void()> work);
    // True while a BusyScope of this window lives. The slots that start work then do nothing: the input filter
    // stops clicks and keys, but not a press that arrives another way (a screen reader's press action).
    bool isWorking() const { return working; }

    // The edit's text exactly as it stands, with a line feed between lines. QPlainTextEdit::toPlainText() turns
    // no-break spaces into spaces and line separators into line feeds, so a text signed, encrypted or copied
    // through it would not be the one the merchant sees.
    static QString editText(const QPlainTextEdit* edit);
    // Replaces the edit's content with the clipboard's text; an empty clipboard changes nothing.
    void pasteInto(QPlainTextEdit* edit);
    // Replaces the edit's content with text, quicker than setPlainText alone for megabytes of it.
    static void showText(QPlainTextEdit* edit, const QString& text);
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
    void joinAbandonedWork();

    QLabel* errorLabel = nullptr;
    bool working = false;
    // Loads that were cancelled while the library still worked on them; they end by themselves.
    std::vector<std::thread> abandoned;
};

// Lives around work that may take long (megabytes of text, a slow key file): the window shows a wait cursor, and
// the clicks and keys that reach it meanwhile are dropped instead of starting a second operation, whether the
// work runs in the slot or on a thread of its own (runInBackground). Its progress box is a window of its own
// and keeps its input.
class ToolDialog::BusyScope : public QObject
{
public:
    explicit BusyScope(ToolDialog* window);
    ~BusyScope() override;
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ToolDialog* window;
    bool wasWorking;
};

#endif // TOOLS_TOOLDIALOG_H
