#include "app/mainwindow.h"

#include "app/pagestack.h"
#include "app/windowsetup.h"
#include "forms/ui_mainwindow.h"
#include "tools/dialog_certinfo_1.h"
#include "tools/dialog_certsign_main.h"
#include "tools/dialog_rsa_crypt.h"
#include "wizard/dialog_getcsr_1.h"

#include <QCloseEvent>

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>())
{
    ui->setupUi(this);
    setupWindow(this, true);

    connect(ui->applyCertBtn, &QPushButton::clicked, this, &MainWindow::applyCertBtnClick);
    connect(ui->changeCertBtn, &QPushButton::clicked, this, &MainWindow::changeCertBtnClick);
    connect(ui->certSignBtn, &QPushButton::clicked, this, &MainWindow::certSignBtnClick);
    connect(ui->cryptBtn, &QPushButton::clicked, this, &MainWindow::cryptBtnClick);
    connect(ui->certInfoBtn, &QPushButton::clicked, this, &MainWindow::certInfoBtnClick);
}

MainWindow::~MainWindow() = default;

void MainWindow::applyCertBtnClick(bool)
{
    PageStack::instance()->setRoot(this);
    PageStack::instance()->push(new Dialog_GetCSR_1(nullptr));
}

void MainWindow::changeCertBtnClick(bool)
{
    PageStack::instance()->setRoot(this);
    auto* page = new Dialog_GetCSR_1(nullptr);
    page->setChangeMode();
    PageStack::instance()->push(page);
}

void MainWindow::certSignBtnClick(bool)
{
    PageStack::instance()->setRoot(this);
    PageStack::instance()->push(new Dialog_CertSign_Main);
}

void MainWindow::cryptBtnClick(bool)
{
    PageStack::instance()->setRoot(this);
    PageStack::instance()->push(new Dialog_RSA_Crypt);
}

void MainWindow::certInfoBtnClick(bool)
{
    PageStack::instance()->setRoot(this);
    PageStack::instance()->push(new Dialog_CertInfo_1);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    confirmExit(this, event);
}
