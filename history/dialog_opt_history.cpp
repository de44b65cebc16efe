#include "history/dialog_opt_history.h"

#include "app/windowsetup.h"
#include "app/zvmessagebox.h"
#include "certengine/certengine.h"
#include "forms/ui_dialog_opt_history.h"

#include <QItemSelectionModel>
#include <QStringListModel>

Dialog_Opt_History::Dialog_Opt_History(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::Dialog_Opt_History>())
{
    ui->setupUi(this);
    setupWindow(this, false);

    connect(ui->backBtn, &QPushButton::clicked, this, &Dialog_Opt_History::backBtnClick);
    connect(ui->okBtn, &QPushButton::clicked, this, &Dialog_Opt_History::okBtnClick);
    connect(ui->clearBtn, &QPushButton::clicked, this, &Dialog_Opt_History::clearBtnClick);
    // Enter on the list's current row chooses it; the default button then restores it as okBtn does.
    connect(ui->listView, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
        ui->listView->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
    });

    names = CertEngine::instance()->listHistory(&refusal);
    showNames();
}

Dialog_Opt_History::~Dialog_Opt_History() = default;

void Dialog_Opt_History::showNames()
{
    // The view is the model's parent, but replacing the model deletes neither the old model nor its selection model.
    QAbstractItemModel* previousModel = ui->listView->model();
    QItemSelectionModel* previousSelection = ui->listView->selectionModel();
    ui->listView->setModel(new QStringListModel(names, ui->listView));
    delete previousSelection;
    delete previousModel;
    // The record is taken from the selection, so the arrow keys choose as well as a click.
    connect(ui->listView->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this]() {
        const QModelIndexList selected = ui->listView->selectionModel()->selectedIndexes();
        if (!selected.isEmpty())
            listViewItemClick(selected.first());
    });
}

bool Dialog_Opt_History::run(QWidget* parent)
{
    selectedName.clear();
    return runCentred(this, parent);
}

QString Dialog_Opt_History::selectedRecord() const
{
    return selectedName;
}

void Dialog_Opt_History::backBtnClick(bool)
{
    reject();
}

void Dialog_Opt_History::okBtnClick(bool)
{
    if (selectedName.isEmpty())
        reject();
    else
        accept();
}

void Dialog_Opt_History::clearBtnClick(bool)
{
    ZVMessageBox box(QStringLiteral("是否清空"), QStringLiteral("确定清空操作历史吗？清空不可恢复"),
                     QStringLiteral("清空"), QStringLiteral("取消"), false);
    if (!box.run(this))
        return;
    CertEngine::instance()->clearHistory();
    selectedName.clear();
    names.clear();
    showNames();
    ui->okBtn->setEnabled(false);
}

void Dialog_Opt_History::listViewItemClick(const QModelIndex& index)
{
    if (index.row() >= 0 && index.row() < names.size())
        selectedName = names.at(index.row());
    ui->okBtn->setEnabled(true);
}
