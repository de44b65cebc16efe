#include "app/mainwindow.h"
#include "app/startup.h"
#include "textfit.h"
#include "windowdriver.h"

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
    void iconCarriesTheSizesOfHighDpiTitleBars();
    void everyWindowKeepsItsProportionsAndTextsFit_data();
    void everyWindowKeepsItsProportionsAndTextsFit();

private:
    static qreal expectedScale();
};

qreal TestHighDpi::expectedScale()
{
    const int dpi = qEnvironmentVariableIntValue("QT_FONT_DPI");
    return dpi > 0 ? dpi / 96.0 : 1.0;
}

void TestHighDpi::iconCarriesTheSizesOfHighDpiTitleBars()
{
    const qreal scale = expectedScale();
    QVERIFY(QIcon(":/icon/app_icon_zv.ico").availableSizes().contains(QSize(256, 256)));
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // A title-bar icon of 32 logical pixels is drawn from an image of the device size, not blown up.
    const QPixmap pixmap = window.windowIcon().pixmap(QSize(32, 32));
    QCOMPARE(pixmap.devicePixelRatio(), scale);
    QCOMPARE(pixmap.size(), QSize(qRound(32 * scale), qRound(32 * scale)));
}

void TestHighDpi::everyWindowKeepsItsProportionsAndTextsFit_data()
{
    QTest::addColumn<QString>("window");
    for (const QString& window : everyWindow())
        QTest::newRow(qPrintable(window)) << window;
}

void TestHighDpi::everyWindowKeepsItsProportionsAndTextsFit()
{
    QFETCH(QString, window);
    const qreal scale = expectedScale();
    const auto shown = makeWindow(window);
    const QSize size = shown->size();
    shown->show();
    QVERIFY(QTest::qWaitForWindowExposed(shown.get()));
    // Not rounded: 150 % stays 1.5.
    QCOMPARE(shown->devicePixelRatioF(), scale);
    QCOMPARE(shown->size(), size);
    QCOMPARE(shown->grab().size(), QSize(qRound(size.width() * scale), qRound(size.height() * scale)));
    // Fonts grow with the window, so every text still fits; without the scaling they would double in a window
    // of unchanged pixels, and the main window's tiles would lose their second lines.
    QCOMPARE(textsThatDoNotFit(shown.get()), QString());
}

int main(int argc, char* argv[])
{
    enableHighDpiScaling();
    QApplication application(argc, argv);
    TestHighDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_highdpi.moc"
