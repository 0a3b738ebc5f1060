// Messages.cpp - the built-in messages used as printf formats.
#include <cstdarg>
#include <cstdio>

#include "MsgFormat.h"
#include "NlsSetup.h"
#include "StrUtils.h"

// The tables hold formats whose conversions match the English entry (a test walks
// every entry of every language), so a message may be used as a format here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"

void MsgPrintfN(FILE *out, unsigned n, ...) {
    va_list ap;
    va_start(ap, n);
    vfprintf(out, NlsSetupStrCvt(n), ap);
    va_end(ap);
}

char *MsgSaveN(unsigned n, ...) {
    va_list ap;
    va_start(ap, n);
    char *text = SaveStrV(NlsSetupStrCvt(n), ap);
    va_end(ap);
    return text;
}

#pragma GCC diagnostic pop
