#ifndef APP_ZVMESSAGEBOX_H
#define APP_ZVMESSAGEBOX_H

#include <QDialog>
#include <QLineEdit>

#include <memory>

namespace Ui {
class ZVMessageBox;
}

// The program's one modal box: a notice with one button (empty cancelText), a question with two, or a
// one-line input (inputMode). Built as a local object, run once, read, destroyed.
class ZVMessageBox : public QDialog
{
    Q_OBJECT

public:
    ZVMessageBox(const QString& title, const QString& text, const QString& okText, const QString& cancelText,
                 bool inputMode);
    ~ZVMessageBox() override;

    void setEchoMode(QLineEdit::EchoMode mode);
    // The entered line in input mode; a null string in message mode.
    QString text() const;
    // Runs the box modally, centred over parent; true only if okBtn was clicked.
    bool run(QWidget* parent);

private slots:
    void cancelBtnClick(bool);
    void okBtnClick(bool);

private:
    std::unique_ptr<Ui::ZVMessageBox> ui;
    bool inputMode;
};

#endif // APP_ZVMESSAGEBOX_H
