#include "wizard/wizardpage.h"

#include "app/windowsetup.h"

#include <QCloseEvent>
#include <QLabel>

WizardPage::WizardPage(QWidget* parent) : QDialog(parent) {}

void WizardPage::reject()
{
    close();
}

void WizardPage::closeEvent(QCloseEvent* event)
{
    confirmExit(this, event);
}

void WizardPage::makeErrorLabel(QLabel* label)
{
    QPalette palette = label->palette();
    const QBrush red(Qt::red, Qt::SolidPattern);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setBrush(group, QPalette::WindowText, red);
    label->setPalette(palette);
}
