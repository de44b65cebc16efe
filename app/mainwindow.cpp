#include "app/mainwindow.h"

#include "app/windowsetup.h"
#include "forms/ui_mainwindow.h"

#include <QCloseEvent>

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>())
{
    ui->setupUi(this);
    setupWindow(this, true);

    // A tile is enabled, and its clicked(bool) connected to its slot, once the window it opens exists.
    ui->applyCertBtn->setEnabled(false);
    ui->changeCertBtn->setEnabled(false);
    ui->certSignBtn->setEnabled(false);
    ui->cryptBtn->setEnabled(false);
    ui->certInfoBtn->setEnabled(false);
}

MainWindow::~MainWindow() = default;

void MainWindow::closeEvent(QCloseEvent* event)
{
    confirmExit(this, event);
}
