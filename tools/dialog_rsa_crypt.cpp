#include "tools/dialog_rsa_crypt.h"

#include "app/backgroundwork.h"
#include "forms/ui_dialog_rsa_crypt.h"

Dialog_RSA_Crypt::Dialog_RSA_Crypt() : ui(std::make_unique<Ui::Dialog_RSA_Crypt>())
{
    ui->setupUi(this);
    setUpToolWindow(ui->errorLabel, ui->certNameLabel);

    connect(ui->chooseCertBtn, &QPushButton::clicked, this, &Dialog_RSA_Crypt::chooseCertBtnClick);
    connect(ui->pasteInputBtn, &QPushButton::clicked, this, &Dialog_RSA_Crypt::pasteInputBtnClick);
    connect(ui->copyOutputBtn, &QPushButton::clicked, this, &Dialog_RSA_Crypt::copyOutputBtnClick);
    connect(ui->encryptBtn, &QPushButton::clicked, this, &Dialog_RSA_Crypt::encryptBtnClick);
    connect(ui->decryptBtn, &QPushButton::clicked, this, &Dialog_RSA_Crypt::decryptBtnClick);
    connect(ui->backBtn, &QPushButton::clicked, this, &Dialog_RSA_Crypt::backBtnClick);

    ui->inputTextEdit->setPlaceholderText(QStringLiteral("请输入需要加密或解密的内容（解密内容为Base64格式）"));
    ui->outputTextEdit->setPlaceholderText(QStringLiteral("输出结果（加密结果为Base64格式）"));
}

Dialog_RSA_Crypt::~Dialog_RSA_Crypt() = default;

void Dialog_RSA_Crypt::chooseCertBtnClick(bool)
{
    // After a failed load the engine holds no key and the name is empty, so encrypting and decrypting ask for a
    // file; the radio buttons keep their state.
    chooseAndLoad(QStringLiteral("读取失败，请重试！ret:%1"), false, [this] {
        ui->priKeyRadioBtn->setEnabled(engine->hasPrivateKey);
        ui->pubKeyRadioBtn->setChecked(true);
    });
}

void Dialog_RSA_Crypt::pasteInputBtnClick(bool)
{
    pasteInto(ui->inputTextEdit);
}

void Dialog_RSA_Crypt::copyOutputBtnClick(bool)
{
    copyWithNotice(ui->outputTextEdit->text());
}

void Dialog_RSA_Crypt::encryptBtnClick(bool)
{
    runCrypt(true);
}

void Dialog_RSA_Crypt::decryptBtnClick(bool)
{
    runCrypt(false);
}

void Dialog_RSA_Crypt::backBtnClick(bool)
{
    goBack();
}

void Dialog_RSA_Crypt::runCrypt(bool encrypt)
{
    if (background()->isRunning())
        return;
    if (!hasInput(QStringLiteral("请选择证书文件"), {{ui->inputTextEdit, QStringLiteral("请输入内容")}}))
        return;
    struct Crypt
    {
        int result = 0;
        TextBox::Document output;
    };
    auto crypt = std::make_shared<Crypt>();
    auto control = std::make_shared<SignEngine::CryptControl>();
    // The texts are converted, and the result put into a document, on the worker as well: for megabytes that takes
    // a noticeable moment.
    background()->start(
        encrypt ? QStringLiteral("正在加密…") : QStringLiteral("正在解密…"),
        [crypt, control, engine = engine, input = ui->inputTextEdit->text(),
         usePublicKey = ui->pubKeyRadioBtn->isChecked(), encrypt] {
            QByteArray bytes;
            crypt->result = engine->cryptText(usePublicKey, encrypt, input.toUtf8(), bytes, control.get());
            if (crypt->result == 0)
                crypt->output = TextBox::documentOf(QString::fromUtf8(bytes));
        },
        [this, crypt, encrypt] {
            if (crypt->result != 0) {
                showMessage((encrypt ? QStringLiteral("加密出错！ret:%1") : QStringLiteral("解密出错！ret:%1"))
                                .arg(crypt->result));
                ui->outputTextEdit->showText(QString());
                return;
            }
            showMessage(QString());
            ui->outputTextEdit->showDocument(std::move(crypt->output));
        },
        control);
}
