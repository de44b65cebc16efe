#ifndef FORMS_UI_DIALOG_IMPORTCERT_2_H
#define FORMS_UI_DIALOG_IMPORTCERT_2_H

#include <QDialog>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>

class Ui_Dialog_ImportCert_2
{
public:
    QLabel* tipLabel;
    QLabel* pathTitleLabel;
    QTextBrowser* textBrowser;
    QLabel* pathTitleLabel_2;
    QLabel* fileDirLabel;
    QPushButton* openCertDirBtn;
    QLabel* errorLabel;
    QPushButton* finishBtn;

    void setupUi(QDialog* Dialog_ImportCert_2)
    {
        if (Dialog_ImportCert_2->objectName().isEmpty())
            Dialog_ImportCert_2->setObjectName(QString::fromUtf8("Dialog_ImportCert_2"));
        Dialog_ImportCert_2->resize(500, 560);

        tipLabel = new QLabel(Dialog_ImportCert_2);
        tipLabel->setObjectName(QString::fromUtf8("tipLabel"));
        tipLabel->setGeometry(QRect(20, 14, 460, 36));
        QFont tipFont;
        tipFont.setPointSize(13);
        tipFont.setBold(true);
        tipLabel->setFont(tipFont);

        pathTitleLabel = new QLabel(Dialog_ImportCert_2);
        pathTitleLabel->setObjectName(QString::fromUtf8("pathTitleLabel"));
        pathTitleLabel->setGeometry(QRect(20, 60, 460, 26));

        textBrowser = new QTextBrowser(Dialog_ImportCert_2);
        textBrowser->setObjectName(QString::fromUtf8("textBrowser"));
        textBrowser->setGeometry(QRect(20, 88, 460, 164));

        pathTitleLabel_2 = new QLabel(Dialog_ImportCert_2);
        pathTitleLabel_2->setObjectName(QString::fromUtf8("pathTitleLabel_2"));
        pathTitleLabel_2->setGeometry(QRect(20, 262, 460, 26));

        // Room for six lines: a directory near the length limit of Windows paths is shown whole.
        fileDirLabel = new QLabel(Dialog_ImportCert_2);
        fileDirLabel->setObjectName(QString::fromUtf8("fileDirLabel"));
        fileDirLabel->setGeometry(QRect(20, 290, 460, 122));
        // A directory is shown as it is named, even if its name looks like markup.
        fileDirLabel->setTextFormat(Qt::PlainText);
        fileDirLabel->setWordWrap(true);
        fileDirLabel->setAlignment(Qt::AlignLeading | Qt::AlignLeft | Qt::AlignTop);
        fileDirLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

        openCertDirBtn = new QPushButton(Dialog_ImportCert_2);
        openCertDirBtn->setObjectName(QString::fromUtf8("openCertDirBtn"));
        openCertDirBtn->setGeometry(QRect(20, 420, 460, 36));

        errorLabel = new QLabel(Dialog_ImportCert_2);
        errorLabel->setObjectName(QString::fromUtf8("errorLabel"));
        errorLabel->setGeometry(QRect(20, 470, 360, 84));
        errorLabel->setWordWrap(true);

        finishBtn = new QPushButton(Dialog_ImportCert_2);
        finishBtn->setObjectName(QString::fromUtf8("finishBtn"));
        finishBtn->setGeometry(QRect(400, 506, 80, 34));

        pathTitleLabel->setBuddy(textBrowser);

        QWidget::setTabOrder(openCertDirBtn, finishBtn);
        QWidget::setTabOrder(finishBtn, textBrowser);

        retranslateUi(Dialog_ImportCert_2);
    }

    void retranslateUi(QDialog* Dialog_ImportCert_2)
    {
        Dialog_ImportCert_2->setWindowTitle(QString::fromUtf8("证书保存成功"));
        tipLabel->setText(QString::fromUtf8("证书文件保存成功!"));
        pathTitleLabel->setText(QString::fromUtf8("一、使用说明"));
        textBrowser->setAccessibleName(QString::fromUtf8("一、使用说明"));
        const QString paragraph =
            QString::fromUtf8("<p style=\" margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; "
                              "-qt-block-indent:0; text-indent:0px;\">");
        const QString black = QString::fromUtf8("<span style=\" color:#000000;\">");
        const QString red = QString::fromUtf8("<span style=\" color:#ff0000;\">");
        const QString end = QString::fromUtf8("</span>");
        textBrowser->setHtml(
            QString::fromUtf8("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\" "
                              "\"http://www.w3.org/TR/REC-html40/strict.dtd\">\n"
                              "<html><head><meta name=\"qrichtext\" content=\"1\" /></head>"
                              "<body style=\" font-family:'SimSun'; font-size:9pt; font-weight:400; "
                              "font-style:normal;\">\n") +
            paragraph + black + QString::fromUtf8("1、文件介绍") + end + QString::fromUtf8("</p>\n") + paragraph +
            black +
            QString::fromUtf8(
                "cert.p12：PKCS#12格式文件，包含公私钥和证书。可用于在调用商户平台接口时，对请求参数进行") +
            end + red + QString::fromUtf8("签名") + end + black + QString::fromUtf8("。") + end +
            QString::fromUtf8("</p>\n") + paragraph + black + QString::fromUtf8("cert.pem：PEM格式文件，仅包含证书。") +
            end + QString::fromUtf8("</p>\n") + paragraph + black +
            QString::fromUtf8("cert_key.pem：PEM格式文件，仅包含私钥。可用于在调用商户平台接口时，对请求参数进行") +
            end + red + QString::fromUtf8("签名") + end + black + QString::fromUtf8("。") + end +
            QString::fromUtf8("</p>\n") + paragraph + black + QString::fromUtf8("其他说明。。。") + end +
            QString::fromUtf8("</p></body></html>"));
        pathTitleLabel_2->setText(QString::fromUtf8("二、存储目录"));
        fileDirLabel->setText(QString());
        openCertDirBtn->setText(QString::fromUtf8("打开目录"));
        errorLabel->setText(QString());
        finishBtn->setText(QString::fromUtf8("完成"));
    }
};

namespace Ui {
class Dialog_ImportCert_2 : public Ui_Dialog_ImportCert_2
{
};
} // namespace Ui

#endif // FORMS_UI_DIALOG_IMPORTCERT_2_H
