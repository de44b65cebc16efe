#include "app/mainwindow.h"
#include "app/startup.h"
#include "textfit.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QTest>

// Runs on a real X display whose font DPI (QT_FONT_DPI) stands for the screen's scaling: 144 is 150 %, 192 is
// 200 %. The application is prepared exactly as the program prepares it.
class TestHighDpi : public QObject
{
    Q_OBJECT

private slots:
    void windowsKeepTheirProportionsAtTheScreensScale();
    void iconCarriesTheSizesOfHighDpiTitleBars();

private:
    static qreal expectedScale();
};

qreal TestHighDpi::expectedScale()
{
    const int dpi = qEnvironmentVariableIntValue("QT_FONT_DPI");
    return dpi > 0 ? dpi / 96.0 : 1.0;
}

void TestHighDpi::windowsKeepTheirProportionsAtTheScreensScale()
{
    const qreal scale = expectedScale();
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Not rounded: 150 % stays 1.5.
    QCOMPARE(window.devicePixelRatioF(), scale);
    QCOMPARE(window.size(), QSize(500, 560));
    QCOMPARE(window.grab().size(), QSize(qRound(500 * scale), qRound(560 * scale)));
    // Fonts grow with the window, so every text still fits; without the scaling they would double in a window
    // of unchanged pixels, and the tiles' second lines would be cut.
    const QStringList cut = textsThatDoNotFit(&window);
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1String("; "))));
}

void TestHighDpi::iconCarriesTheSizesOfHighDpiTitleBars()
{
    const qreal scale = expectedScale();
    const QIcon icon(QStringLiteral(":/icon/app_icon_zv.ico"));
    QVERIFY(icon.availableSizes().contains(QSize(256, 256)));
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // A title-bar icon of 32 logical pixels is drawn from an image of the device size, not blown up.
    const QPixmap pixmap = window.windowIcon().pixmap(window.windowHandle(), QSize(32, 32));
    QCOMPARE(pixmap.devicePixelRatio(), scale);
    QCOMPARE(pixmap.size(), QSize(qRound(32 * scale), qRound(32 * scale)));
}

int main(int argc, char* argv[])
{
    enableHighDpiScaling();
    QApplication application(argc, argv);
    TestHighDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_highdpi.moc"
