#include "app/startup.h"

#include <QGuiApplication>
#include <QLibraryInfo>
#include <QTranslator>
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QTextCodec>
#endif

void enableHighDpiScaling()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 always scales and always draws pixmaps from their larger sizes.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#endif
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}

bool installToolkitTranslation(QCoreApplication* application)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    const QString folder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
#else
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#endif
    auto* translation = new QTranslator(application);
    if (translation->load(QStringLiteral("qt_zh_CN"), folder) && application->installTranslator(translation))
        return true;
    delete translation;
    return false;
}

void useUtf8ForLocalText()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
#endif
    // Qt 6 takes local 8-bit text as UTF-8 on Linux by itself; on Windows it takes the process's code page,
    // which the executable's manifest makes UTF-8.
}
