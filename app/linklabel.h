#ifndef APP_LINKLABEL_H
#define APP_LINKLABEL_H

#include <QLabel>

// A label that holds one rich-text link and behaves like a link for the keyboard and for accessibility tools:
// Tab reaches it as one stop, Enter or Space activates the link (linkActivated with its target), and screen
// readers see a link named by the label's accessible name, whose press action activates it once the action has
// returned.
class LinkLabel : public QLabel
{
    Q_OBJECT

public:
    explicit LinkLabel(QWidget* parent = nullptr);

    // The target of the label's first link; empty when it has none.
    QString linkTarget() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
};

#endif // APP_LINKLABEL_H
