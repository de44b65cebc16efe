#include "modalanswer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

struct ModalAnswer::State
{
    Action action;
    int timeoutMs = 0;
    QElapsedTimer clock;
    QTimer timer;
    bool answered = false;
    QString title;
};

ModalAnswer::ModalAnswer(Action action, int timeoutMs) : m_state(std::make_unique<State>())
{
    State* state = m_state.get();
    state->action = std::move(action);
    state->timeoutMs = timeoutMs;
    state->timer.setInterval(10);
    // The timer lives in the state, so it can fire only while this object exists.
    QObject::connect(&state->timer, &QTimer::timeout, [state]() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            state->timer.stop();
            state->answered = true;
            state->title = modal->windowTitle();
            state->action(modal);
        } else if (state->clock.elapsed() > state->timeoutMs) {
            state->timer.stop();
        }
    });
    state->clock.start();
    state->timer.start();
}

ModalAnswer::~ModalAnswer() = default;

bool ModalAnswer::wasAnswered() const
{
    return m_state->answered;
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
        if (auto* edit = modal->findChild<QLineEdit*>())
            QTest::keyClicks(edit, input);
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
        if (info.isDir()) {
            dialog->setDirectory(info.absoluteFilePath());
        } else {
            dialog->setDirectory(info.absolutePath());
            dialog->selectFile(info.fileName());
        }
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept is protected; it runs through QDialog
    };
}
