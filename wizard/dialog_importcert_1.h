#ifndef WIZARD_DIALOG_IMPORTCERT_1_H
#define WIZARD_DIALOG_IMPORTCERT_1_H

#include "app/stackpage.h"

#include <memory>

namespace Ui {
class Dialog_ImportCert_1;
}

// Second page of the certificate wizard: the issued certificate is pasted, a password set and a directory
// chosen; the engine checks the certificate against the key pair it holds and writes cert.p12, cert.pem and
// cert_key.pem there. Existing files are replaced only after the merchant agreed, and a password that
// Java-based servers cannot use is questioned before anything is written.
class Dialog_ImportCert_1 : public StackPage
{
    Q_OBJECT

public:
    explicit Dialog_ImportCert_1(QWidget* parent = nullptr);
    ~Dialog_ImportCert_1() override;

private slots:
    void pasteSpCertBtnClick(bool);
    void lastStepBtnClick(bool);
    void nextStepBtnClick(bool);

private:
    // Asks before existing certificate files in directory are replaced; true when none exist or agreed.
    bool mayWriteInto(const QString& directory);
    // Asks before a password with characters outside printable ASCII is used; true to go on with it.
    bool mayUsePassword(const QString& password);

    std::unique_ptr<Ui::Dialog_ImportCert_1> ui;
};

#endif // WIZARD_DIALOG_IMPORTCERT_1_H
