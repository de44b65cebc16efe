#include "wizard/dialog_importcert_2.h"

#include "app/filemanager.h"
#include "app/pagestack.h"
#include "forms/ui_dialog_importcert_2.h"

#include <QDir>

Dialog_ImportCert_2::Dialog_ImportCert_2(QWidget* parent)
    : StackPage(parent), ui(std::make_unique<Ui::Dialog_ImportCert_2>())
{
    ui->setupUi(this);
    setUpPage(ui->errorLabel);

    connect(ui->openCertDirBtn, &QPushButton::clicked, this, &Dialog_ImportCert_2::openCertDirBtnClick);
    connect(ui->finishBtn, &QPushButton::clicked, this, &Dialog_ImportCert_2::finishBtnClick);
    // The notes lie on the page's own background.
    ui->textBrowser->viewport()->setAutoFillBackground(false);
    ui->fileDirLabel->setWordWrap(true);
    // The focus order is a ring; the page opens on its first stop rather than on the notes.
    ui->openCertDirBtn->setFocus(Qt::OtherFocusReason);
}

Dialog_ImportCert_2::~Dialog_ImportCert_2() = default;

void Dialog_ImportCert_2::setCertDir(const QString& dir)
{
    certDir = dir;
    ui->fileDirLabel->setText(QDir::toNativeSeparators(dir));
}

void Dialog_ImportCert_2::openCertDirBtnClick(bool)
{
    if (certDir.isEmpty())
        return;
    // The directory is one argument of its own: a blank in it cannot split it into two.
    showMessage(openInFileManager(certDir) ? QString() : QStringLiteral("无法打开文件管理器，请手动打开目录"));
}

void Dialog_ImportCert_2::finishBtnClick(bool)
{
    PageStack::instance()->home();
}
