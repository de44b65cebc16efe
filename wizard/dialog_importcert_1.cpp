#include "wizard/dialog_importcert_1.h"

#include "app/filechooser.h"
#include "app/pagestack.h"
#include "app/zvmessagebox.h"
#include "certengine/certengine.h"
#include "certengine/outputfileset.h"
#include "forms/ui_dialog_importcert_1.h"
#include "wizard/dialog_importcert_2.h"

#include <QDir>
#include <QFileDialog>

namespace {

const char* const kOutputFiles[] = {"cert.p12", "cert.pem", "cert_key.pem"};

// A path as the merchant's system writes it, which a word-wrapping label may break after each separator (a
// zero-width space): a folder path has no blank to break at and would be cut off.
QString breakableAtSeparators(const QString& path)
{
    const QString separator = QDir::separator();
    return QDir::toNativeSeparators(path).replace(separator, separator + QChar(0x200B));
}

} // namespace

Dialog_ImportCert_1::Dialog_ImportCert_1(QWidget* parent)
    : StackPage(parent), ui(std::make_unique<Ui::Dialog_ImportCert_1>())
{
    ui->setupUi(this);
    setUpPage(ui->errorLabel);

    connect(ui->pasteSpCertBtn, &QPushButton::clicked, this, &Dialog_ImportCert_1::pasteSpCertBtnClick);
    connect(ui->lastStepBtn, &QPushButton::clicked, this, &Dialog_ImportCert_1::lastStepBtnClick);
    connect(ui->nextStepBtn, &QPushButton::clicked, this, &Dialog_ImportCert_1::nextStepBtnClick);
    ui->passwdLineEdit->setEchoMode(QLineEdit::Password);
}

Dialog_ImportCert_1::~Dialog_ImportCert_1() = default;

void Dialog_ImportCert_1::pasteSpCertBtnClick(bool)
{
    pasteInto(ui->spCertTextEdit);
}

void Dialog_ImportCert_1::lastStepBtnClick(bool)
{
    goBack();
}

void Dialog_ImportCert_1::nextStepBtnClick(bool)
{
    const QString certText = ui->spCertTextEdit->text();
    const QString password = ui->passwdLineEdit->text();
    if (certText.isEmpty()) {
        showMessage(QStringLiteral("请输入证书串！"));
        return;
    }
    if (password.isEmpty()) {
        showMessage(QStringLiteral("请设置证书密码！"));
        return;
    }
    if (!mayUsePassword(password)) {
        showMessage(QString());
        ui->passwdLineEdit->setFocus(Qt::OtherFocusReason);
        return;
    }

    CertEngine* engine = CertEngine::instance();
    const QString directory = QFileDialog::getExistingDirectory(this, QStringLiteral("证书保存目录"), fileDialogStart(),
                                                                QFileDialog::ShowDirsOnly);
    if (directory.isEmpty()) {
        showMessage(QStringLiteral("请选择证书保存目录！"));
        return;
    }

    ui->nextStepBtn->setEnabled(false);
    engine->lastPath = directory;
    if (!mayWriteInto(directory)) {
        ui->nextStepBtn->setEnabled(true);
        showMessage(QStringLiteral("已取消，未写入任何文件"));
        return;
    }
    const QString targetPath = directory + QStringLiteral("/cert.p12");
    const int code = engine->exportPkcs12(certText.toUtf8(), password.toUtf8(), targetPath.toUtf8());
    ui->nextStepBtn->setEnabled(true);
    if (code != 0) {
        QString message = QStringLiteral("生成证书失败，请重试！ret:%1").arg(code);
        // The merchant can mend these without the manual, once they know which file the program means.
        if (code >= CertEngine::RootCertificateNotOpened && code <= CertEngine::NotSignedByRoot)
            message += QStringLiteral("\n根证书：") + breakableAtSeparators(engine->rootCertificatePath());
        showMessage(message);
        return;
    }

    showMessage(QString());
    auto* finish = new Dialog_ImportCert_2(nullptr);
    finish->setCertDir(directory);
    PageStack::instance()->push(finish);
}

bool Dialog_ImportCert_1::mayWriteInto(const QString& directory)
{
    const QDir target(directory);
    // A symbolic link counts even when it dangles: packaging replaces the link itself.
    bool existing = false;
    for (const char* name : kOutputFiles)
        existing = existing || OutputFileSet::isOccupied(target.filePath(QString::fromLatin1(name)));
    if (!existing)
        return true;
    // With a new key pair, replacing cert_key.pem loses the key of the certificate in use.
    ZVMessageBox box(QStringLiteral("提示"), QStringLiteral("所选目录中已有证书文件，覆盖后无法恢复，是否覆盖？"),
                     QStringLiteral("覆盖"), QStringLiteral("取消"), false);
    return box.run(this);
}

bool Dialog_ImportCert_1::mayUsePassword(const QString& password)
{
    bool printableAscii = true;
    for (const QChar c : password)
        printableAscii = printableAscii && c.unicode() >= 0x20 && c.unicode() <= 0x7e;
    if (printableAscii)
        return true;
    // Java's PKCS#12 reader refuses a non-ASCII password on the triple-DES protection the file carries.
    ZVMessageBox box(QStringLiteral("提示"), QStringLiteral("部分系统（如Java）无法打开使用此密码的证书文件"),
                     QStringLiteral("继续"), QStringLiteral("修改密码"), false);
    return box.run(this);
}
