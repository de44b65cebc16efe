#ifndef TOOLS_DIALOG_CERTSIGN_MAIN_H
#define TOOLS_DIALOG_CERTSIGN_MAIN_H

#include "tools/tooldialog.h"

#include <memory>

namespace Ui {
class Dialog_CertSign_1;
}

// Signs a plain text with the private key of a local file (SHA-256/RSA, Base64) and verifies a signature with
// a key or certificate file.
class Dialog_CertSign_Main : public ToolDialog
{
    Q_OBJECT

public:
    Dialog_CertSign_Main();
    ~Dialog_CertSign_Main() override;

private slots:
    void chooseCertBtnClick(bool);
    void pasteSrcBtnClick(bool);
    void pasteSignBtnClick(bool);
    void copySignBtnClick(bool);
    void signBtnClick(bool);
    void verifySignBtnClick(bool);
    void backBtnClick(bool);

private:
    std::unique_ptr<Ui::Dialog_CertSign_1> ui;
};

#endif // TOOLS_DIALOG_CERTSIGN_MAIN_H
