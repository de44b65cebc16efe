#ifndef TOOLS_TOOLDIALOG_H
#define TOOLS_TOOLDIALOG_H

#include "app/stackpage.h"
#include "signengine/signengine.h"

#include <functional>
#include <initializer_list>
#include <thread>
#include <vector>

class QLabel;
class QPlainTextEdit;

// What the sign/verify, encrypt/decrypt and certificate information windows add to a page of the page stack: one
// SignEngine, a local key or certificate file chosen and loaded into it, the checks that an operation has its
// file and its texts, and long work run off the GUI thread with a progress box. Each window keeps its own form
// and slots.
class ToolDialog : public StackPage
{
    Q_OBJECT

public:
    ~ToolDialog() override;

    // How long work may take before its progress box appears; below it nothing new shows. Tests shorten it.
    static int progressDelayMs;

protected:
    ToolDialog();

    // Called by the window's constructor right after its form is built: the page set-up, and the label that
    // shows the chosen file's name (empty while no file is loaded).
    void setUpToolWindow(QLabel* errorLabel, QLabel* fileNameLabel);

    // Lets the merchant choose a file and loads it into the engine. False when the file dialog, the password
    // box or the loading was cancelled (nothing has changed), or when the load failed: failure, with the code
    // for its "%1", shows in the error line, and the name label is cleared unless keepNameOnFailure. True when
    // the file was loaded: its name shows and the error line is cleared. The file is loaded off the GUI thread
    // (the key derivation of a PKCS#12 file may take a second) into an engine of its own, which then replaces
    // the window's, whether the load succeeded or not: after a failed load no key of the previous file is left.
    bool chooseAndLoad(const QString& failure, bool keepNameOnFailure = false);

    struct Required
    {
        const QPlainTextEdit* edit;
        QString missing; // shown when the edit is empty
    };
    // Whether an operation has what it needs: a loaded file (otherwise noFile shows in the error line), then
    // each edit in turn non-empty (otherwise its missing text shows).
    bool hasInput(const QString& noFile, std::initializer_list<Required> required);

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
    // The page's paste, through showText and under a BusyScope: megabytes of text take a moment to lay out.
    void pasteInto(QPlainTextEdit* edit);
    // Replaces the edit's content with text, quicker than setPlainText alone for megabytes of it.
    static void showText(QPlainTextEdit* edit, const QString& text);

    class BusyScope;

    SignEngine engine;

private:
    void joinAbandonedWork();

    QLabel* nameLabel = nullptr;
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
