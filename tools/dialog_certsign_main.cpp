#include "tools/dialog_certsign_main.h"

#include "forms/ui_dialog_certsign_main.h"

Dialog_CertSign_Main::Dialog_CertSign_Main() : ui(std::make_unique<Ui::Dialog_CertSign_1>())
{
    ui->setupUi(this);
    setUpToolWindow(ui->errorLabel, ui->certNameLabel);

    connect(ui->chooseCertBtn, &QPushButton::clicked, this, &Dialog_CertSign_Main::chooseCertBtnClick);
    connect(ui->pasteSrcBtn, &QPushButton::clicked, this, &Dialog_CertSign_Main::pasteSrcBtnClick);
    connect(ui->pasteSignBtn, &QPushButton::clicked, this, &Dialog_CertSign_Main::pasteSignBtnClick);
    connect(ui->copySignBtn, &QPushButton::clicked, this, &Dialog_CertSign_Main::copySignBtnClick);
    connect(ui->signBtn, &QPushButton::clicked, this, &Dialog_CertSign_Main::signBtnClick);
    connect(ui->verifySignBtn, &QPushButton::clicked, this, &Dialog_CertSign_Main::verifySignBtnClick);
    connect(ui->backBtn, &QPushButton::clicked, this, &Dialog_CertSign_Main::backBtnClick);

    ui->srcTextEdit->setPlaceholderText(QStringLiteral("请输入需要签名的明文"));
    ui->signTextEdit->setPlaceholderText(QStringLiteral("验签操作请输出需要验证的签名（签名操作无需输入）"));
    // The form creates the sign buttons first, which would put the focus on signBtn when the window opens; the
    // keyboard starts, like the eye, at the first step.
    ui->chooseCertBtn->setFocus();
}

Dialog_CertSign_Main::~Dialog_CertSign_Main() = default;

void Dialog_CertSign_Main::chooseCertBtnClick(bool)
{
    // After a failed load the engine holds no key and the name is empty; signBtn keeps its state, and signing
    // then asks for a file.
    chooseAndLoad(QStringLiteral("读取失败，请重试！ret:%1"), false,
                  [this] { ui->signBtn->setEnabled(engine->hasPrivateKey); });
}

void Dialog_CertSign_Main::pasteSrcBtnClick(bool)
{
    pasteInto(ui->srcTextEdit);
}

void Dialog_CertSign_Main::pasteSignBtnClick(bool)
{
    pasteInto(ui->signTextEdit);
}

void Dialog_CertSign_Main::copySignBtnClick(bool)
{
    copyWithNotice(ui->signTextEdit->text());
}

void Dialog_CertSign_Main::signBtnClick(bool)
{
    if (!hasInput(QStringLiteral("请选择文件"), {{ui->srcTextEdit, QStringLiteral("请输入明文")}}))
        return;
    const QString text = ui->srcTextEdit->text();
    QByteArray signature;
    const int result = engine->signText(text.toUtf8(), signature);
    if (result != 0) {
        showMessage(QStringLiteral("证书签名出错！ret:%1").arg(result));
        return;
    }
    showMessage(QString());
    ui->signTextEdit->setPlainText(QString::fromUtf8(signature));
}

void Dialog_CertSign_Main::verifySignBtnClick(bool)
{
    if (!hasInput(QStringLiteral("请选择证书文件"),
                  {{ui->srcTextEdit, QStringLiteral("请输入明文")}, {ui->signTextEdit, QStringLiteral("请输入签名")}}))
        return;
    const QString text = ui->srcTextEdit->text();
    const QString signature = ui->signTextEdit->text();
    bool match = false;
    const int result = engine->verifyText(signature.toUtf8(), text.toUtf8(), match);
    if (result != 0)
        showMessage(QStringLiteral("验证签名出错！ret:%1").arg(result));
    else
        showMessage(match ? QStringLiteral("签名验证通过") : QStringLiteral("签名验证不通过"));
}

void Dialog_CertSign_Main::backBtnClick(bool)
{
    goBack();
}
