#ifndef TOOLS_DIALOG_CERTINFO_1_H
#define TOOLS_DIALOG_CERTINFO_1_H

#include "tools/tooldialog.h"

#include <memory>

namespace Ui {
class Dialog_CertInfo_1;
}

// Shows the printed details of the certificate in a local PKCS#12, certificate or PEM file.
class Dialog_CertInfo_1 : public ToolDialog
{
    Q_OBJECT

public:
    Dialog_CertInfo_1();
    ~Dialog_CertInfo_1() override;

private slots:
    void chooseCertBtnClick(bool);
    void backBtnClick(bool);
    void copyBtnClick(bool);

private:
    std::unique_ptr<Ui::Dialog_CertInfo_1> ui;
};

#endif // TOOLS_DIALOG_CERTINFO_1_H
