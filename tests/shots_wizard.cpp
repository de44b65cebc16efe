// Screenshots of the apply journey for the README: shots_wizard <output directory> <demo-ca.sh>
// Runs in a temporary working directory with a demo root CA and drives the real windows as the tests do.
#include "app/mainwindow.h"
#include "app/pagestack.h"
#include "app/startup.h"
#include "modalanswer.h"
#include "windowdriver.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

namespace {

bool save(QWidget* window, const QString& path)
{
    QCoreApplication::processEvents();
    const bool saved = window->grab().save(path, "PNG", 0);
    if (!saved)
        qWarning("could not write %s", qPrintable(path));
    return saved;
}

} // namespace

int main(int argc, char* argv[])
{
    enableHighDpiScaling(); // as the program does, so a scaled display shows what a merchant sees
    QApplication application(argc, argv);
    installToolkitTranslation(&application);
    useUtf8ForLocalText();
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 3) {
        qWarning("usage: shots_wizard <output directory> <demo-ca.sh>");
        return 2;
    }
    const QString output = QDir(arguments.at(1)).absolutePath();
    const QString demoCa = QFileInfo(arguments.at(2)).absoluteFilePath();
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    QProcess ca;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DEMO_CA_WORKDIR"), work.path());
    ca.setProcessEnvironment(environment);
    ca.start(demoCa, {QStringLiteral("init"), work.path()});
    if (!ca.waitForFinished() || ca.exitCode() != 0)
        return 1;

    MainWindow main;
    main.show();
    bool ok = save(&main, output + QStringLiteral("/wizard-0-main.png"));

    click(&main, "applyCertBtn");
    QWidget* request = stackTop();
    setText(request, "spNoLineEdit", "1234567890");
    setText(request, "spNameLineEdit", "深圳市示例商户有限公司");
    {
        ModalAnswer answer(ModalAnswer::clickButtonNamed(QStringLiteral("okBtn")));
        click(request, "getCSRBtn");
    }
    ok = save(request, output + QStringLiteral("/wizard-1-request.png")) && ok;
    const QString csr = QGuiApplication::clipboard()->text();

    ca.start(demoCa, {QStringLiteral("issue")});
    ca.waitForStarted();
    ca.write(csr.toUtf8());
    ca.closeWriteChannel();
    if (!ca.waitForFinished() || ca.exitCode() != 0)
        return 1;
    QGuiApplication::clipboard()->setText(QString::fromUtf8(ca.readAllStandardOutput()));

    click(request, "nextStepBtn");
    QWidget* import = stackTop();
    click(import, "pasteSpCertBtn");
    setText(import, "passwdLineEdit", "Demo-2026");
    ok = save(import, output + QStringLiteral("/wizard-2-import.png")) && ok;

    QDir(work.path()).mkdir(QStringLiteral("certs"));
    {
        ModalAnswer answer(ModalAnswer::chooseFile(work.filePath(QStringLiteral("certs"))));
        click(import, "nextStepBtn");
    }
    QWidget* finish = stackTop();
    if (finish->objectName() != QLatin1String("Dialog_ImportCert_2"))
        return 1;
    ok = save(finish, output + QStringLiteral("/wizard-3-finish.png")) && ok;
    click(finish, "finishBtn");
    return ok ? 0 : 1;
}
