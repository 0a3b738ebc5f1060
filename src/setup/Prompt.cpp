// Prompt.cpp - reading the administrator's answers.
#include <cstdio>

#include "Errors.h"
#include "Installer.h"
#include "Tokens.h"

char *ReadAnswer(char *buf, int size) {
    fflush(stdout);
    for (;;) {
        switch (GetsLine(buf, size)) {
        case GETS_END:
            fprintf(stderr, "ERROR: unexpected end of input\n");
            exit_app(1);
        case GETS_TOOLONG:
            // One answer is one line: the rest was read and dropped, and the answer
            // is asked for again rather than cut.
            printf("The answer is longer than %d characters; enter it again: ", size - 1);
            fflush(stdout);
            continue;
        default:
            return buf;
        }
    }
}
