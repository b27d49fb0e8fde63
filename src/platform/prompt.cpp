#include "platform/prompt.h"

#include <QtGlobal>

namespace vantora {

namespace {
Prompt *g_prompt = nullptr;
}

Prompt &prompt()
{
    Q_ASSERT_X(g_prompt, "prompt()", "no prompt installed");
    return *g_prompt;
}

void setPrompt(Prompt *p)
{
    g_prompt = p;
}

} // namespace vantora
