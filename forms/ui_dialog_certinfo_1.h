#ifndef FORMS_UI_DIALOG_CERTINFO_1_H
#define FORMS_UI_DIALOG_CERTINFO_1_H

#include "app/textbox.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>

class Ui_Dialog_CertInfo_1
{
public:
    QLabel* chooseCertLabel;
    QPushButton* chooseCertBtn;
    QLabel* label;
    QLabel* certNameLabel;
    QLabel* chooseCertLabel_2;
    TextBox* certInfoTextEdit;
    QPushButton* copyBtn;
    QLabel* errorLabel;
    QPushButton* backBtn;

    void setupUi(QDialog* Dialog_CertInfo_1)
    {
        if (Dialog_CertInfo_1->objectName().isEmpty())
            Dialog_CertInfo_1->setObjectName(QString::fromUtf8("Dialog_CertInfo_1"));
        Dialog_CertInfo_1->resize(500, 560);

        chooseCertLabel = new QLabel(Dialog_CertInfo_1);
        chooseCertLabel->setObjectName(QString::fromUtf8("chooseCertLabel"));
        chooseCertLabel->setGeometry(QRect(12, 8, 476, 24));

        chooseCertBtn = new QPushButton(Dialog_CertInfo_1);
        chooseCertBtn->setObjectName(QString::fromUtf8("chooseCertBtn"));
        chooseCertBtn->setGeometry(QRect(12, 36, 476, 34));

        label = new QLabel(Dialog_CertInfo_1);
        label->setObjectName(QString::fromUtf8("label"));
        label->setGeometry(QRect(12, 76, 96, 24));

        certNameLabel = new QLabel(Dialog_CertInfo_1);
        certNameLabel->setObjectName(QString::fromUtf8("certNameLabel"));
        certNameLabel->setGeometry(QRect(108, 76, 380, 24));
        // A file name is shown as it is, never read as markup.
        certNameLabel->setTextFormat(Qt::PlainText);

        chooseCertLabel_2 = new QLabel(Dialog_CertInfo_1);
        chooseCertLabel_2->setObjectName(QString::fromUtf8("chooseCertLabel_2"));
        chooseCertLabel_2->setGeometry(QRect(12, 106, 476, 24));

        certInfoTextEdit = new TextBox(Dialog_CertInfo_1);
        certInfoTextEdit->setObjectName(QString::fromUtf8("certInfoTextEdit"));
        certInfoTextEdit->setGeometry(QRect(12, 132, 476, 360));
        certInfoTextEdit->setTabChangesFocus(true);
        // The printed certificate is laid out in indented columns; wrapping would tear them apart.
        certInfoTextEdit->setLineWrapMode(TextBox::NoWrap);
        certInfoTextEdit->setReadOnly(true);
        certInfoTextEdit->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);

        // Lies over the lower right corner of the text, clear of its scroll bars.
        copyBtn = new QPushButton(Dialog_CertInfo_1);
        copyBtn->setObjectName(QString::fromUtf8("copyBtn"));
        copyBtn->setGeometry(QRect(396, 438, 68, 30));
        copyBtn->setAutoDefault(false);

        errorLabel = new QLabel(Dialog_CertInfo_1);
        errorLabel->setObjectName(QString::fromUtf8("errorLabel"));
        errorLabel->setGeometry(QRect(12, 498, 366, 56));
        errorLabel->setWordWrap(true);

        backBtn = new QPushButton(Dialog_CertInfo_1);
        backBtn->setObjectName(QString::fromUtf8("backBtn"));
        backBtn->setGeometry(QRect(388, 508, 100, 36));

        chooseCertLabel_2->setBuddy(certInfoTextEdit);

        QWidget::setTabOrder(chooseCertBtn, certInfoTextEdit);
        QWidget::setTabOrder(certInfoTextEdit, copyBtn);
        QWidget::setTabOrder(copyBtn, backBtn);

        retranslateUi(Dialog_CertInfo_1);
    }

    void retranslateUi(QDialog* Dialog_CertInfo_1)
    {
        Dialog_CertInfo_1->setWindowTitle(QString::fromUtf8("查看证书信息"));
        chooseCertLabel->setText(QString::fromUtf8("1、选择证书(P12或PEM格式的证书)"));
        chooseCertBtn->setText(QString::fromUtf8("选择证书文件"));
        label->setText(QString::fromUtf8("所选证书："));
        certNameLabel->setText(QString());
        chooseCertLabel_2->setText(QString::fromUtf8("2、证书信息"));
        copyBtn->setText(QString::fromUtf8("复制"));
        errorLabel->setText(QString());
        backBtn->setText(QString::fromUtf8("返回"));
    }
};

namespace Ui {
class Dialog_CertInfo_1 : public Ui_Dialog_CertInfo_1
{
};
} // namespace Ui

#endif // FORMS_UI_DIALOG_CERTINFO_1_H
