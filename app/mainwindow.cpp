#include "app/mainwindow.h"

#include "app/pagestack.h"
#include "app/windowsetup.h"
#include "forms/ui_mainwindow.h"
#include "tools/dialog_certinfo_1.h"
#include "tools/dialog_certsign_main.h"
#include "tools/dialog_rsa_crypt.h"

#include <QCloseEvent>

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>())
{
    ui->setupUi(this);
    setupWindow(this, true);

    // A tile is enabled, and its clicked(bool) connected to its slot, once the window it opens exists.
    ui->applyCertBtn->setEnabled(false);
    ui->changeCertBtn->setEnabled(false);
    connect(ui->certSignBtn, &QPushButton::clicked, this, &MainWindow::certSignBtnClick);
    connect(ui->cryptBtn, &QPushButton::clicked, this, &MainWindow::cryptBtnClick);
    connect(ui->certInfoBtn, &QPushButton::clicked, this, &MainWindow::certInfoBtnClick);
}

MainWindow::~MainWindow() = default;

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
