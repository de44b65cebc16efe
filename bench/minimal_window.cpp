// The yardstick for start-up: the least a Qt program does to show a window with the main window's Chinese texts
// in its fonts (so both draw the same glyphs), with plain labels instead of the program's widgets and set-up.
#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QString::fromUtf8("Zorvik商户平台证书工具 v1.0.0"));
    window.resize(500, 560);
    QLabel heading(QString::fromUtf8("工具介绍&使用注意事项"), &window);
    QFont headingFont;
    headingFont.setPointSize(15);
    headingFont.setBold(true);
    heading.setFont(headingFont);
    heading.setGeometry(12, 16, 476, 44);
    QLabel tiles(QString::fromUtf8("申请证书\n申请新的证书和密钥\n更换证书\n更换证书并保留原有的密钥\n签名/验签\n"
                                   "通过选择本地证书进行签名/验签操作\n加密/解密\n通过选择本地证书进行加密/解密操作\n"
                                   "查看证书\n查看本地证书文件的详细信息"),
                 &window);
    QFont tileFont;
    tileFont.setPointSize(9);
    tiles.setFont(tileFont);
    tiles.setGeometry(12, 80, 476, 400);
    QLabel footer(QString::fromUtf8("证书文件和私钥请妥善保管，切勿外传"), &window);
    footer.setGeometry(20, 500, 460, 40);
    window.show();
    return application.exec();
}
