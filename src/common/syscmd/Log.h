// Log.h - the command log.
// PutLogMsg appends one formatted message to "<pLogPath>/<my_name>.log" when
// flUseLog is set. The first message of a run empties the file; every message is
// a separate open, write and close, so commands run by SysCmd can append their own
// output in between. No time stamps, no prefixes: callers supply their own line
// ends. The file is created with mode 666 and never written through a symbolic
// link; when it cannot be opened "ERROR: couldn't open <path>\n" goes to stderr and
// the run goes on without that message.
#pragma once
#include <cstdarg>
#include "Attrs.h"

extern unsigned char flUseLog;  // 1: PutLogMsg writes the log; set by main
extern const char *pLogPath;    // the log directory: "/tmp" (tests point it elsewhere)
extern unsigned char flLogFirst; // 1 until the first message of the run was logged

void PutLogMsg(const char *fmt, ...) PRINTF_LIKE(1, 2);
void PutLogMsgV(const char *fmt, va_list ap) PRINTF_LIKE(1, 0);
// "<pLogPath>/<my_name>.log" into a GetMem string the caller frees.
char *GetLogFileName();
