#include "modalanswer.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

// How long an answered window may stay open before the answer is taken as failed.
constexpr int kSettleMs = 2000;

} // namespace

struct ModalAnswer::State
{
    QVector<Action> actions;
    int next = 0;
    int timeoutMs = 0;
    QElapsedTimer clock; // since arming, then since the latest action
    QTimer timer;
    QPointer<QWidget> answered; // the window the latest action ran on
    bool failed = false;
    QString title;

    void tick();
};

void ModalAnswer::State::tick()
{
    QWidget* modal = QApplication::activeModalWidget();
    const bool open = modal && modal->isVisible();

    if (answered && answered->isVisible() && modal == answered) {
        if (clock.elapsed() <= kSettleMs)
            return;
        // The action did not close its window: close it, so the code under test returns, and fail the test.
        failed = true;
        const QByteArray message = "ModalAnswer: the window \"" + answered->windowTitle().toUtf8() +
                                   "\" was still open after its answer; it was closed";
        if (auto* dialog = qobject_cast<QDialog*>(answered.data()))
            dialog->reject();
        else
            answered->close();
        answered.clear();
        QTest::qVerify(false, "the modal window closed after its answer", message.constData(), __FILE__, __LINE__);
        if (next >= actions.size())
            timer.stop();
        return;
    }

    if (next >= actions.size()) {
        timer.stop();
        return;
    }
    if (open) {
        answered = modal;
        if (next == 0)
            title = modal->windowTitle();
        clock.restart();
        actions.at(next++)(modal);
        return;
    }
    if (clock.elapsed() > timeoutMs)
        timer.stop();
}

ModalAnswer::ModalAnswer(Action action, int timeoutMs) : ModalAnswer(QVector<Action>{std::move(action)}, timeoutMs) {}

ModalAnswer::ModalAnswer(QVector<Action> actions, int timeoutMs) : m_state(std::make_unique<State>())
{
    State* state = m_state.get();
    state->actions = std::move(actions);
    state->timeoutMs = timeoutMs;
    state->timer.setInterval(10);
    // The timer lives in the state, so it can fire only while this object exists.
    QObject::connect(&state->timer, &QTimer::timeout, [state]() { state->tick(); });
    state->clock.start();
    state->timer.start();
}

ModalAnswer::~ModalAnswer() = default;

bool ModalAnswer::wasAnswered() const
{
    return m_state->next > 0;
}

int ModalAnswer::answeredCount() const
{
    return m_state->next;
}

bool ModalAnswer::failed() const
{
    return m_state->failed;
}

QString ModalAnswer::seenTitle() const
{
    return m_state->title;
}

ModalAnswer::Action ModalAnswer::clickButtonWithText(const QString& text)
{
    return [text](QWidget* modal) {
        const auto buttons = modal->findChildren<QPushButton*>();
        for (QPushButton* button : buttons) {
            if (button->isVisible() && button->text() == text) {
                QTest::mouseClick(button, Qt::LeftButton);
                return;
            }
        }
        qWarning("ModalAnswer: no visible button with the text %s", qPrintable(text));
    };
}

ModalAnswer::Action ModalAnswer::clickButtonNamed(const QString& objectName)
{
    return [objectName](QWidget* modal) {
        if (auto* button = modal->findChild<QPushButton*>(objectName))
            QTest::mouseClick(button, Qt::LeftButton);
        else
            qWarning("ModalAnswer: no button named %s", qPrintable(objectName));
    };
}

ModalAnswer::Action ModalAnswer::typeAndClick(const QString& input, const QString& buttonObjectName)
{
    return [input, buttonObjectName](QWidget* modal) {
        if (auto* edit = modal->findChild<QLineEdit*>()) {
            // QTest types ASCII keys only; other characters arrive as an input method would insert them.
            bool ascii = true;
            for (const QChar c : input)
                ascii = ascii && c.unicode() < 0x80;
            if (ascii)
                QTest::keyClicks(edit, input);
            else
                edit->insert(input);
        }
        if (auto* button = modal->findChild<QPushButton*>(buttonObjectName))
            QTest::mouseClick(button, Qt::LeftButton);
    };
}

ModalAnswer::Action ModalAnswer::pressEscape()
{
    return [](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); };
}

ModalAnswer::Action ModalAnswer::closeWindow()
{
    return [](QWidget* modal) { modal->close(); };
}

ModalAnswer::Action ModalAnswer::chooseFile(const QString& path)
{
    return [path](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog) {
            qWarning("ModalAnswer: the modal window is not a file dialog");
            return;
        }
        const QFileInfo info(path);
        // QFileDialog::selectFile leaves the file-name edit alone while it has the focus (which it has whenever
        // the dialog opened after another modal window), so the name is typed into the edit itself; accept()
        // reads it from there.
        auto* nameEdit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (info.isDir()) {
            dialog->setDirectory(info.absoluteFilePath());
            if (nameEdit)
                nameEdit->clear();
        } else {
            dialog->setDirectory(info.absolutePath());
            dialog->selectFile(info.fileName());
            if (nameEdit)
                nameEdit->setText(info.fileName());
        }
        // accept() is a slot; invoking it by name reaches QFileDialog's own override.
        QMetaObject::invokeMethod(dialog, "accept");
    };
}

ModalAnswer::Action ModalAnswer::cancelFileDialog()
{
    return [](QWidget* modal) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    };
}
