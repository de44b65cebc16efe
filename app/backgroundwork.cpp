#include "app/backgroundwork.h"

#include "app/windowsetup.h"

#include <QApplication>
#include <QFutureInterface>
#include <QProgressDialog>
#include <QRunnable>
#include <QThreadPool>

namespace {

std::atomic<int> abandonedWork{0};

} // namespace

QThreadPool* BackgroundWork::pool()
{
    // Never deleted: at the end nothing waits for work that was left running.
    static QThreadPool* const workPool = new QThreadPool;
    return workPool;
}

// The pool and the watcher hand the work over through Qt's own locks; the flags say in the program's own code what
// they guarantee (and make it visible to ThreadSanitizer, which does not see into Qt): the work sees what was made
// for it, and the GUI thread what the work made.
class BackgroundWork::Task : public QRunnable
{
public:
    Task(QFutureInterface<void> promise, std::function<void()> work, std::shared_ptr<Handover> handover)
        : promise(std::move(promise)), work(std::move(work)), handover(std::move(handover))
    {
    }

    void run() override
    {
        started.load(std::memory_order_acquire);
        work();
        handover->ended.store(true, std::memory_order_release);
        promise.reportFinished();
    }

    std::atomic<bool> started{false};

private:
    QFutureInterface<void> promise;
    std::function<void()> work;
    std::shared_ptr<Handover> handover;
};

int BackgroundWork::progressDelayMs = 400;

BackgroundWork::BackgroundWork(QWidget* window) : QObject(window), window(window)
{
    progressDelay.setSingleShot(true);
    connect(&progressDelay, &QTimer::timeout, this, &BackgroundWork::showProgress);
    // The program ends: work that can be stopped is, and none is waited for here.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (!watcher)
            return;
        abandon();
        endWaiting();
    });
}

BackgroundWork::~BackgroundWork()
{
    // The window goes: its work may not call back into it. The window itself is not touched any more.
    if (watcher) {
        abandon();
        progressDelay.stop();
        delete progress;
        QApplication::restoreOverrideCursor();
    }
}

int BackgroundWork::abandonedRunning()
{
    return abandonedWork.load();
}

bool BackgroundWork::start(const QString& what, std::function<void()> work, std::function<void()> whenDone,
                           std::shared_ptr<SignEngine::CryptControl> control)
{
    if (watcher)
        return false;
    this->what = what;
    this->whenDone = std::move(whenDone);
    this->control = control;
    cancelled = false;
    focus = window->focusWidget();
    window->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);

    // The work's own future, so that it can report how far it is; the watcher hands that and its end to the GUI
    // thread by signal.
    QFutureInterface<void> promise;
    promise.setProgressRange(0, 100);
    promise.reportStarted();
    watcher = new QFutureWatcher<void>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, &BackgroundWork::finish);
    connect(watcher, &QFutureWatcherBase::progressValueChanged, this, [this](int percent) {
        if (progress)
            progress->setValue(percent);
    });
    watcher->setFuture(promise.future());
    if (control)
        control->progressed = [promise](int percent) mutable { promise.setProgressValue(percent); };
    handover = std::make_shared<Handover>();
    auto* task = new Task(promise, std::move(work), handover);
    task->started.store(true, std::memory_order_release);
    pool()->start(task);
    progressDelay.start(progressDelayMs);
    return true;
}

void BackgroundWork::showProgress()
{
    progress = new QProgressDialog(what, QStringLiteral("取消"), 0, control ? 100 : 0);
    progress->setObjectName(QStringLiteral("progressDialog"));
    progress->setWindowTitle(window->windowTitle());
    progress->setAutoReset(false);
    progress->setAutoClose(false);
    progress->resize(progress->sizeHint());
    setupWindow(progress, false);
    // The window is disabled, and a box of its own would be too; this one belongs to nobody and blocks the rest.
    progress->setWindowModality(Qt::ApplicationModal);
    centreOver(progress, window);
    if (control && control->blocksTotal.load() > 0)
        progress->setValue(static_cast<int>(control->blocksDone.load() * 100 / control->blocksTotal.load()));
    connect(progress, &QProgressDialog::canceled, this, &BackgroundWork::cancel);
    // The box can be used: the pointer says busy, not blocked.
    QApplication::changeOverrideCursor(Qt::BusyCursor);
    progress->show();
}

void BackgroundWork::cancel()
{
    if (!watcher || cancelled)
        return;
    cancelled = true;
    if (control) {
        control->cancelled.store(true); // stops within a block or two; finish() follows
        return;
    }
    abandon();
    endWaiting();
}

// The work goes on without this object: its watcher lives until it ends, and the pool has a thread more
// meanwhile, so that work left waiting for a file cannot hold up later work.
void BackgroundWork::abandon()
{
    if (control)
        control->cancelled.store(true);
    QFutureWatcher<void>* left = watcher;
    watcher = nullptr;
    whenDone = nullptr;
    left->disconnect(this);
    left->setParent(nullptr);
    ++abandonedWork;
    pool()->setMaxThreadCount(pool()->maxThreadCount() + 1);
    connect(left, &QFutureWatcherBase::finished, left, [left] {
        --abandonedWork;
        pool()->setMaxThreadCount(pool()->maxThreadCount() - 1);
        left->deleteLater();
    });
}

void BackgroundWork::finish()
{
    handover->ended.load(std::memory_order_acquire);
    watcher->deleteLater();
    watcher = nullptr;
    const std::function<void()> done = std::move(whenDone);
    whenDone = nullptr;
    endWaiting();
    if (!cancelled && done)
        done();
}

void BackgroundWork::endWaiting()
{
    progressDelay.stop();
    if (progress) {
        progress->hide();
        progress->deleteLater();
        progress.clear();
    }
    control.reset();
    window->setEnabled(true);
    if (focus && focus->isEnabled())
        focus->setFocus();
    QApplication::restoreOverrideCursor();
}
