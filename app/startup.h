#ifndef APP_STARTUP_H
#define APP_STARTUP_H

class QCoreApplication;

// Follow the screen's scaling: every window has a fixed size in device-independent pixels, so at 200 % a
// 500 x 560 window becomes 1000 x 1120 device pixels with its fonts in proportion, instead of keeping its pixels
// while the fonts double. Fractional factors (125 %, 150 %) pass through unrounded, and pixmaps such as the icon
// are drawn from their larger sizes. Must run before the application object is created.
void enableHighDpiScaling();

// Qt's own texts (the buttons of the file dialog, the edit menus) in Chinese like the program's, where Qt's
// translation is installed. Returns whether it was found.
bool installToolkitTranslation(QCoreApplication* application);

// Local 8-bit text and file names are UTF-8, whatever the system's locale says.
void useUtf8ForLocalText();

#endif // APP_STARTUP_H
