#include "tools/tooldialog.h"

#include "app/filechooser.h"
#include "crypto/keyfilekind.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QTextDocument>
#include <QTimer>

#include <atomic>
#include <climits>
#include <memory>
#include <system_error>

namespace {

// How often the waiting window looks at the work.
constexpr int kPollMs = 10;
// More characters than the tool windows' edits show without scrolling, whatever the text.
constexpr int kSurelyScrolls = 64 * 1024;

} // namespace

int ToolDialog::progressDelayMs = 400;

ToolDialog::ToolDialog() : StackPage(nullptr)
{
    // The windows are never destroyed before the program ends; a cancelled load still at work then is waited for.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &ToolDialog::joinAbandonedWork);
}

ToolDialog::~ToolDialog()
{
    joinAbandonedWork();
}

void ToolDialog::joinAbandonedWork()
{
    for (std::thread& work : abandoned)
        work.join();
    abandoned.clear();
}

void ToolDialog::setUpToolWindow(QLabel* errorLabel, QLabel* fileNameLabel)
{
    setUpPage(errorLabel);
    nameLabel = fileNameLabel;
}

bool ToolDialog::chooseAndLoad(const QString& failure, bool keepNameOnFailure)
{
    if (working)
        return false;
    QString path, displayName, password;
    KeyFileKind kind = KeyFilePkcs12;
    if (!chooseCertFile(this, &path, &displayName, &kind, &password))
        return false;
    // Loaded into an engine of its own, which the work owns: a cancelled load may go on for a while and must
    // touch nothing of the window's.
    struct Load
    {
        SignEngine engine;
        int result = 0;
    };
    auto load = std::make_shared<Load>();
    load->engine.fileKind = kind;
    BusyScope busy(this);
    if (!runInBackground(QStringLiteral("正在读取文件…"), nullptr,
                         [load, path = path.toUtf8(), password = password.toUtf8()] {
                             load->result = load->engine.loadKeyFile(path, password);
                         }))
        return false;
    nameLabel->setText(displayName);
    engine = std::move(load->engine);
    if (load->result != 0) {
        showMessage(failure.arg(load->result));
        if (!keepNameOnFailure)
            nameLabel->clear();
        return false;
    }
    showMessage(QString());
    return true;
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

bool ToolDialog::runInBackground(const QString& what, SignEngine::CryptControl* control, std::function<void()> work)
{
    auto job = std::make_shared<std::function<void()>>(std::move(work));
    auto finished = std::make_shared<std::atomic<bool>>(false);
    std::thread worker;
    try {
        worker = std::thread([job, finished] {
            (*job)();
            finished->store(true, std::memory_order_release);
        });
    } catch (const std::system_error&) {
        (*job)(); // no thread to be had: the work is done here, as it used to be
        return true;
    }

    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QProgressDialog> progress;
    bool cancelled = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (finished->load(std::memory_order_acquire)) {
            loop.quit();
            return;
        }
        if (cancelled)
            return; // waiting for the work to notice
        if (!progress && clock.elapsed() >= progressDelayMs) {
            progress = std::make_unique<QProgressDialog>(what, QStringLiteral("取消"), 0, 0, this);
            progress->setObjectName(QStringLiteral("progressDialog"));
            progress->setWindowTitle(windowTitle());
            progress->setWindowModality(Qt::WindowModal);
            progress->setAutoReset(false);
            progress->setAutoClose(false);
            connect(progress.get(), &QProgressDialog::canceled, &loop, [&] {
                cancelled = true;
                if (control)
                    control->cancelled.store(true);
                else
                    loop.quit();
            });
            // The box can be used: the pointer says busy, not blocked.
            if (QApplication::overrideCursor())
                QApplication::changeOverrideCursor(Qt::BusyCursor);
            progress->show();
        }
        const qint64 total = control ? control->blocksTotal.load() : 0;
        if (progress && total > 0) {
            progress->setMaximum(static_cast<int>(qMin<qint64>(total, INT_MAX)));
            progress->setValue(static_cast<int>(qMin(control->blocksDone.load(), total)));
        }
    });
    poll.start(kPollMs);
    loop.exec();
    poll.stop();

    if (!finished->load(std::memory_order_acquire) && !cancelled) {
        // The loop was ended from outside: the program is closing.
        cancelled = true;
        if (control)
            control->cancelled.store(true);
    }
    if (finished->load(std::memory_order_acquire) || control)
        worker.join(); // work with a control stops within a block or two
    else
        abandoned.push_back(std::move(worker));
    if (progress && QApplication::overrideCursor())
        QApplication::changeOverrideCursor(Qt::WaitCursor);
    return !cancelled;
}

QString ToolDialog::editText(const QPlainTextEdit* edit)
{
    QString text = edit->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

void ToolDialog::pasteInto(QPlainTextEdit* edit)
{
    const QString text = QGuiApplication::clipboard()->text(QClipboard::Clipboard);
    if (text.isEmpty())
        return;
    BusyScope busy(this);
    showText(edit, text);
}

// Qt lays a long line out whole, and once more when the scroll bar that it needs appears. A text that surely
// needs one gets it from the start, which halves the wait for megabytes of text; a shorter one is shown as ever.
void ToolDialog::showText(QPlainTextEdit* edit, const QString& text)
{
    const bool scrolls = text.size() > kSurelyScrolls;
    if (scrolls)
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit->setPlainText(text);
    if (!scrolls)
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

ToolDialog::BusyScope::BusyScope(ToolDialog* window) : window(window), wasWorking(window->working)
{
    window->working = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    qApp->installEventFilter(this);
    // Let the cursor and any pending repaint show before the event loop stalls.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

ToolDialog::BusyScope::~BusyScope()
{
    // Input that queued up while the engine worked arrives now and is dropped by the filter; pending layout and
    // painting of what the slot showed happen here too, still under the wait cursor.
    QCoreApplication::processEvents();
    qApp->removeEventFilter(this);
    QApplication::restoreOverrideCursor();
    window->working = wasWorking;
}

bool ToolDialog::BusyScope::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd: {
        auto* widget = qobject_cast<QWidget*>(watched);
        return widget && widget->window() == window;
    }
    default:
        return false;
    }
}
