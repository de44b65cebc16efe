#ifndef TESTS_PASSPHRASEPROMPTS_H
#define TESTS_PASSPHRASEPROMPTS_H

#include <QByteArray>

#include <openssl/ui.h>

// While it lives, the library's default user interface answers every pass-phrase prompt with answer and counts
// it. Under CTest there is no terminal, so a real prompt would fail at once and look like no prompt at all.
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
