#ifndef WIZARD_DIALOG_GETCSR_1_H
#define WIZARD_DIALOG_GETCSR_1_H

#include "app/stackpage.h"

#include <QByteArray>

#include <memory>

class CertEngine;

namespace Ui {
class Dialog_GetCSR_1;
}

// First page of the certificate wizard: merchant number and name in, certificate request out (copied to the
// clipboard at once). In apply mode the engine makes a new key pair; in change mode (setChangeMode) the key is
// read from a PKCS#12 or PEM file the merchant chooses. The history link restores an earlier request with its
// key. Constructing the page resets the certificate engine.
class Dialog_GetCSR_1 : public StackPage
{
    Q_OBJECT

public:
    explicit Dialog_GetCSR_1(QWidget* parent = nullptr);
    ~Dialog_GetCSR_1() override;

    void setChangeMode();

private slots:
    void getOptHistory(const QString&);
    void getCSRBtnClick(bool);
    void copyCSRBtnClick(bool);
    void lastStepBtnClick(bool);
    void nextStepBtnClick(bool);

private:
    // Makes the request, for a new key pair or the key that loaded holds (loadKey returned loadCode), and shows it.
    void requestMade(CertEngine* loaded, int loadCode);

    std::unique_ptr<Ui::Dialog_GetCSR_1> ui;
    QByteArray csr; // the request last generated or restored here; the copy and next buttons test this
    bool changeMode = false;
};

#endif // WIZARD_DIALOG_GETCSR_1_H
