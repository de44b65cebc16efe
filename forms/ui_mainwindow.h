#ifndef FORMS_UI_MAINWINDOW_H
#define FORMS_UI_MAINWINDOW_H

#include <QFont>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QWidget>

class Ui_MainWindow
{
public:
    QWidget* centralWidget;
    QLabel* label;
    QPushButton* applyCertBtn;
    QPushButton* changeCertBtn;
    QPushButton* certSignBtn;
    QPushButton* cryptBtn;
    QPushButton* certInfoBtn;
    QLabel* label_2;

    void setupUi(QMainWindow* MainWindow)
    {
        if (MainWindow->objectName().isEmpty())
            MainWindow->setObjectName(QString::fromUtf8("MainWindow"));
        MainWindow->resize(500, 560);

        centralWidget = new QWidget(MainWindow);
        centralWidget->setObjectName(QString::fromUtf8("centralWidget"));

        label = new QLabel(centralWidget);
        label->setObjectName(QString::fromUtf8("label"));
        label->setGeometry(QRect(12, 16, 476, 44));
        QFont headingFont;
        headingFont.setPointSize(15);
        headingFont.setBold(true);
        label->setFont(headingFont);
        label->setAlignment(Qt::AlignLeading | Qt::AlignLeft | Qt::AlignVCenter);

        // Two columns of equal tiles below the heading; row 3 has its left tile only.
        // 9 points leaves the longest description line room on a 230-pixel tile in any CJK font.
        QFont tileFont;
        tileFont.setPointSize(9);
        const auto tile = [&](const char* name, int column, int row) {
            auto* button = new QPushButton(centralWidget);
            button->setObjectName(QString::fromUtf8(name));
            button->setGeometry(QRect(12 + column * 246, 80 + row * 130, 230, 110));
            button->setFont(tileFont);
            return button;
        };
        applyCertBtn = tile("applyCertBtn", 0, 0);
        changeCertBtn = tile("changeCertBtn", 1, 0);
        certSignBtn = tile("certSignBtn", 0, 1);
        cryptBtn = tile("cryptBtn", 1, 1);
        certInfoBtn = tile("certInfoBtn", 0, 2);

        label_2 = new QLabel(centralWidget);
        label_2->setObjectName(QString::fromUtf8("label_2"));
        label_2->setGeometry(QRect(20, 500, 460, 40));
        label_2->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);

        MainWindow->setCentralWidget(centralWidget);

        QWidget::setTabOrder(applyCertBtn, changeCertBtn);
        QWidget::setTabOrder(changeCertBtn, certSignBtn);
        QWidget::setTabOrder(certSignBtn, cryptBtn);
        QWidget::setTabOrder(cryptBtn, certInfoBtn);

        retranslateUi(MainWindow);
    }

    void retranslateUi(QMainWindow* MainWindow)
    {
        MainWindow->setWindowTitle(QString());
        label->setText(QString::fromUtf8("工具介绍&使用注意事项"));
        applyCertBtn->setText(QString::fromUtf8("申请证书\n申请新的证书和密钥"));
        changeCertBtn->setText(QString::fromUtf8("更换证书\n更换证书并保留原有的密钥"));
        certSignBtn->setText(QString::fromUtf8("签名/验签\n通过选择本地证书进行签名/验签操作"));
        cryptBtn->setText(QString::fromUtf8("加密/解密\n通过选择本地证书进行加密/解密操作"));
        certInfoBtn->setText(QString::fromUtf8("查看证书\n查看本地证书文件的详细信息"));
        label_2->setText(QString::fromUtf8("证书文件和私钥请妥善保管，切勿外传"));
    }
};

namespace Ui {
class MainWindow : public Ui_MainWindow
{
};
} // namespace Ui

#endif // FORMS_UI_MAINWINDOW_H
