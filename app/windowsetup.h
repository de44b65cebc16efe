#ifndef APP_WINDOWSETUP_H
#define APP_WINDOWSETUP_H

class QCloseEvent;
class QDialog;
class QWidget;

// The set-up every window's constructor runs once its form is built: close button and stays-on-top hints only,
// the size the form gave it fixed, the application icon, and with withTitle the versioned product title.
void setupWindow(QWidget* window, bool withTitle);

// Moves window to the centre of parent's rectangle.
void centreOver(QWidget* window, QWidget* parent);

// Runs dialog modally, centred over parent's rectangle (a null parent leaves it where it is); true when it was
// accepted.
bool runCentred(QDialog* dialog, QWidget* parent);

// The close-event handler of every page: asks before the program ends, because only one window is visible.
void confirmExit(QWidget* window, QCloseEvent* event);

#endif // APP_WINDOWSETUP_H
