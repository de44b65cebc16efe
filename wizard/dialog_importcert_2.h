#ifndef WIZARD_DIALOG_IMPORTCERT_2_H
#define WIZARD_DIALOG_IMPORTCERT_2_H

#include "app/stackpage.h"

#include <memory>

namespace Ui {
class Dialog_ImportCert_2;
}

// Last page of the certificate wizard: explains the three files, shows where they are, opens that directory in
// the system's file manager (or says in its red line that none could be started) and returns to the main window.
class Dialog_ImportCert_2 : public StackPage
{
    Q_OBJECT

public:
    explicit Dialog_ImportCert_2(QWidget* parent = nullptr);
    ~Dialog_ImportCert_2() override;

    // The directory as the directory dialog returned it; shown unchanged.
    void setCertDir(const QString& dir);

private slots:
    void openCertDirBtnClick(bool);
    void finishBtnClick(bool);

private:
    std::unique_ptr<Ui::Dialog_ImportCert_2> ui;
    QString certDir;
};

#endif // WIZARD_DIALOG_IMPORTCERT_2_H
