#include "app/logfile.h"
#include "app/mainwindow.h"
#include "app/processprotection.h"
#include "app/startup.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    protectProcess();
    enableHighDpiScaling();
    QApplication application(argc, argv);

    // Every text of the program is Chinese; the toolkit's own dialogs and menus speak it too where Qt's
    // translation is installed.
    installToolkitTranslation(&application);

    MainWindow window;
    window.show();

    LogFile::instance()->setFileName(LogFile::kFileName);
    useUtf8ForLocalText();

    return application.exec();
}
