// Messages.cpp - the built-in messages used as printf formats, and small helpers
// shared by the installer's modules.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include "Errors.h"
#include "Installer.h"
#include "Tokens.h"
#include "NlsSetup.h"
#include "StrUtils.h"

// The tables hold formats whose conversions match the English entry (a test walks
// every entry of every language), so a message may be used as a format here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"

void MsgPrintf(FILE *out, unsigned n, ...) {
    va_list ap;
    va_start(ap, n);
    vfprintf(out, NlsSetupStrCvt(n), ap);
    va_end(ap);
}

char *MsgSave(unsigned n, ...) {
    va_list ap;
    va_start(ap, n);
    char *text = SaveStrV(NlsSetupStrCvt(n), ap);
    va_end(ap);
    return text;
}

#pragma GCC diagnostic pop

void ChangeDir(const char *dir) {
    if (!dir || chdir(dir) != 0)
        SysError("can't change directory to %s", dir ? dir : "(null)");
}

bool SameFile(const char *a, const char *b) {
    struct stat sa {}, sb {};
    if (!a || !b || stat(a, &sa) != 0 || stat(b, &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

char *ReadAnswer(char *buf, int size) {
    fflush(stdout);
    if (!Gets(buf, size)) {
        fprintf(stderr, "ERROR: unexpected end of input\n");
        exit_app(1);
    }
    return buf;
}
