#ifndef APP_MAINWINDOW_H
#define APP_MAINWINDOW_H

#include <QMainWindow>

#include <memory>

namespace Ui {
class MainWindow;
}

// The menu of the program: five tiles, each opening one job's window through the page stack.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void applyCertBtnClick(bool);
    void changeCertBtnClick(bool);
    void certSignBtnClick(bool);
    void cryptBtnClick(bool);
    void certInfoBtnClick(bool);

private:
    std::unique_ptr<Ui::MainWindow> ui;
};

#endif // APP_MAINWINDOW_H
