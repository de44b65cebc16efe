#include "passphraseprompts.h"

namespace {

QByteArray g_answer;
int g_count = 0;

int answerPrompt(UI* ui, UI_STRING* string)
{
    switch (UI_get_string_type(string)) {
    case UIT_PROMPT:
    case UIT_VERIFY:
        ++g_count;
        return UI_set_result(ui, string, g_answer.constData()) == 0 ? 1 : -1;
    default:
        return 1;
    }
}

} // namespace

PassphrasePrompts::PassphrasePrompts(const QByteArray& answer)
    : m_method(UI_create_method("pass-phrase prompts of the tests")), m_previous(UI_get_default_method())
{
    g_answer = answer;
    g_count = 0;
    UI_method_set_reader(m_method, answerPrompt);
    UI_set_default_method(m_method);
}

PassphrasePrompts::~PassphrasePrompts()
{
    UI_set_default_method(m_previous);
    UI_destroy_method(m_method);
}

int PassphrasePrompts::count() const
{
    return g_count;
}
