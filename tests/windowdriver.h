#ifndef TESTS_WINDOWDRIVER_H
#define TESTS_WINDOWDRIVER_H

#include "modalanswer.h"

#include <QString>
#include <QStringList>
#include <memory>

class QWidget;

// Drives a window as a merchant does: its widgets by object name, the page stack, the modal boxes.

// The child of window with that object name. A name the window does not have ends the test program with that
// name: a test that cannot find its widget cannot go on.
QWidget* widget(QWidget* window, const QString& name);
// Clicks the widget, and waits for the work that the click starts in the background, if any, to end.
void click(QWidget* window, const QString& name);
// Clicks the widget while actions answer, in order, the modal windows that the click opens; how many were answered.
// (A last ModalAnswer::closeWindow() catches a window beyond those expected.)
int clickAnswering(QWidget* window, const QString& name, const QVector<ModalAnswer::Action>& actions);
// The text of a label, button, line edit or plain-text edit.
QString text(QWidget* window, const QString& name);
// Replaces the text of a line edit or plain-text edit.
void setText(QWidget* window, const QString& name, const QString& text);
// The visible window of the page stack.
QWidget* stackTop();
// What a merchant can see of a window: for every child of its form, its name, whether it is visible, enabled and
// checked, its text.
QString snapshot(QWidget* window);
// Ends a GUI test: every top-level window hidden, the windows that the page stack let go deleted, the start of the
// file dialogs forgotten, the clipboard emptied.
void closeAllWindows();

#ifndef Q_OS_WIN
// A named pipe that nobody writes: a load of it waits until endLoadsOfPipe.
bool makePipe(const QString& path);
// Writers come and go until no cancelled load is left running (a PEM file may be opened twice); false if one is
// left after some seconds.
bool endLoadsOfPipe(const QString& path);
#endif

// Answers a ZVMessageBox with the button of that text; its message goes to seen, texts that are cut to cut.
ModalAnswer::Action answerBox(const QString& buttonText, QStringList* seen, QStringList* cut = nullptr);
// Answers the password box with password, or cancels it when password is null.
ModalAnswer::Action answerPassword(const QString& password);

// Every window of the program by a name of its own: the main window, the wizard's pages, the history, the tool
// windows and each kind of message box.
QStringList everyWindow();
// A fresh window of that name (see everyWindow), not shown.
std::unique_ptr<QWidget> makeWindow(const QString& name);

#endif // TESTS_WINDOWDRIVER_H
