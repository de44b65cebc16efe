#ifndef TESTS_PASSPHRASEPROMPTS_H
#define TESTS_PASSPHRASEPROMPTS_H

#include <QByteArray>

#include <openssl/ui.h>

// While it lives, stands in for the library's default user interface: every pass-phrase prompt is answered with
// answer and counted. A reader called without a pass-phrase callback asks the default interface, which prompts
// on the terminal; under CTest there is no terminal and such a prompt fails at once, so a loader that forgot
// its callback would look like one that never asks. With this in place it is asked, and the test sees it.
// One at a time.
class PassphrasePrompts
{
public:
    explicit PassphrasePrompts(const QByteArray& answer);
    ~PassphrasePrompts();
    PassphrasePrompts(const PassphrasePrompts&) = delete;
    PassphrasePrompts& operator=(const PassphrasePrompts&) = delete;

    int count() const;

private:
    UI_METHOD* m_method;
    const UI_METHOD* m_previous;
};

#endif // TESTS_PASSPHRASEPROMPTS_H
