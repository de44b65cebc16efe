#ifndef FORMS_UI_DIALOG_IMPORTCERT_1_H
#define FORMS_UI_DIALOG_IMPORTCERT_1_H

#include "app/textbox.h"

#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

class Ui_Dialog_ImportCert_1
{
public:
    QLabel* tipLabel;
    TextBox* spCertTextEdit;
    QPushButton* pasteSpCertBtn;
    QLabel* tipLabel_2;
    QLineEdit* passwdLineEdit;
    QLabel* errorLabel;
    QPushButton* lastStepBtn;
    QPushButton* nextStepBtn;

    void setupUi(QDialog* Dialog_ImportCert_1)
    {
        if (Dialog_ImportCert_1->objectName().isEmpty())
            Dialog_ImportCert_1->setObjectName(QString::fromUtf8("Dialog_ImportCert_1"));
        Dialog_ImportCert_1->resize(500, 560);

        tipLabel = new QLabel(Dialog_ImportCert_1);
        tipLabel->setObjectName(QString::fromUtf8("tipLabel"));
        tipLabel->setGeometry(QRect(20, 14, 460, 28));

        spCertTextEdit = new TextBox(Dialog_ImportCert_1);
        spCertTextEdit->setObjectName(QString::fromUtf8("spCertTextEdit"));
        spCertTextEdit->setGeometry(QRect(20, 46, 460, 270));
        // A certificate holds no tabs; Tab moves on, so the keyboard can leave the box.
        spCertTextEdit->setTabChangesFocus(true);

        pasteSpCertBtn = new QPushButton(Dialog_ImportCert_1);
        pasteSpCertBtn->setObjectName(QString::fromUtf8("pasteSpCertBtn"));
        pasteSpCertBtn->setGeometry(QRect(392, 274, 72, 32));
        pasteSpCertBtn->setAutoDefault(false);

        tipLabel_2 = new QLabel(Dialog_ImportCert_1);
        tipLabel_2->setObjectName(QString::fromUtf8("tipLabel_2"));
        tipLabel_2->setGeometry(QRect(20, 324, 460, 60));
        tipLabel_2->setWordWrap(true);

        passwdLineEdit = new QLineEdit(Dialog_ImportCert_1);
        passwdLineEdit->setObjectName(QString::fromUtf8("passwdLineEdit"));
        passwdLineEdit->setGeometry(QRect(20, 388, 460, 30));
        passwdLineEdit->setEchoMode(QLineEdit::Password);
        passwdLineEdit->setClearButtonEnabled(true);

        errorLabel = new QLabel(Dialog_ImportCert_1);
        errorLabel->setObjectName(QString::fromUtf8("errorLabel"));
        errorLabel->setGeometry(QRect(20, 462, 280, 92));
        errorLabel->setWordWrap(true);

        lastStepBtn = new QPushButton(Dialog_ImportCert_1);
        lastStepBtn->setObjectName(QString::fromUtf8("lastStepBtn"));
        lastStepBtn->setGeometry(QRect(310, 506, 80, 34));
        lastStepBtn->setAutoDefault(false);

        nextStepBtn = new QPushButton(Dialog_ImportCert_1);
        nextStepBtn->setObjectName(QString::fromUtf8("nextStepBtn"));
        nextStepBtn->setGeometry(QRect(400, 506, 80, 34));

        tipLabel->setBuddy(spCertTextEdit);
        tipLabel_2->setBuddy(passwdLineEdit);

        QWidget::setTabOrder(spCertTextEdit, pasteSpCertBtn);
        QWidget::setTabOrder(pasteSpCertBtn, passwdLineEdit);
        QWidget::setTabOrder(passwdLineEdit, lastStepBtn);
        QWidget::setTabOrder(lastStepBtn, nextStepBtn);

        retranslateUi(Dialog_ImportCert_1);
    }

    void retranslateUi(QDialog* Dialog_ImportCert_1)
    {
        Dialog_ImportCert_1->setWindowTitle(QString::fromUtf8("生成证书文件"));
        tipLabel->setText(QString::fromUtf8("1、请将证书串复制到下面文本框"));
        spCertTextEdit->setAccessibleName(tipLabel->text());
        spCertTextEdit->setPlaceholderText(
            QCoreApplication::translate("Dialog_ImportCert_1", "请输入证书字符串", nullptr));
        pasteSpCertBtn->setText(QString::fromUtf8("粘贴"));
        tipLabel_2->setText(QString::fromUtf8("2、设置证书文件密码。（建议数字和字母结合使用，区分大小写）"));
        passwdLineEdit->setAccessibleName(tipLabel_2->text());
        passwdLineEdit->setPlaceholderText(
            QCoreApplication::translate("Dialog_ImportCert_1", "请设置证书密码", nullptr));
        errorLabel->setText(QString());
        lastStepBtn->setText(QString::fromUtf8("上一步"));
        nextStepBtn->setText(QString::fromUtf8("生成"));
    }
};

namespace Ui {
class Dialog_ImportCert_1 : public Ui_Dialog_ImportCert_1
{
};
} // namespace Ui

#endif // FORMS_UI_DIALOG_IMPORTCERT_1_H
