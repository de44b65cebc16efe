#include "wizard/dialog_getcsr_1.h"

#include "app/backgroundwork.h"
#include "app/filechooser.h"
#include "app/pagestack.h"
#include "certengine/certengine.h"
#include "forms/ui_dialog_getcsr_1.h"
#include "history/dialog_opt_history.h"
#include "wizard/dialog_importcert_1.h"

Dialog_GetCSR_1::Dialog_GetCSR_1(QWidget* parent) : StackPage(parent), ui(std::make_unique<Ui::Dialog_GetCSR_1>())
{
    ui->setupUi(this);
    setUpPage(ui->errorLabel);

    connect(ui->optHistoryLabel, &QLabel::linkActivated, this, &Dialog_GetCSR_1::getOptHistory);
    connect(ui->getCSRBtn, &QPushButton::clicked, this, &Dialog_GetCSR_1::getCSRBtnClick);
    connect(ui->copyCSRBtn, &QPushButton::clicked, this, &Dialog_GetCSR_1::copyCSRBtnClick);
    connect(ui->lastStepBtn, &QPushButton::clicked, this, &Dialog_GetCSR_1::lastStepBtnClick);
    connect(ui->nextStepBtn, &QPushButton::clicked, this, &Dialog_GetCSR_1::nextStepBtnClick);
    CertEngine::instance()->reset();
}

Dialog_GetCSR_1::~Dialog_GetCSR_1() = default;

void Dialog_GetCSR_1::setChangeMode()
{
    changeMode = true;
    ui->csrLabel->setText(QStringLiteral("2、选择证书文件（P12），或密钥文件（PEM），并生成证书请求串"));
    ui->getCSRBtn->setText(QStringLiteral("选择文件并生成证书请求串"));
    ui->optHistoryLabel->hide();
}

void Dialog_GetCSR_1::getCSRBtnClick(bool)
{
    const QString spNo = ui->spNoLineEdit->text();
    const QString spName = ui->spNameLineEdit->text();
    if (spNo.isEmpty() || spName.isEmpty()) {
        showMessage(QStringLiteral("请输入商户号和商户名称！"));
        return;
    }
    CertEngine* engine = CertEngine::instance();
    engine->setMerchant(spNo.toUtf8(), spName.toUtf8());

    QString path;
    QString displayName;
    KeyFileKind kind = KeyFilePkcs12;
    QString password;
    if (!changeMode) {
        requestMade(nullptr, 0);
        return;
    }
    if (background()->isRunning() || !chooseKeyFile(this, &path, &displayName, &kind, &password))
        return;
    // The key file is read off the GUI thread, into an engine of its own: a slow file or key derivation leaves the
    // window answering, and a load that is cancelled and ends later touches nothing of the process-wide engine.
    struct Load
    {
        CertEngine engine;
        int result = 0;
    };
    auto load = std::make_shared<Load>();
    background()->start(
        QStringLiteral("正在读取文件…"),
        // The password moves into the load, which cleanses it: the work keeps no copy of it.
        [load, path = path.toUtf8(), kind, password = password.toUtf8()]() mutable {
            load->result = load->engine.loadKey(path, kind, std::move(password));
        },
        [this, load] { requestMade(&load->engine, load->result); });
}

void Dialog_GetCSR_1::requestMade(CertEngine* loaded, int loadCode)
{
    CertEngine* engine = CertEngine::instance();
    csr.clear();
    ui->csrTextEdit->setPlainText(QString());
    int historyCode = 0;
    const int code = loaded ? engine->generateRequest(csr, *loaded, loadCode, &historyCode)
                            : engine->generateRequest(csr, QByteArray(), KeyFilePkcs12, QByteArray(), &historyCode);
    if (code != 0) {
        showMessage(QStringLiteral("生成证书请求串失败，请重试！ret:%1").arg(code));
        return;
    }
    ui->csrTextEdit->setPlainText(QString::fromUtf8(csr));
    // The request stands, but without its record the key is gone once the page is left or the program ends.
    if (historyCode != 0)
        showMessage(
            QStringLiteral("证书请求串已生成，但未能保存到操作记录（ret:%1）。请修复后重新生成；若已提交此请求串，"
                           "请勿离开本页或关闭程序，直至完成证书导入")
                .arg(historyCode));
    else
        showMessage(QString());
    copyCSRBtnClick(false);
}

void Dialog_GetCSR_1::copyCSRBtnClick(bool)
{
    copyWithNotice(QString::fromUtf8(csr));
}

void Dialog_GetCSR_1::lastStepBtnClick(bool)
{
    goBack();
}

void Dialog_GetCSR_1::nextStepBtnClick(bool)
{
    if (csr.isEmpty()) {
        showMessage(QStringLiteral("请生成证书请求串"));
        return;
    }
    PageStack::instance()->push(new Dialog_ImportCert_1(nullptr));
}

void Dialog_GetCSR_1::getOptHistory(const QString&)
{
    QString spNo;
    QString spName;
    QString request;
    {
        Dialog_Opt_History history(nullptr);
        // A refused directory is no empty history: its records are still there, only not used.
        if (history.listCode() != 0) {
            showMessage(QStringLiteral("无法打开操作记录（ret:%1）：opts目录是链接或属于其他用户。记录未被删除，"
                                       "请将其恢复为本人的普通目录后重试")
                            .arg(history.listCode()));
            return;
        }
        if (!history.run(this))
            return;
        const int code = CertEngine::instance()->restoreHistory(history.selectedRecord(), spNo, spName, request);
        if (code != 0) {
            showMessage(QStringLiteral("恢复操作历史数据失败，请重试！ret:%1").arg(code));
            ui->spNoLineEdit->clear();
            ui->spNameLineEdit->clear();
            ui->csrTextEdit->clear();
            // The page shows no request now, so copy and next behave as if there were none.
            csr.clear();
            return;
        }
    }
    ui->spNoLineEdit->setText(spNo);
    ui->spNameLineEdit->setText(spName);
    ui->csrTextEdit->setPlainText(request);
    csr = request.toUtf8();
    showMessage(QString());
}
