// Prompt.cpp - reading the administrator's answers.
#include <cstdio>

#include "Errors.h"
#include "Installer.h"
#include "Tokens.h"

char *ReadAnswer(char *buf, int size) {
    fflush(stdout);
    if (!Gets(buf, size)) {
        fprintf(stderr, "ERROR: unexpected end of input\n");
        exit_app(1);
    }
    return buf;
}
