#ifndef TESTS_MODALANSWER_H
#define TESTS_MODALANSWER_H

#include <QString>
#include <QVector>
#include <functional>
#include <memory>

class QWidget;

// Answers the next modal windows from a timer: re-arms a short single shot until
// QApplication::activeModalWidget() is there, then hands it to the next action. Arm it before the call that
// opens the window. Each action answers one modal window, in order (a file dialog, then the password box it
// leads to). A window that is still open two seconds after its action ran could not be answered: it is closed
// and the running test fails, so a broken answer costs seconds, never a hung test program.
class ModalAnswer
{
public:
    using Action = std::function<void(QWidget* modal)>;

    explicit ModalAnswer(Action action, int timeoutMs = 5000);
    explicit ModalAnswer(QVector<Action> actions, int timeoutMs = 5000);
    ~ModalAnswer();
    ModalAnswer(const ModalAnswer&) = delete;
    ModalAnswer& operator=(const ModalAnswer&) = delete;

    // True once the first action ran; answeredCount() tells how many did.
    bool wasAnswered() const;
    int answeredCount() const;
    // True if a window stayed open after its action (it was closed and the test failed).
    bool failed() const;
    // Title of the first window answered.
    QString seenTitle() const;

    // Common actions.
    static Action clickButtonWithText(const QString& text);
    static Action clickButtonNamed(const QString& objectName);
    static Action typeAndClick(const QString& input, const QString& buttonObjectName);
    static Action pressEscape();
    static Action closeWindow();
    // For a QFileDialog: choose the file (or, for a directory dialog, the directory) and accept, whatever
    // widget of the dialog has the focus.
    static Action chooseFile(const QString& path);
    // For a QFileDialog: cancel it.
    static Action cancelFileDialog();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

#endif // TESTS_MODALANSWER_H
