// Prompts.cpp - the yes/no question, message-and-wait, name checks and line prompts.
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <memory>

#include "Files.h"
#include "MemMgr.h"
#include "NlsUtils.h"
#include "StrUtils.h"
#include "TextMenu.h"
#include "TextMenuPriv.h"
#include "Tokens.h"

using namespace textmenu;

namespace {

constexpr int PROMPT_LOCAL_SIZE = 1024;


}  // namespace

void PostMsg(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::vprintf(fmt, ap);
    va_end(ap);
    PrintMessage(25, 1001, "\nPress <Return> to continue ");
    std::fflush(stdout);
    Gets(LineBuf, LINEBUF_SIZE);  // the answer only releases the wait
}

int PromptYN(const char *question, ...) {
    va_list ap;
    va_start(ap, question);
    MemStr text(SaveStrV(question, ap));
    va_end(ap);
    for (;;) {
        std::printf("%s? [y/n] ", text ? text.get() : "");
        std::fflush(stdout);
        if (!ReadMenuAnswer(LineBuf, LINEBUF_SIZE))
            continue;
        if (LineBuf[0] == 'y')
            return 1;
        if (LineBuf[0] == 'n')
            return 0;
    }
}

int TestName(const char *name) {
    if (!name)
        return 1;
    for (const char *p = name; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (std::isalnum(c) || c == '_' || c == '-')
            continue;
        char text[MSG_SIZE];
        NlsPrintChecked(stdout, ByteMessageText(25, 1002, text, sizeof text), "25_1002",
                        "\n'%s' is not a valid name character. \n"
                        "Only alphanumeric character, '-', and '_' are valid: \n",
                        Show(static_cast<char>(c)).Text);
        PrintMessage(25, 1000, "Press <Return> to continue");
        std::fflush(stdout);
        Gets(LineBuf, LINEBUF_SIZE);
        return 0;
    }
    return 1;
}

int TestNames(TextMenu *menu) {
    int count = ItemCount(menu);
    for (int i = 0; i < count; ++i) {
        const TextMenuItem *item = &menu->pItems[i];
        if (item->State == MENUSTATE_HIDDEN)
            return 1;
        if (item->Type != MENUITEM_NAME)
            continue;
        const char *text = static_cast<const char *>(item->Value.p);
        if (text && text[0])
            continue;
        PrintMessage(25, 1011, "\nAll names must be set before applying setup.\nPress <Return> to continue");
        std::fflush(stdout);
        Gets(LineBuf, LINEBUF_SIZE);
        return 0;
    }
    return 1;
}

char *PromptUser(const char *prompt, char *buffer, int size) {
    std::printf("%s", prompt ? prompt : "");
    std::fflush(stdout);
    char local[PROMPT_LOCAL_SIZE];
    char *into = buffer ? buffer : local;
    int room = buffer ? (size < LINEBUF_SIZE ? size : LINEBUF_SIZE) : PROMPT_LOCAL_SIZE;
    switch (GetsLine(into, room)) {
    case GETS_END:
        return nullptr;
    case GETS_TOOLONG:
        into[0] = '\0';
        ReportTooLong(room - 1);
        break;
    default:
        break;
    }
    return buffer ? buffer : SaveStr_(local);
}
