#include "tools/dialog_certinfo_1.h"

#include "forms/ui_dialog_certinfo_1.h"

Dialog_CertInfo_1::Dialog_CertInfo_1() : ui(std::make_unique<Ui::Dialog_CertInfo_1>())
{
    ui->setupUi(this);
    setUpToolWindow(ui->errorLabel, ui->certNameLabel);

    connect(ui->chooseCertBtn, &QPushButton::clicked, this, &Dialog_CertInfo_1::chooseCertBtnClick);
    connect(ui->backBtn, &QPushButton::clicked, this, &Dialog_CertInfo_1::backBtnClick);
    connect(ui->copyBtn, &QPushButton::clicked, this, &Dialog_CertInfo_1::copyBtnClick);
}

Dialog_CertInfo_1::~Dialog_CertInfo_1() = default;

void Dialog_CertInfo_1::chooseCertBtnClick(bool)
{
    // The name always shows the latest choice; the text changes only when a certificate could be printed, so a
    // failure leaves the last certificate shown.
    chooseAndLoad(QStringLiteral("读取证书文件，请重试！ret:%1"), true, [this] {
        if (!engine->hasCertificate) {
            showMessage(QStringLiteral("请选择证书文件"));
            return;
        }
        QByteArray text;
        const int printed = engine->certificateText(text);
        if (printed != 0) {
            showMessage(QStringLiteral("获取证书信息失败，请重试！ret:%1").arg(printed));
            return;
        }
        showMessage(QString());
        ui->certInfoTextEdit->setPlainText(QString::fromUtf8(text));
    });
}

void Dialog_CertInfo_1::backBtnClick(bool)
{
    goBack();
}

void Dialog_CertInfo_1::copyBtnClick(bool)
{
    copyWithNotice(ui->certInfoTextEdit->text());
}
