#include "app/filechooser.h"

#include "app/zvmessagebox.h"
#include "certengine/certengine.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QLineEdit>

namespace {

bool chooseFile(QWidget* parent, const QString& filter, bool certificatesToo, QString* path, QString* displayName,
                KeyFileKind* kind, QString* password)
{
    QString selectedFilter;
    const QString chosen = QFileDialog::getOpenFileName(parent, QStringLiteral("选择证书文件"), fileDialogStart(),
                                                        filter, &selectedFilter, QFileDialog::Options());
    if (chosen.isEmpty())
        return false;
    CertEngine::instance()->lastPath = chosen;

    const int slash = chosen.lastIndexOf(QLatin1Char('/'));
    const QString name = slash < 0 ? chosen : chosen.mid(slash + 1);

    const KeyFileKind chosenKind = keyFileKindOf(name, certificatesToo);
    QString enteredPassword;
    if (chosenKind == KeyFilePkcs12) {
        ZVMessageBox box(QStringLiteral("证书密码"), QStringLiteral("请输入证书密码"), QStringLiteral("确定"),
                         QStringLiteral("取消"), true);
        box.setEchoMode(QLineEdit::Password);
        if (!box.run(parent))
            return false;
        enteredPassword = box.text();
    }

    *path = chosen;
    *displayName = name;
    *kind = chosenKind;
    if (chosenKind == KeyFilePkcs12)
        *password = enteredPassword;
    return true;
}

} // namespace

QString fileDialogStart()
{
    const QString last = CertEngine::instance()->lastPath;
    return last.isEmpty() ? QCoreApplication::applicationDirPath() : last;
}

bool chooseCertFile(QWidget* parent, QString* path, QString* displayName, KeyFileKind* kind, QString* password)
{
    return chooseFile(parent, QStringLiteral("证书文件 (*.p12 *.cer *.pem)"), true, path, displayName, kind, password);
}

bool chooseKeyFile(QWidget* parent, QString* path, QString* displayName, KeyFileKind* kind, QString* password)
{
    return chooseFile(parent, QStringLiteral("证书文件 (*.p12 *.pem)"), false, path, displayName, kind, password);
}
