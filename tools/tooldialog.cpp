#include "tools/tooldialog.h"

#include "app/backgroundwork.h"
#include "app/filechooser.h"
#include "crypto/keyfilekind.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTextDocument>

ToolDialog::ToolDialog() : StackPage(nullptr), engine(std::make_shared<SignEngine>()) {}

ToolDialog::~ToolDialog() = default;

void ToolDialog::setUpToolWindow(QLabel* errorLabel, QLabel* fileNameLabel)
{
    setUpPage(errorLabel);
    nameLabel = fileNameLabel;
}

void ToolDialog::chooseAndLoad(const QString& failure, bool keepNameOnFailure, std::function<void()> whenLoaded)
{
    QString path, displayName, password;
    KeyFileKind kind = KeyFilePkcs12;
    if (background()->isRunning() || !chooseCertFile(this, &path, &displayName, &kind, &password))
        return;
    struct Load
    {
        std::shared_ptr<SignEngine> engine = std::make_shared<SignEngine>();
        int result = 0;
    };
    auto load = std::make_shared<Load>();
    load->engine->fileKind = kind;
    background()->start(
        QStringLiteral("正在读取文件…"),
        // The password moves into the load, which cleanses it: the work keeps no copy of it.
        [load, path = path.toUtf8(), password = password.toUtf8()]() mutable {
            load->result = load->engine->loadKeyFile(path, std::move(password));
        },
        [this, load, displayName, failure, keepNameOnFailure, whenLoaded] {
            nameLabel->setText(displayName);
            engine = load->engine;
            if (load->result != 0) {
                showMessage(failure.arg(load->result));
                if (!keepNameOnFailure)
                    nameLabel->clear();
                return;
            }
            showMessage(QString());
            whenLoaded();
        });
}

bool ToolDialog::hasInput(const QString& noFile, std::initializer_list<Required> required)
{
    if (nameLabel->text().isEmpty()) {
        showMessage(noFile);
        return false;
    }
    for (const Required& each : required) {
        if (each.edit->document()->isEmpty()) {
            showMessage(each.missing);
            return false;
        }
    }
    return true;
}
