#ifndef FORMS_UI_DIALOG_CERTSIGN_MAIN_H
#define FORMS_UI_DIALOG_CERTSIGN_MAIN_H

#include "app/textbox.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>

class Ui_Dialog_CertSign_1
{
public:
    QPushButton* signBtn;
    QPushButton* verifySignBtn;
    QLabel* errorLabel;
    QPushButton* backBtn;
    QLabel* label;
    QLabel* chooseCertLabel;
    QPushButton* chooseCertBtn;
    QLabel* certNameLabel;
    TextBox* srcTextEdit;
    QLabel* signLabel;
    QPushButton* pasteSrcBtn;
    TextBox* signTextEdit;
    QPushButton* copySignBtn;
    QLabel* srcLabel;
    QLabel* chooseCertLabel_2;
    QPushButton* pasteSignBtn;

    void setupUi(QDialog* Dialog_CertSign_1)
    {
        if (Dialog_CertSign_1->objectName().isEmpty())
            Dialog_CertSign_1->setObjectName(QString::fromUtf8("Dialog_CertSign_1"));
        Dialog_CertSign_1->resize(500, 560);

        signBtn = new QPushButton(Dialog_CertSign_1);
        signBtn->setObjectName(QString::fromUtf8("signBtn"));
        signBtn->setGeometry(QRect(12, 446, 234, 36));

        verifySignBtn = new QPushButton(Dialog_CertSign_1);
        verifySignBtn->setObjectName(QString::fromUtf8("verifySignBtn"));
        verifySignBtn->setGeometry(QRect(254, 446, 234, 36));

        errorLabel = new QLabel(Dialog_CertSign_1);
        errorLabel->setObjectName(QString::fromUtf8("errorLabel"));
        errorLabel->setGeometry(QRect(12, 494, 366, 56));
        errorLabel->setWordWrap(true);

        backBtn = new QPushButton(Dialog_CertSign_1);
        backBtn->setObjectName(QString::fromUtf8("backBtn"));
        backBtn->setGeometry(QRect(388, 504, 100, 36));
        backBtn->setAutoDefault(false);

        label = new QLabel(Dialog_CertSign_1);
        label->setObjectName(QString::fromUtf8("label"));
        label->setGeometry(QRect(12, 76, 96, 24));

        chooseCertLabel = new QLabel(Dialog_CertSign_1);
        chooseCertLabel->setObjectName(QString::fromUtf8("chooseCertLabel"));
        chooseCertLabel->setGeometry(QRect(12, 8, 476, 24));

        chooseCertBtn = new QPushButton(Dialog_CertSign_1);
        chooseCertBtn->setObjectName(QString::fromUtf8("chooseCertBtn"));
        chooseCertBtn->setGeometry(QRect(12, 36, 476, 34));

        certNameLabel = new QLabel(Dialog_CertSign_1);
        certNameLabel->setObjectName(QString::fromUtf8("certNameLabel"));
        certNameLabel->setGeometry(QRect(108, 76, 380, 24));
        // A file name is shown as it is, never read as markup.
        certNameLabel->setTextFormat(Qt::PlainText);

        // Base64 and long unbroken texts have no word boundaries; wrapping anywhere keeps laying out megabytes
        // of them linear in time.
        srcTextEdit = new TextBox(Dialog_CertSign_1);
        srcTextEdit->setObjectName(QString::fromUtf8("srcTextEdit"));
        srcTextEdit->setGeometry(QRect(12, 160, 476, 118));
        srcTextEdit->setTabChangesFocus(true);
        srcTextEdit->setWordWrapMode(QTextOption::WrapAnywhere);

        signLabel = new QLabel(Dialog_CertSign_1);
        signLabel->setObjectName(QString::fromUtf8("signLabel"));
        signLabel->setGeometry(QRect(12, 284, 476, 24));

        // The small buttons lie over the lower right corners of their edits, clear of a vertical scroll bar.
        pasteSrcBtn = new QPushButton(Dialog_CertSign_1);
        pasteSrcBtn->setObjectName(QString::fromUtf8("pasteSrcBtn"));
        pasteSrcBtn->setGeometry(QRect(396, 242, 68, 30));
        pasteSrcBtn->setAutoDefault(false);

        signTextEdit = new TextBox(Dialog_CertSign_1);
        signTextEdit->setObjectName(QString::fromUtf8("signTextEdit"));
        signTextEdit->setGeometry(QRect(12, 310, 476, 128));
        signTextEdit->setTabChangesFocus(true);
        signTextEdit->setWordWrapMode(QTextOption::WrapAnywhere);

        copySignBtn = new QPushButton(Dialog_CertSign_1);
        copySignBtn->setObjectName(QString::fromUtf8("copySignBtn"));
        copySignBtn->setGeometry(QRect(396, 402, 68, 30));
        copySignBtn->setAutoDefault(false);

        srcLabel = new QLabel(Dialog_CertSign_1);
        srcLabel->setObjectName(QString::fromUtf8("srcLabel"));
        srcLabel->setGeometry(QRect(12, 134, 476, 24));

        chooseCertLabel_2 = new QLabel(Dialog_CertSign_1);
        chooseCertLabel_2->setObjectName(QString::fromUtf8("chooseCertLabel_2"));
        chooseCertLabel_2->setGeometry(QRect(12, 106, 476, 24));

        pasteSignBtn = new QPushButton(Dialog_CertSign_1);
        pasteSignBtn->setObjectName(QString::fromUtf8("pasteSignBtn"));
        pasteSignBtn->setGeometry(QRect(322, 402, 68, 30));
        pasteSignBtn->setAutoDefault(false);

        srcLabel->setBuddy(srcTextEdit);
        signLabel->setBuddy(signTextEdit);

        QWidget::setTabOrder(chooseCertBtn, srcTextEdit);
        QWidget::setTabOrder(srcTextEdit, pasteSrcBtn);
        QWidget::setTabOrder(pasteSrcBtn, signTextEdit);
        QWidget::setTabOrder(signTextEdit, pasteSignBtn);
        QWidget::setTabOrder(pasteSignBtn, copySignBtn);
        QWidget::setTabOrder(copySignBtn, signBtn);
        QWidget::setTabOrder(signBtn, verifySignBtn);
        QWidget::setTabOrder(verifySignBtn, backBtn);

        retranslateUi(Dialog_CertSign_1);
    }

    void retranslateUi(QDialog* Dialog_CertSign_1)
    {
        Dialog_CertSign_1->setWindowTitle(QString::fromUtf8("证书签名/验签"));
        signBtn->setText(QString::fromUtf8("签名"));
        verifySignBtn->setText(QString::fromUtf8("验签"));
        errorLabel->setText(QString());
        backBtn->setText(QString::fromUtf8("返回"));
        label->setText(QString::fromUtf8("所选文件："));
        chooseCertLabel->setText(QString::fromUtf8("1、选择文件(P12或PEM格式的证书，或PEM格式的密钥)"));
        chooseCertBtn->setText(QString::fromUtf8("选择文件"));
        certNameLabel->setText(QString());
        signLabel->setText(QString::fromUtf8("签名"));
        pasteSrcBtn->setText(QString::fromUtf8("粘贴"));
        copySignBtn->setText(QString::fromUtf8("复制"));
        srcLabel->setText(QString::fromUtf8("明文"));
        chooseCertLabel_2->setText(QString::fromUtf8("2、签名/验签"));
        pasteSignBtn->setText(QString::fromUtf8("粘贴"));
    }
};

namespace Ui {
class Dialog_CertSign_1 : public Ui_Dialog_CertSign_1
{
};
} // namespace Ui

#endif // FORMS_UI_DIALOG_CERTSIGN_MAIN_H
