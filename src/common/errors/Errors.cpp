// Errors.cpp - fatal and non-fatal reports on standard error.
#include "Errors.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Buffers.h"

void (*pExitHook)(int status) = nullptr;
void (*pExitReport)(int status) = nullptr;

namespace {

const char *ProgramName() {
    return my_name ? my_name : "";
}

// Callers may pass Line itself (or a part of it) as an argument; formatting into
// a private area first keeps source and destination apart.
char FormatArea[LINE_SIZE];

}  // namespace

void exit_app(int status) {
    if (void (*report)(int) = pExitReport) {
        pExitReport = nullptr;  // once, even when the report itself ends the run
        report(status);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    if (pExitHook)
        pExitHook(status);
    std::exit(status);
}

void SysError(const char *fmt, ...) {
    int err = errno;  // before any output can change it
    std::fflush(stdout);
    std::fprintf(stderr, "\n%s: ", ProgramName());
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(stderr, fmt, ap);
    va_end(ap);
    std::fprintf(stderr, " : %s\n", std::strerror(err));
    exit_app(1);
}

void ErrorMsgV(int level, int status, const char *fmt, va_list ap) {
    int n = std::vsnprintf(FormatArea, sizeof FormatArea, fmt, ap);
    if (n < 0)
        FormatArea[0] = '\0';
    std::memcpy(Line, FormatArea, std::strlen(FormatArea) + 1);
    if (level != 1 && level != 2)
        return;
    std::fflush(stdout);
    std::fprintf(stderr, level == 1 ? "WARNING: %s\n" : "ERROR: %s\n", Line);
    if (level == 2)
        exit_app(status);
}

void ErrorMsg(int level, int status, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    ErrorMsgV(level, status, fmt, ap);
    va_end(ap);
}

void errormsg(const char *fmt, ...) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: ", ProgramName());
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(stderr, fmt, ap);
    va_end(ap);
    std::fputc('\n', stderr);
}
