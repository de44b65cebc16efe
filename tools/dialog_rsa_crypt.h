#ifndef TOOLS_DIALOG_RSA_CRYPT_H
#define TOOLS_DIALOG_RSA_CRYPT_H

#include "tools/tooldialog.h"

#include <memory>

namespace Ui {
class Dialog_RSA_Crypt;
}

// Encrypts a text into Base64, or decrypts such a text, with either half of the RSA key of a local file.
class Dialog_RSA_Crypt : public ToolDialog
{
    Q_OBJECT

public:
    Dialog_RSA_Crypt();
    ~Dialog_RSA_Crypt() override;

private slots:
    void chooseCertBtnClick(bool);
    void pasteInputBtnClick(bool);
    void copyOutputBtnClick(bool);
    void encryptBtnClick(bool);
    void decryptBtnClick(bool);
    void backBtnClick(bool);

private:
    void runCrypt(bool encrypt);

    std::unique_ptr<Ui::Dialog_RSA_Crypt> ui;
};

#endif // TOOLS_DIALOG_RSA_CRYPT_H
