#ifndef TOOLS_TOOLDIALOG_H
#define TOOLS_TOOLDIALOG_H

#include "app/stackpage.h"
#include "signengine/signengine.h"

#include <functional>
#include <initializer_list>
#include <memory>

class QLabel;
class QPlainTextEdit;

// What the sign/verify, encrypt/decrypt and certificate information windows add to a page of the page stack: one
// SignEngine, a local key or certificate file chosen and loaded into it, and the checks that an operation has its
// file and its texts. Each window keeps its own form and slots.
class ToolDialog : public StackPage
{
    Q_OBJECT

public:
    ~ToolDialog() override;

protected:
    ToolDialog();

    // Called by the window's constructor right after its form is built: the page set-up, and the label that
    // shows the chosen file's name (empty while no file is loaded).
    void setUpToolWindow(QLabel* errorLabel, QLabel* fileNameLabel);

    // Lets the merchant choose a file and loads it off the GUI thread (the key derivation of a PKCS#12 file may
    // take a second, a file on a dead share for ever) into an engine of its own, which then replaces the window's
    // whether the load succeeded or not: after a failed load no key of the previous file is left. Then a failure,
    // with the code for its "%1", shows in the error line, and the name label is cleared unless
    // keepNameOnFailure; a loaded file shows its name, clears the error line and runs whenLoaded. A cancelled file
    // dialog, password box or load changes nothing.
    void chooseAndLoad(const QString& failure, bool keepNameOnFailure, std::function<void()> whenLoaded);

    struct Required
    {
        const QPlainTextEdit* edit;
        QString missing; // shown when the edit is empty
    };
    // Whether an operation has what it needs: a loaded file (otherwise noFile shows in the error line), then
    // each edit in turn non-empty (otherwise its missing text shows).
    bool hasInput(const QString& noFile, std::initializer_list<Required> required);

    // Shared with the work that uses it, which a closed window does not wait for.
    std::shared_ptr<SignEngine> engine;

private:
    QLabel* nameLabel = nullptr;
};

#endif // TOOLS_TOOLDIALOG_H
