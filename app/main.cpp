#include "app/backgroundwork.h"
#include "app/logfile.h"
#include "app/mainwindow.h"
#include "app/processprotection.h"
#include "app/startup.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTextCodec>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    protectProcess();
    enableHighDpiScaling();
    QApplication application(argc, argv);

    // Every text of the program is Chinese; the toolkit's own dialogs and menus speak it too where Qt's
    // translation is installed.
    QTranslator toolkitTranslation;
    if (toolkitTranslation.load(QStringLiteral("qt_zh_CN"), QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        application.installTranslator(&toolkitTranslation);

    MainWindow window;
    window.show();

    LogFile::instance()->setFileName(LogFile::kFileName);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF8"));

    const int code = application.exec();
    // A cancelled load may still wait for its file (a pipe, a dead network share), and the application object
    // would wait for the thread pool that runs it when it goes: the program ends here instead, without waiting.
    if (BackgroundWork::abandonedRunning() > 0) {
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
