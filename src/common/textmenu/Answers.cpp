// Answers.cpp - one answer is one line: the reads of the menus and prompts, the
// waits for Return, and the report of a line too long for its buffer.
#include <cstdio>

#include "Buffers.h"
#include "TextMenu.h"
#include "TextMenuPriv.h"
#include "Tokens.h"

namespace textmenu {

void ReportTooLong(int max) {
    char msg[MSG_SIZE];
    FormatMessage(msg, sizeof msg, 30, 42, "This text length must be from %i to %i characters long.", 0,
                  max);
    PostMsg("%s", msg);
}

bool ReadMenuAnswer(char *buf, int size) {
    switch (GetsLine(buf, size)) {
    case GETS_END:
        EndOfInput();
    case GETS_TOOLONG:
        buf[0] = '\0';
        ReportTooLong(size - 1);
        return false;
    default:
        return true;
    }
}

void WaitForReturn() {
    std::fflush(stdout);
    Gets(LineBuf, LINEBUF_SIZE);  // the whole line, whatever it holds; the end of input just returns
}

}  // namespace textmenu
