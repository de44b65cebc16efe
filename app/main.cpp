#include "app/backgroundwork.h"
#include "app/logfile.h"
#include "app/mainwindow.h"
#include "app/processprotection.h"
#include "app/startup.h"
#include "app/workingfolder.h"
#include "crypto/cryptosupport.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    protectProcess();
    enableHighDpiScaling();
    QApplication application(argc, argv);
    // An installed program works in the merchant's own folder; a portable copy where it was started.
    WorkingFolder::enter();

    // Every text of the program is Chinese; the toolkit's own dialogs and menus speak it too where Qt's
    // translation is installed.
    installToolkitTranslation(&application);

    MainWindow window;
    window.show();

    LogFile::instance()->setFileName(LogFile::kFileName);
    useUtf8ForLocalText();
    // At start, so that a legacy provider that cannot be loaded is in the log before a key file is chosen.
    crypto::ensureProviders();

    const int code = application.exec();
    // A cancelled load may still wait for its file (a pipe, a dead network share). Nobody waits for it, and the
    // program's closing steps must not run under it: the program ends here instead.
    if (BackgroundWork::abandonedRunning() > 0) {
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
