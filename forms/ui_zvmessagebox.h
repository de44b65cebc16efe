#ifndef FORMS_UI_ZVMESSAGEBOX_H
#define FORMS_UI_ZVMESSAGEBOX_H

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

class Ui_ZVMessageBox
{
public:
    QLabel* msgLabel;
    QPushButton* cancelBtn;
    QPushButton* okBtn;
    QLineEdit* lineEdit;
    QLabel* tipsLabel;

    void setupUi(QDialog* ZVMessageBox)
    {
        if (ZVMessageBox->objectName().isEmpty())
            ZVMessageBox->setObjectName(QString::fromUtf8("ZVMessageBox"));
        ZVMessageBox->resize(250, 109);
        ZVMessageBox->setModal(true);

        msgLabel = new QLabel(ZVMessageBox);
        msgLabel->setObjectName(QString::fromUtf8("msgLabel"));
        msgLabel->setGeometry(QRect(10, 8, 230, 56));
        msgLabel->setAlignment(Qt::AlignCenter);

        cancelBtn = new QPushButton(ZVMessageBox);
        cancelBtn->setObjectName(QString::fromUtf8("cancelBtn"));
        cancelBtn->setGeometry(QRect(10, 70, 110, 30));

        okBtn = new QPushButton(ZVMessageBox);
        okBtn->setObjectName(QString::fromUtf8("okBtn"));
        okBtn->setGeometry(QRect(130, 70, 110, 30));

        lineEdit = new QLineEdit(ZVMessageBox);
        lineEdit->setObjectName(QString::fromUtf8("lineEdit"));
        lineEdit->setGeometry(QRect(10, 34, 230, 26));
        lineEdit->setClearButtonEnabled(true);

        tipsLabel = new QLabel(ZVMessageBox);
        tipsLabel->setObjectName(QString::fromUtf8("tipsLabel"));
        tipsLabel->setGeometry(QRect(10, 6, 230, 22));

        QWidget::setTabOrder(lineEdit, okBtn);
        QWidget::setTabOrder(okBtn, cancelBtn);

        retranslateUi(ZVMessageBox);
    }

    void retranslateUi(QDialog* ZVMessageBox)
    {
        ZVMessageBox->setWindowTitle(QString::fromUtf8("提示"));
        cancelBtn->setText(QString::fromUtf8("取消"));
        okBtn->setText(QString::fromUtf8("确定"));
    }
};

namespace Ui {
class ZVMessageBox : public Ui_ZVMessageBox
{
};
} // namespace Ui

#endif // FORMS_UI_ZVMESSAGEBOX_H
