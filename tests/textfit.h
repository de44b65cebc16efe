#ifndef TESTS_TEXTFIT_H
#define TESTS_TEXTFIT_H

#include <QString>

class QWidget;

// Every visible button's and label's text in window measured with its own font against the room its widget
// gives it (the style's contents rectangle of a button, the contents rectangle of a label). Returns one line per
// text that would be cut or that fills its line with less than half a CJK character to spare (other systems'
// fonts are wider), naming the widget and both sizes; empty when everything fits.
QString textsThatDoNotFit(QWidget* window);

#endif // TESTS_TEXTFIT_H
