#ifndef FORMS_UI_DIALOG_GETCSR_1_H
#define FORMS_UI_DIALOG_GETCSR_1_H

#include "app/linklabel.h"
#include "app/textbox.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

class Ui_Dialog_GetCSR_1
{
public:
    QLabel* label;
    LinkLabel* optHistoryLabel;
    QLabel* label_4;
    QLineEdit* spNoLineEdit;
    QLabel* label_5;
    QLineEdit* spNameLineEdit;
    QLabel* csrLabel;
    QPushButton* getCSRBtn;
    TextBox* csrTextEdit;
    QPushButton* copyCSRBtn;
    QLabel* errorLabel;
    QPushButton* lastStepBtn;
    QPushButton* nextStepBtn;

    void setupUi(QDialog* Dialog_GetCSR_1)
    {
        if (Dialog_GetCSR_1->objectName().isEmpty())
            Dialog_GetCSR_1->setObjectName(QString::fromUtf8("Dialog_GetCSR_1"));
        Dialog_GetCSR_1->resize(500, 560);

        label = new QLabel(Dialog_GetCSR_1);
        label->setObjectName(QString::fromUtf8("label"));
        label->setGeometry(QRect(20, 14, 320, 28));

        label_4 = new QLabel(Dialog_GetCSR_1);
        label_4->setObjectName(QString::fromUtf8("label_4"));
        label_4->setGeometry(QRect(20, 50, 460, 24));

        spNoLineEdit = new QLineEdit(Dialog_GetCSR_1);
        spNoLineEdit->setObjectName(QString::fromUtf8("spNoLineEdit"));
        spNoLineEdit->setGeometry(QRect(20, 76, 460, 30));
        spNoLineEdit->setClearButtonEnabled(true);

        label_5 = new QLabel(Dialog_GetCSR_1);
        label_5->setObjectName(QString::fromUtf8("label_5"));
        label_5->setGeometry(QRect(20, 114, 460, 24));

        spNameLineEdit = new QLineEdit(Dialog_GetCSR_1);
        spNameLineEdit->setObjectName(QString::fromUtf8("spNameLineEdit"));
        spNameLineEdit->setGeometry(QRect(20, 140, 460, 30));
        spNameLineEdit->setClearButtonEnabled(true);

        csrLabel = new QLabel(Dialog_GetCSR_1);
        csrLabel->setObjectName(QString::fromUtf8("csrLabel"));
        csrLabel->setGeometry(QRect(20, 176, 460, 58));
        csrLabel->setWordWrap(true);

        getCSRBtn = new QPushButton(Dialog_GetCSR_1);
        getCSRBtn->setObjectName(QString::fromUtf8("getCSRBtn"));
        getCSRBtn->setGeometry(QRect(20, 238, 460, 36));

        csrTextEdit = new TextBox(Dialog_GetCSR_1);
        csrTextEdit->setObjectName(QString::fromUtf8("csrTextEdit"));
        csrTextEdit->setGeometry(QRect(20, 282, 460, 140));
        csrTextEdit->setReadOnly(true);
        csrTextEdit->viewport()->setProperty("cursor", QVariant(QCursor(Qt::ArrowCursor)));
        csrTextEdit->setTabChangesFocus(true);

        copyCSRBtn = new QPushButton(Dialog_GetCSR_1);
        copyCSRBtn->setObjectName(QString::fromUtf8("copyCSRBtn"));
        copyCSRBtn->setGeometry(QRect(392, 382, 72, 32));
        copyCSRBtn->setAutoDefault(false);

        errorLabel = new QLabel(Dialog_GetCSR_1);
        errorLabel->setObjectName(QString::fromUtf8("errorLabel"));
        // Full width, between the request and the buttons: three lines of what to do with a request kept outside
        // the history.
        errorLabel->setGeometry(QRect(20, 428, 460, 74));
        errorLabel->setWordWrap(true);

        lastStepBtn = new QPushButton(Dialog_GetCSR_1);
        lastStepBtn->setObjectName(QString::fromUtf8("lastStepBtn"));
        lastStepBtn->setGeometry(QRect(310, 506, 80, 34));
        lastStepBtn->setFocusPolicy(Qt::StrongFocus);
        lastStepBtn->setAutoDefault(false);

        nextStepBtn = new QPushButton(Dialog_GetCSR_1);
        nextStepBtn->setObjectName(QString::fromUtf8("nextStepBtn"));
        nextStepBtn->setGeometry(QRect(400, 506, 80, 34));

        // Created last, so that it is the last stop of the focus chain and the merchant number has the focus.
        optHistoryLabel = new LinkLabel(Dialog_GetCSR_1);
        optHistoryLabel->setObjectName(QString::fromUtf8("optHistoryLabel"));
        optHistoryLabel->setGeometry(QRect(350, 14, 130, 28));
        optHistoryLabel->setLayoutDirection(Qt::LeftToRight);
        optHistoryLabel->setAlignment(Qt::AlignRight | Qt::AlignTrailing | Qt::AlignVCenter);
        optHistoryLabel->setOpenExternalLinks(false);

        // Captions name their fields for screen readers; the request box has no caption but its placeholder.
        label_4->setBuddy(spNoLineEdit);
        label_5->setBuddy(spNameLineEdit);

        QWidget::setTabOrder(spNoLineEdit, spNameLineEdit);
        QWidget::setTabOrder(spNameLineEdit, getCSRBtn);
        QWidget::setTabOrder(getCSRBtn, csrTextEdit);
        QWidget::setTabOrder(csrTextEdit, copyCSRBtn);
        QWidget::setTabOrder(copyCSRBtn, lastStepBtn);
        QWidget::setTabOrder(lastStepBtn, nextStepBtn);
        QWidget::setTabOrder(nextStepBtn, optHistoryLabel);

        retranslateUi(Dialog_GetCSR_1);
    }

    void retranslateUi(QDialog* Dialog_GetCSR_1)
    {
        Dialog_GetCSR_1->setWindowTitle(QString::fromUtf8("生成证书请求串"));
        label->setText(QString::fromUtf8("1、输入基本信息（请如实填写）"));
        optHistoryLabel->setText(
            QString::fromUtf8("<html><head/><body><p><a href=\"  \"><span style=\" text-decoration: underline; "
                              "color:#0000ff;\">操作记录</span></a></p></body></html>"));
        optHistoryLabel->setAccessibleName(QString::fromUtf8("操作记录"));
        label_4->setText(QString::fromUtf8("商户号"));
        spNoLineEdit->setAccessibleName(QString::fromUtf8("商户号"));
        spNoLineEdit->setPlaceholderText(QString::fromUtf8("请输入商户号"));
        label_5->setText(QString::fromUtf8("商户名称"));
        spNameLineEdit->setAccessibleName(QString::fromUtf8("商户名称"));
        spNameLineEdit->setPlaceholderText(QString::fromUtf8("请输入注册时登记的商户名称"));
        csrLabel->setText(QString::fromUtf8("2、生成证书请求串"));
        getCSRBtn->setText(QString::fromUtf8("生成证书请求串"));
        csrTextEdit->setAccessibleName(QString::fromUtf8("生成的证书请求串"));
        csrTextEdit->setPlaceholderText(QString::fromUtf8("生成的证书请求串"));
        copyCSRBtn->setText(QString::fromUtf8("复制"));
        errorLabel->setText(QString());
        lastStepBtn->setText(QString::fromUtf8("返回"));
        nextStepBtn->setText(QString::fromUtf8("下一步"));
    }
};

namespace Ui {
class Dialog_GetCSR_1 : public Ui_Dialog_GetCSR_1
{
};
} // namespace Ui

#endif // FORMS_UI_DIALOG_GETCSR_1_H
