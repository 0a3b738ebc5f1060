// Errors.h - fatal and non-fatal reports on standard error.
// SysError: "\n<my_name>: <message> : <system error text>\n", exit 1; the error
// text is that of errno as it stood at the call.
// ErrorMsg(level, status, ...): formats into Line (cut at its size; Line itself may
// be an argument); level 1 prints "WARNING: %s\n", level 2 prints "ERROR: %s\n"
// and exits with status; other levels print nothing. errormsg: "<my_name>: <message>\n".
// A null my_name prints as an empty name. exit_app: flushes stdout and stderr, exits.
#pragma once
#include <cstdarg>
#include "Attrs.h"
#include "Buffers.h"


[[noreturn]] void SysError(const char *fmt, ...) PRINTF_LIKE(1, 2);
void ErrorMsg(int level, int status, const char *fmt, ...) PRINTF_LIKE(3, 4);
void ErrorMsgV(int level, int status, const char *fmt, va_list ap) PRINTF_LIKE(3, 0);
void errormsg(const char *fmt, ...) PRINTF_LIKE(1, 2);
[[noreturn]] void exit_app(int status);

// Test seam: when set, exit_app (and so SysError and ErrorMsg at level 2) calls it
// with the status after flushing; tests throw from it. If it returns, exit() follows.
extern void (*pExitHook)(int status);
// When set, exit_app calls it with the status first, so a higher layer can add its
// last line (the installer reports failed commands).
extern void (*pExitReport)(int status);
