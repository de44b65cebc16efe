#ifndef FORMS_UI_DIALOG_RSA_CRYPT_H
#define FORMS_UI_DIALOG_RSA_CRYPT_H

#include "app/textbox.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

class Ui_Dialog_RSA_Crypt
{
public:
    QLabel* chooseCertLabel;
    QPushButton* chooseCertBtn;
    QLabel* label;
    QLabel* certNameLabel;
    QLabel* chooseCertLabel_2;
    QLabel* inputLabel;
    TextBox* inputTextEdit;
    QPushButton* pasteInputBtn;
    QLabel* outputLabel;
    TextBox* outputTextEdit;
    QPushButton* copyOutputBtn;
    QRadioButton* pubKeyRadioBtn;
    QRadioButton* priKeyRadioBtn;
    QPushButton* encryptBtn;
    QPushButton* decryptBtn;
    QLabel* errorLabel;
    QPushButton* backBtn;

    void setupUi(QDialog* Dialog_RSA_Crypt)
    {
        if (Dialog_RSA_Crypt->objectName().isEmpty())
            Dialog_RSA_Crypt->setObjectName(QString::fromUtf8("Dialog_RSA_Crypt"));
        Dialog_RSA_Crypt->resize(500, 560);

        chooseCertLabel = new QLabel(Dialog_RSA_Crypt);
        chooseCertLabel->setObjectName(QString::fromUtf8("chooseCertLabel"));
        chooseCertLabel->setGeometry(QRect(12, 8, 476, 24));

        chooseCertBtn = new QPushButton(Dialog_RSA_Crypt);
        chooseCertBtn->setObjectName(QString::fromUtf8("chooseCertBtn"));
        chooseCertBtn->setGeometry(QRect(12, 36, 476, 34));

        label = new QLabel(Dialog_RSA_Crypt);
        label->setObjectName(QString::fromUtf8("label"));
        label->setGeometry(QRect(12, 76, 96, 24));

        certNameLabel = new QLabel(Dialog_RSA_Crypt);
        certNameLabel->setObjectName(QString::fromUtf8("certNameLabel"));
        certNameLabel->setGeometry(QRect(108, 76, 380, 24));
        // A file name is shown as it is, never read as markup.
        certNameLabel->setTextFormat(Qt::PlainText);

        chooseCertLabel_2 = new QLabel(Dialog_RSA_Crypt);
        chooseCertLabel_2->setObjectName(QString::fromUtf8("chooseCertLabel_2"));
        chooseCertLabel_2->setGeometry(QRect(12, 106, 476, 24));

        inputLabel = new QLabel(Dialog_RSA_Crypt);
        inputLabel->setObjectName(QString::fromUtf8("inputLabel"));
        inputLabel->setGeometry(QRect(12, 134, 476, 24));

        // Base64 and long unbroken texts have no word boundaries; wrapping anywhere keeps laying out megabytes
        // of them linear in time.
        inputTextEdit = new TextBox(Dialog_RSA_Crypt);
        inputTextEdit->setObjectName(QString::fromUtf8("inputTextEdit"));
        inputTextEdit->setGeometry(QRect(12, 160, 476, 112));
        inputTextEdit->setTabChangesFocus(true);
        inputTextEdit->setWordWrapMode(QTextOption::WrapAnywhere);

        // The small buttons lie over the lower right corners of their edits, clear of a vertical scroll bar.
        pasteInputBtn = new QPushButton(Dialog_RSA_Crypt);
        pasteInputBtn->setObjectName(QString::fromUtf8("pasteInputBtn"));
        pasteInputBtn->setGeometry(QRect(396, 236, 68, 30));
        pasteInputBtn->setAutoDefault(false);

        outputLabel = new QLabel(Dialog_RSA_Crypt);
        outputLabel->setObjectName(QString::fromUtf8("outputLabel"));
        outputLabel->setGeometry(QRect(12, 278, 476, 24));

        outputTextEdit = new TextBox(Dialog_RSA_Crypt);
        outputTextEdit->setObjectName(QString::fromUtf8("outputTextEdit"));
        outputTextEdit->setGeometry(QRect(12, 304, 476, 112));
        outputTextEdit->setTabChangesFocus(true);
        outputTextEdit->setWordWrapMode(QTextOption::WrapAnywhere);
        outputTextEdit->setReadOnly(true);
        outputTextEdit->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);

        copyOutputBtn = new QPushButton(Dialog_RSA_Crypt);
        copyOutputBtn->setObjectName(QString::fromUtf8("copyOutputBtn"));
        copyOutputBtn->setGeometry(QRect(396, 380, 68, 30));
        copyOutputBtn->setAutoDefault(false);

        pubKeyRadioBtn = new QRadioButton(Dialog_RSA_Crypt);
        pubKeyRadioBtn->setObjectName(QString::fromUtf8("pubKeyRadioBtn"));
        pubKeyRadioBtn->setGeometry(QRect(12, 424, 110, 28));
        pubKeyRadioBtn->setChecked(true);

        priKeyRadioBtn = new QRadioButton(Dialog_RSA_Crypt);
        priKeyRadioBtn->setObjectName(QString::fromUtf8("priKeyRadioBtn"));
        priKeyRadioBtn->setGeometry(QRect(132, 424, 110, 28));
        priKeyRadioBtn->setEnabled(true);

        encryptBtn = new QPushButton(Dialog_RSA_Crypt);
        encryptBtn->setObjectName(QString::fromUtf8("encryptBtn"));
        encryptBtn->setGeometry(QRect(12, 458, 234, 36));

        decryptBtn = new QPushButton(Dialog_RSA_Crypt);
        decryptBtn->setObjectName(QString::fromUtf8("decryptBtn"));
        decryptBtn->setGeometry(QRect(254, 458, 234, 36));

        errorLabel = new QLabel(Dialog_RSA_Crypt);
        errorLabel->setObjectName(QString::fromUtf8("errorLabel"));
        errorLabel->setGeometry(QRect(12, 500, 366, 52));
        errorLabel->setWordWrap(true);

        backBtn = new QPushButton(Dialog_RSA_Crypt);
        backBtn->setObjectName(QString::fromUtf8("backBtn"));
        backBtn->setGeometry(QRect(388, 508, 100, 36));
        backBtn->setAutoDefault(false);

        inputLabel->setBuddy(inputTextEdit);
        outputLabel->setBuddy(outputTextEdit);

        QWidget::setTabOrder(chooseCertBtn, inputTextEdit);
        QWidget::setTabOrder(inputTextEdit, pasteInputBtn);
        QWidget::setTabOrder(pasteInputBtn, outputTextEdit);
        QWidget::setTabOrder(outputTextEdit, copyOutputBtn);
        QWidget::setTabOrder(copyOutputBtn, pubKeyRadioBtn);
        QWidget::setTabOrder(pubKeyRadioBtn, priKeyRadioBtn);
        QWidget::setTabOrder(priKeyRadioBtn, encryptBtn);
        QWidget::setTabOrder(encryptBtn, decryptBtn);
        QWidget::setTabOrder(decryptBtn, backBtn);

        retranslateUi(Dialog_RSA_Crypt);
    }

    void retranslateUi(QDialog* Dialog_RSA_Crypt)
    {
        Dialog_RSA_Crypt->setWindowTitle(QString::fromUtf8("加密/解密"));
        chooseCertLabel->setText(QString::fromUtf8("1、选择文件(P12或PEM格式的证书，或PEM格式的密钥)"));
        chooseCertBtn->setText(QString::fromUtf8("选择文件"));
        label->setText(QString::fromUtf8("所选文件："));
        certNameLabel->setText(QString());
        chooseCertLabel_2->setText(QString::fromUtf8("2、加密/解密"));
        inputLabel->setText(QString::fromUtf8("输入"));
        pasteInputBtn->setText(QString::fromUtf8("粘贴"));
        outputLabel->setText(QString::fromUtf8("输出"));
        copyOutputBtn->setText(QString::fromUtf8("复制"));
        pubKeyRadioBtn->setText(QString::fromUtf8("公钥"));
        priKeyRadioBtn->setText(QString::fromUtf8("私钥"));
        encryptBtn->setText(QString::fromUtf8("加密"));
        decryptBtn->setText(QString::fromUtf8("解密"));
        errorLabel->setText(QString());
        backBtn->setText(QString::fromUtf8("返回"));
    }
};

namespace Ui {
class Dialog_RSA_Crypt : public Ui_Dialog_RSA_Crypt
{
};
} // namespace Ui

#endif // FORMS_UI_DIALOG_RSA_CRYPT_H
