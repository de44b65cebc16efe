#ifndef TESTS_MODALANSWER_H
#define TESTS_MODALANSWER_H

#include <QString>
#include <functional>
#include <memory>

class QWidget;

// Answers the next modal window from a timer: re-arms a short single shot until
// QApplication::activeModalWidget() is there, then hands it to the action. Arm it before the call that
// opens the window. The action runs once; wasAnswered() tells whether it did.
class ModalAnswer
{
public:
    using Action = std::function<void(QWidget* modal)>;

    explicit ModalAnswer(Action action, int timeoutMs = 5000);
    ~ModalAnswer();
    ModalAnswer(const ModalAnswer&) = delete;
    ModalAnswer& operator=(const ModalAnswer&) = delete;

    bool wasAnswered() const;
    QString seenTitle() const;

    // Common actions.
    static Action clickButtonWithText(const QString& text);
    static Action clickButtonNamed(const QString& objectName);
    static Action typeAndClick(const QString& input, const QString& buttonObjectName);
    static Action pressEscape();
    static Action closeWindow();
    // For a QFileDialog: select the file (or directory) and accept.
    static Action chooseFile(const QString& path);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

#endif // TESTS_MODALANSWER_H
