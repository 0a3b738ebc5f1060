// Log.h - the command log.
// PutLogMsg appends one formatted message to "<pLogPath>/<my_name>.log" when
// flUseLog is set. The log is opened once, at the first message of a run (which
// empties it), and kept open: later messages and the output of the commands the
// runner logs (SysCmd.h) all go through that one descriptor (GetLogFd), never by
// opening the name again. No time stamps, no prefixes: callers supply their own
// line ends. The name lies in a directory every user can write to, so its first
// opening follows the shared-directory rule (ClaimSharedName, Files.h): a link,
// FIFO or other special file there, or a file of this user with more than one
// link, is removed and a new file (mode 644) is made without following links; a
// file of another user stops the run ("ERROR: <path> belongs to another user",
// status 1). When the log cannot be opened "ERROR: couldn't open <path>\n" goes to
// stderr and the run goes on without that message (the next one tries again).
#pragma once
#include <cstdarg>
#include "Attrs.h"

extern unsigned char flUseLog;  // 1: PutLogMsg writes the log; set by main
extern const char *pLogPath;    // the log directory: "/tmp" (tests point it elsewhere)
extern unsigned char flLogFirst; // 1 until the first message of the run was logged

void PutLogMsg(const char *fmt, ...) PRINTF_LIKE(1, 2);
void PutLogMsgV(const char *fmt, va_list ap) PRINTF_LIKE(1, 0);
// The log's descriptor (close-on-exec; below 10 whenever a free one is): opened
// as for a first message when it is not open yet; -1 when flUseLog is not set or
// the log cannot be opened.
int GetLogFd();
// "<pLogPath>/<my_name>.log" into a GetMem string the caller frees.
char *GetLogFileName();
