#include "app/mainwindow.h"
#include "app/startup.h"
#include "app/zvmessagebox.h"
#include "history/dialog_opt_history.h"
#include "textfit.h"
#include "tools/dialog_certinfo_1.h"
#include "tools/dialog_certsign_main.h"
#include "tools/dialog_rsa_crypt.h"
#include "wizard/dialog_getcsr_1.h"
#include "wizard/dialog_importcert_1.h"
#include "wizard/dialog_importcert_2.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QTest>

#include <functional>
#include <memory>

// Runs on a real X display whose font DPI (QT_FONT_DPI) stands for the screen's scaling: 144 is 150 %, 192 is
// 200 %. The application is prepared exactly as the program prepares it.
class TestHighDpi : public QObject
{
    Q_OBJECT

private slots:
    void windowsKeepTheirProportionsAtTheScreensScale();
    void iconCarriesTheSizesOfHighDpiTitleBars();
    void everyWindowsTextsFitAtTheScreensScale_data();
    void everyWindowsTextsFitAtTheScreensScale();

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

using WindowFactory = std::function<QWidget*()>;
Q_DECLARE_METATYPE(WindowFactory)

void TestHighDpi::everyWindowsTextsFitAtTheScreensScale_data()
{
    QTest::addColumn<WindowFactory>("make");
    QTest::newRow("main window") << WindowFactory([] { return new MainWindow; });
    QTest::newRow("request page") << WindowFactory([] { return new Dialog_GetCSR_1; });
    QTest::newRow("request page, change mode") << WindowFactory([] {
        auto* page = new Dialog_GetCSR_1;
        page->setChangeMode();
        return page;
    });
    QTest::newRow("import page") << WindowFactory([] { return new Dialog_ImportCert_1; });
    QTest::newRow("finish page") << WindowFactory([] { return new Dialog_ImportCert_2; });
    QTest::newRow("history") << WindowFactory([] { return new Dialog_Opt_History; });
    QTest::newRow("sign/verify") << WindowFactory([] { return new Dialog_CertSign_Main; });
    QTest::newRow("encrypt/decrypt") << WindowFactory([] { return new Dialog_RSA_Crypt; });
    QTest::newRow("certificate information") << WindowFactory([] { return new Dialog_CertInfo_1; });
    QTest::newRow("question") << WindowFactory([] {
        return new ZVMessageBox(QString::fromUtf8("是否清空"), QString::fromUtf8("确定清空操作历史吗？清空不可恢复"),
                                QString::fromUtf8("清空"), QString::fromUtf8("取消"), false);
    });
    QTest::newRow("password") << WindowFactory([] {
        return new ZVMessageBox(QString::fromUtf8("证书密码"), QString::fromUtf8("请输入证书密码"),
                                QString::fromUtf8("确定"), QString::fromUtf8("取消"), true);
    });
}

void TestHighDpi::everyWindowsTextsFitAtTheScreensScale()
{
    QFETCH(WindowFactory, make);
    const std::unique_ptr<QWidget> window(make());
    const QSize size = window->size();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(window->devicePixelRatioF(), expectedScale());
    QCOMPARE(window->size(), size);
    const QStringList cut = textsThatDoNotFit(window.get());
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1String("; "))));
}

int main(int argc, char* argv[])
{
    enableHighDpiScaling();
    QApplication application(argc, argv);
    TestHighDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_highdpi.moc"
