#ifndef APP_BACKGROUNDWORK_H
#define APP_BACKGROUNDWORK_H

#include "signengine/signengine.h"

#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

class QProgressDialog;
class QThreadPool;

// Long work of a window (a key file to read, megabytes to encrypt) runs on a thread pool while the window
// waits disabled, so that no click, key or screen reader's press reaches it; a QFutureWatcher brings the end of the
// work back to the GUI thread by its signal. Once the work has taken longer than a moment, a progress box (a window
// of its own) says what runs, with the share done when the work reports it, and offers "取消".
//
// Work with a CryptControl stops through it when cancelled, and the window waits the block or two that takes.
// Work without one cannot be stopped: cancelled, it is left to end on its own, unwaited, so it must own what it
// touches (copies, shared pointers). The same goes for any work whose window is destroyed or whose program ends.
class BackgroundWork : public QObject
{
    Q_OBJECT

public:
    // How long work may take before its progress box appears. Tests shorten it.
    static int progressDelayMs;

    // Work for window, which owns this object.
    explicit BackgroundWork(QWidget* window);
    ~BackgroundWork() override;

    // Starts work on the pool and returns at once; whenDone runs on the GUI thread once it has ended, unless it
    // was cancelled. what is the progress box's text. False, and nothing started, while other work runs.
    bool start(const QString& what, std::function<void()> work, std::function<void()> whenDone,
               std::shared_ptr<SignEngine::CryptControl> control = nullptr);
    bool isRunning() const { return watcher != nullptr; }

    // Work that was left to end on its own and is still running; the program ends without waiting for it.
    static int abandonedRunning();
    // The pool on which the work runs. Not Qt's global one: the toolkit runs pieces of its own work there (large
    // image conversions) and the GUI thread waits for them, which work holding every thread of it (the only one
    // on a one-core machine, or a load waiting for a file) would hold up for as long.
    static QThreadPool* pool();

private:
    void showProgress();
    void cancel();
    void abandon();
    void finish();
    void endWaiting();

    class Task;
    struct Handover
    {
        std::atomic<bool> ended{false};
    };

    QWidget* const window;
    QString what;
    QFutureWatcher<void>* watcher = nullptr;
    std::shared_ptr<SignEngine::CryptControl> control;
    std::function<void()> whenDone;
    QTimer progressDelay;
    QPointer<QProgressDialog> progress;
    QPointer<QWidget> focus; // where the keyboard was when the work started
    std::shared_ptr<Handover> handover;
    bool cancelled = false;
};

#endif // APP_BACKGROUNDWORK_H
