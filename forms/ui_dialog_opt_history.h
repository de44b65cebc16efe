#ifndef FORMS_UI_DIALOG_OPT_HISTORY_H
#define FORMS_UI_DIALOG_OPT_HISTORY_H

#include <QAbstractItemView>
#include <QDialog>
#include <QFont>
#include <QListView>
#include <QPushButton>

class Ui_Dialog_Opt_History
{
public:
    QListView* listView;
    QPushButton* clearBtn;
    QPushButton* backBtn;
    QPushButton* okBtn;

    void setupUi(QDialog* Dialog_Opt_History)
    {
        if (Dialog_Opt_History->objectName().isEmpty())
            Dialog_Opt_History->setObjectName(QString::fromUtf8("Dialog_Opt_History"));
        Dialog_Opt_History->resize(350, 300);

        listView = new QListView(Dialog_Opt_History);
        listView->setObjectName(QString::fromUtf8("listView"));
        listView->setGeometry(QRect(10, 10, 330, 232));
        QFont listFont;
        listFont.setPointSize(12);
        listView->setFont(listFont);
        listView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        listView->setEditTriggers(QAbstractItemView::NoEditTriggers);
        listView->setDefaultDropAction(Qt::IgnoreAction);
        listView->setSelectionMode(QAbstractItemView::SingleSelection);

        clearBtn = new QPushButton(Dialog_Opt_History);
        clearBtn->setObjectName(QString::fromUtf8("clearBtn"));
        clearBtn->setGeometry(QRect(10, 254, 100, 34));

        backBtn = new QPushButton(Dialog_Opt_History);
        backBtn->setObjectName(QString::fromUtf8("backBtn"));
        backBtn->setGeometry(QRect(125, 254, 100, 34));

        okBtn = new QPushButton(Dialog_Opt_History);
        okBtn->setObjectName(QString::fromUtf8("okBtn"));
        okBtn->setGeometry(QRect(240, 254, 100, 34));
        okBtn->setEnabled(false);
        // Enter in the list restores the chosen record, as the button does.
        okBtn->setDefault(true);

        QWidget::setTabOrder(listView, okBtn);
        QWidget::setTabOrder(okBtn, backBtn);
        QWidget::setTabOrder(backBtn, clearBtn);

        retranslateUi(Dialog_Opt_History);
    }

    void retranslateUi(QDialog* Dialog_Opt_History)
    {
        Dialog_Opt_History->setWindowTitle(QString::fromUtf8("操作记录（最近10条）"));
        listView->setAccessibleName(QString::fromUtf8("操作记录"));
        clearBtn->setText(QString::fromUtf8("清空"));
        backBtn->setText(QString::fromUtf8("返回"));
        okBtn->setText(QString::fromUtf8("恢复该操作"));
    }
};

namespace Ui {
class Dialog_Opt_History : public Ui_Dialog_Opt_History
{
};
} // namespace Ui

#endif // FORMS_UI_DIALOG_OPT_HISTORY_H
