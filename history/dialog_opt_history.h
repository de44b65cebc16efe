#ifndef HISTORY_DIALOG_OPT_HISTORY_H
#define HISTORY_DIALOG_OPT_HISTORY_H

#include <QDialog>
#include <QModelIndex>
#include <QStringList>

#include <memory>

namespace Ui {
class Dialog_Opt_History;
}

// The stored certificate requests by name, newest first: the merchant picks one to restore (with the mouse, or
// with the arrow keys and Enter) or clears them all after a question. Runs modally over the request page.
class Dialog_Opt_History : public QDialog
{
    Q_OBJECT

public:
    explicit Dialog_Opt_History(QWidget* parent = nullptr);
    ~Dialog_Opt_History() override;

    // Shows the dialog modally, centred over parent; true when a record was chosen with okBtn.
    bool run(QWidget* parent);
    QString selectedRecord() const;
    // 0, or the code with which the history refused to list its records (the list is then empty).
    int listCode() const { return refusal; }

private slots:
    void backBtnClick(bool);
    void okBtnClick(bool);
    void clearBtnClick(bool);
    void listViewItemClick(const QModelIndex& index);

private:
    // Gives the list a fresh model over names; the selection follows the new model.
    void showNames();

    std::unique_ptr<Ui::Dialog_Opt_History> ui;
    QString selectedName;
    QStringList names;
    int refusal = 0;
};

#endif // HISTORY_DIALOG_OPT_HISTORY_H
