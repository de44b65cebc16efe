#ifndef WIZARD_WIZARDPAGE_H
#define WIZARD_WIZARDPAGE_H

#include <QDialog>

class QLabel;

// What the pages of the certificate wizard share. Only one window of the program is ever visible, so closing a
// page asks before the program ends (confirmExit), and Escape, which would hide a dialog and leave nothing on
// screen, closes the page the same way. Failures are shown in a red line.
class WizardPage : public QDialog
{
    Q_OBJECT

public:
    explicit WizardPage(QWidget* parent);

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

    // Draws the label's text in red, in every colour group.
    static void makeErrorLabel(QLabel* label);
};

#endif // WIZARD_WIZARDPAGE_H
