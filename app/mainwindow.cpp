#include "app/mainwindow.h"

#include "app/pagestack.h"
#include "app/windowsetup.h"
#include "forms/ui_mainwindow.h"
#include "wizard/dialog_getcsr_1.h"

#include <QCloseEvent>

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>())
{
    ui->setupUi(this);
    setupWindow(this, true);

    connect(ui->applyCertBtn, &QPushButton::clicked, this, &MainWindow::applyCertBtnClick);
    connect(ui->changeCertBtn, &QPushButton::clicked, this, &MainWindow::changeCertBtnClick);

    // A tile is enabled, and its clicked(bool) connected to its slot, once the window it opens exists.
    ui->certSignBtn->setEnabled(false);
    ui->cryptBtn->setEnabled(false);
    ui->certInfoBtn->setEnabled(false);
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

void MainWindow::closeEvent(QCloseEvent* event)
{
    confirmExit(this, event);
}
