// How the encrypt/decrypt window answers while it works on a 10 MiB text: the real Dialog_RSA_Crypt, driven through its
// widgets on Qt's offscreen platform. A timer of the GUI thread ticks every 10 ms; the longest gap between two ticks
// is how long the window did not answer. Measured in the same run:
//   - the yardsticks: the decryption done in one engine call on the GUI thread, on one core (how the window once
//     worked: it froze for all of it), and the result shown as the window once showed it, in one paragraph;
//   - the 10 MiB ciphertext pasted into the window by its button;
//   - a whole decryption of 10 MiB of Base64 text and a whole encryption into 10 MiB of it: the longest gap while
//     the engine works, and while the window shows the result;
//   - a cancelled decryption: 取消 pressed a second into the work, and the time until the window is idle again.
// Not a test: build it in Release (-DCERTUTIL_BUILD_BENCH=ON) and run it by hand.
#include "app/logfile.h"
#include "app/textbox.h"
#include "signengine/signengine.h"
#include "tools/dialog_rsa_crypt.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>
#include <vector>

namespace {

constexpr int kCipherText = 10 << 20;
constexpr int kTickMs = 10;

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "bench_window: %s failed\n", what);
    std::exit(1);
}

// Printable bytes, none of them zero.
QByteArray printableText(int size)
{
    QByteArray text(size, Qt::Uninitialized);
    std::uint32_t seed = 5;
    for (char& c : text) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>('!' + (seed >> 24) % 90);
    }
    return text;
}

// The moments at which the GUI thread's timer ticked, in milliseconds since the clock started.
struct Ticks
{
    QElapsedTimer clock;
    QTimer timer;
    std::vector<qint64> at;
    std::function<void()> onTick;

    Ticks()
    {
        clock.start();
        timer.setInterval(kTickMs);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            at.push_back(clock.elapsed());
            if (onTick)
                onTick();
        });
    }
    void start()
    {
        at.assign(1, clock.elapsed());
        timer.start();
    }
    // The longest gap between two ticks (or the start and a tick) that ends at or before the given moment, or
    // after it, and where it ends, counted from the start.
    std::pair<qint64, qint64> longestGap(qint64 until, bool after) const
    {
        std::pair<qint64, qint64> longest(0, 0);
        for (size_t i = 1; i < at.size(); ++i) {
            if ((at[i] <= until) != after && at[i] - at[i - 1] > longest.first)
                longest = {at[i] - at[i - 1], at[i] - at[0]};
        }
        return longest;
    }
};

// Answers the file dialog of the window's chooser with the given file.
void chooseFileSoon(const QString& path)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, path] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        dialog->setDirectory(QFileInfo(path).absolutePath());
        if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            name->setText(QFileInfo(path).fileName());
        QMetaObject::invokeMethod(dialog, "accept");
        timer->deleteLater();
    });
    timer->start(20);
}

// The window works off the GUI thread, disabled; the event loop runs until it is done.
void waitWhileWorking(QWidget* window)
{
    do
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    while (!window->isEnabled());
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        fail("the working directory");
    LogFile::instance()->setFileName("certutil_zv.txt");

    EVP_PKEY* key = EVP_RSA_gen(2048);
    BIO* bio = BIO_new_file("key.pem", "wb");
    if (!key || !bio || !PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr))
        fail("writing the key");
    BIO_free(bio);
    EVP_PKEY_free(key);

    // 10 MiB of ciphertext text, whole blocks, as the window writes it.
    const int plainSize = (kCipherText / 4 * 3) / 256 * 245;
    const QByteArray plain = printableText(plainSize);
    SignEngine engine;
    engine.fileKind = KeyFilePem;
    QByteArray cipherText;
    if (engine.loadKeyFile("key.pem", QByteArray()) != 0 || engine.cryptText(true, true, plain, cipherText) != 0)
        fail("the ciphertext");

    std::printf("Decrypting %.1f MiB of text (%d blocks) with the private key in the encrypt/decrypt window, and "
                "encrypting its result again with the public key\n",
                cipherText.size() / 1048576.0, int(cipherText.size() / 4 * 3 / 256));
    std::fflush(stdout);
    SignEngine::CryptControl oneCore;
    oneCore.threads = 1;
    QByteArray decrypted;
    QElapsedTimer clock;
    clock.start();
    if (engine.cryptText(false, false, cipherText, decrypted, &oneCore) != 0 || decrypted != plain)
        fail("the yardstick decryption");
    const qint64 yardstick = clock.elapsed();
    std::printf("  yardstick: one engine call on the GUI thread, one core   %6lld ms without a tick\n", yardstick);
    std::fflush(stdout);
    {
        // As the window's output box once showed it: one paragraph, with the scroll bar it will need from the start.
        QPlainTextEdit box;
        box.setWordWrapMode(QTextOption::WrapAnywhere);
        box.resize(476, 112);
        box.show();
        QApplication::processEvents();
        clock.restart();
        box.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        box.setPlainText(QString::fromLatin1(decrypted));
        QApplication::processEvents();
        std::printf("  yardstick: the %.1f MiB result shown in one paragraph on the GUI thread   %6lld ms without a "
                    "tick\n",
                    decrypted.size() / 1048576.0, clock.elapsed());
        std::fflush(stdout);
    }
    decrypted.clear();

    Dialog_RSA_Crypt window;
    window.show();
    chooseFileSoon(dir.filePath(QStringLiteral("key.pem")));
    window.findChild<QPushButton*>(QStringLiteral("chooseCertBtn"))->click();
    waitWhileWorking(&window);
    auto* input = window.findChild<TextBox*>(QStringLiteral("inputTextEdit"));
    auto* output = window.findChild<TextBox*>(QStringLiteral("outputTextEdit"));
    auto* decrypt = window.findChild<QPushButton*>(QStringLiteral("decryptBtn"));

    // A whole operation on the input, and its result shown.
    Ticks ticks;
    const auto measure = [&](const char* what, const char* radio, QPushButton* button, int resultSize) {
        window.findChild<QRadioButton*>(QLatin1String(radio))->click();
        QApplication::processEvents();
        qint64 shown = -1;
        bool progressSeen = false;
        const auto showing = QObject::connect(output, &QPlainTextEdit::textChanged, [&] {
            if (shown < 0)
                shown = ticks.clock.elapsed();
        });
        ticks.onTick = [&] {
            progressSeen = progressSeen || qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        };
        ticks.start();
        const qint64 started = ticks.clock.elapsed();
        button->click();
        waitWhileWorking(&window);
        const qint64 ended = ticks.clock.elapsed();
        // Ticks after the result is shown, so that the gap that holds the showing ends in one.
        while (ticks.clock.elapsed() < ended + 200)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        ticks.timer.stop();
        QObject::disconnect(showing);
        if (output->text().size() != resultSize || shown < 0)
            fail(what);
        const auto working = ticks.longestGap(shown, false);
        std::printf("  window, %s: %6lld ms; longest gap between ticks %4lld ms, ending %lld ms after the click "
                    "(ratio to the yardstick decryption %.3f); progress box %s\n",
                    what, shown - started, working.first, working.second, double(working.first) / yardstick,
                    progressSeen ? "shown" : "not shown");
        std::printf("  window, showing the %.1f MiB result in the output box: longest gap between ticks %6lld ms\n",
                    resultSize / 1048576.0, ticks.longestGap(shown, true).first);
        std::printf("  window, click to idle: %6lld ms\n", ended - started);
        std::fflush(stdout);
    };
    // The ciphertext pasted into the input box, by the window's own button.
    QGuiApplication::clipboard()->setText(QString::fromLatin1(cipherText));
    clock.restart();
    window.findChild<QPushButton*>(QStringLiteral("pasteInputBtn"))->click();
    QApplication::processEvents();
    std::printf("  window, pasting the %.1f MiB ciphertext into the input box: %6lld ms without a tick\n",
                cipherText.size() / 1048576.0, clock.elapsed());
    measure("decrypting", "priKeyRadioBtn", decrypt, plainSize);
    input->showText(QString::fromLatin1(plain));
    measure("encrypting", "pubKeyRadioBtn", window.findChild<QPushButton*>(QStringLiteral("encryptBtn")),
            cipherText.size());
    input->showText(QString::fromLatin1(cipherText));
    window.findChild<QRadioButton*>(QStringLiteral("priKeyRadioBtn"))->click();

    // A cancelled decryption.
    output->setPlainText(QStringLiteral("earlier"));
    qint64 cancelledAt = -1;
    ticks.start();
    const qint64 cancelStarted = ticks.clock.elapsed();
    ticks.onTick = [&] {
        auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (progress && cancelledAt < 0 && ticks.clock.elapsed() - cancelStarted >= 1000) {
            cancelledAt = ticks.clock.elapsed();
            progress->findChild<QPushButton*>()->click();
        }
    };
    decrypt->click();
    waitWhileWorking(&window);
    const qint64 idle = ticks.clock.elapsed();
    ticks.timer.stop();
    if (cancelledAt < 0 || output->text() != QStringLiteral("earlier"))
        fail("cancelling");
    const auto cancelGap = ticks.longestGap(idle, false);
    std::printf("  window, cancelled after %lld ms: 取消 to idle %4lld ms; longest gap between ticks %4lld ms, ending "
                "%lld ms after the click\n",
                cancelledAt - cancelStarted, idle - cancelledAt, cancelGap.first, cancelGap.second);
    return 0;
}
