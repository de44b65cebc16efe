#include "app/zvmessagebox.h"

#include "app/windowsetup.h"
#include "forms/ui_zvmessagebox.h"

ZVMessageBox::ZVMessageBox(const QString& title, const QString& text, const QString& okText, const QString& cancelText,
                           bool inputMode)
    : QDialog(nullptr), ui(std::make_unique<Ui::ZVMessageBox>()), inputMode(inputMode)
{
    ui->setupUi(this);
    setupWindow(this, false);

    if (!title.isEmpty())
        setWindowTitle(title);

    if (inputMode) {
        ui->msgLabel->hide();
        ui->tipsLabel->setText(text);
        ui->lineEdit->setFocus(Qt::OtherFocusReason);
    } else {
        ui->lineEdit->hide();
        ui->tipsLabel->hide();
        ui->msgLabel->setWordWrap(true);
        ui->msgLabel->setText(text);
    }

    if (!okText.isEmpty())
        ui->okBtn->setText(okText);
    if (!cancelText.isEmpty()) {
        ui->cancelBtn->setText(cancelText);
    } else {
        // One button: the OK button takes over the whole button row. The covered cancel button is hidden too,
        // so that the keyboard cannot reach a button nobody sees.
        QRect wide = ui->okBtn->geometry();
        wide.setLeft(ui->cancelBtn->geometry().left());
        ui->okBtn->setGeometry(wide);
        ui->okBtn->raise();
        ui->cancelBtn->hide();
    }

    connect(ui->cancelBtn, &QPushButton::clicked, this, &ZVMessageBox::cancelBtnClick);
    connect(ui->okBtn, &QPushButton::clicked, this, &ZVMessageBox::okBtnClick);
}

ZVMessageBox::~ZVMessageBox() = default;

void ZVMessageBox::setEchoMode(QLineEdit::EchoMode mode)
{
    if (inputMode)
        ui->lineEdit->setEchoMode(mode);
}

QString ZVMessageBox::text() const
{
    return inputMode ? ui->lineEdit->text() : QString();
}

bool ZVMessageBox::run(QWidget* parent)
{
    return runCentred(this, parent);
}

void ZVMessageBox::cancelBtnClick(bool)
{
    reject();
}

void ZVMessageBox::okBtnClick(bool)
{
    accept();
}
