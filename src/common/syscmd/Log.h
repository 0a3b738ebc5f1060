// Log.h - the command log and what the program learns about its surroundings.
// PutLogMsg appends one formatted message to "<pLogPath>/<my_name>.log" when
// flUseLog is set. The first message of a run empties the file; every message is
// a separate open, write and close, so commands run by SysCmd can append their own
// output in between. No time stamps, no prefixes: callers supply their own line
// ends. The file is created with mode 666 and never written through a symbolic
// link; when it cannot be opened "ERROR: couldn't open <path>\n" goes to stderr and
// the run goes on without that message.
// GetEnv, GetToolPath, GetHostname and GetUserName return GetMem strings the
// caller frees (null when the value cannot be had).
#pragma once
#include <cstdarg>
#include "Attrs.h"

extern unsigned char flUseLog;  // 1: PutLogMsg writes the log; set by main
extern const char *pLogPath;    // the log directory: "/tmp" (tests point it elsewhere)
extern char *pToolPath;         // directory holding the program; GetToolPath result, set by main
extern unsigned char flLogFirst; // 1 until the first message of the run was logged

void PutLogMsg(const char *fmt, ...) PRINTF_LIKE(1, 2);
void PutLogMsgV(const char *fmt, va_list ap) PRINTF_LIKE(1, 0);
// "<pLogPath>/<my_name>.log" into a GetMem string the caller frees.
char *GetLogFileName();

// Saved copy of the variable's value, or null when it is not set.
char *GetEnv(const char *name);
// The absolute directory holding the program, from the name it was started by.
// Only a leading "./" or the first "../" is resolved; the search path is not used,
// so a bare name is taken to lie in the current directory.
char *GetToolPath(const char *argv0);
// Host name cut at the first CR or LF, or null.
char *GetHostname();
// First line of "whoami" (row CMD_WHOAMI) cut at CR/LF, or null (also when whoami
// cannot be located).
char *GetUserName();
// 1 when the located lpd answers "-V" with a line mentioning LPRng.
int SniffLprng();
// 1 when cupsd can be located.
int SniffCUPS();
