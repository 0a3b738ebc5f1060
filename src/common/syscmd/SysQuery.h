// SysQuery.h - run a table program through a pipe and read its output back.
// GetCmdResponse(row, filter, fmt, ...) runs "<dir>/<name> <flags> <text>" (rows 0
// and 1: the text is the whole line) with popen, no redirection added (callers add
// "2>&1" themselves), and keeps the output lines containing filter (null or "":
// every line) in order. Values in the text go through ShQuote (SysCmd.h). A row that
// cannot be located ends the run as SysCmd does. Lists are GetMem records released
// with FreeResponseList; id and package lists are GetMem strings " a b c " + " "
// (each word preceded by a blank, one more blank at the end) released with PutMem.
// One child at a time; not reentrant.
#pragma once
#include <cstdarg>
#include <cstdio>
#include <sys/types.h>
#include "Attrs.h"

struct CmdResponse {
    CmdResponse *pNext;  // next line, null at the end
    char *pText;         // the line as read, with its newline (stored after the record)
};

constexpr int DISK_SPACE_LINE = 512;
struct DiskSpace {
    char Line[DISK_SPACE_LINE];  // the data line of df (at most 511 characters kept)
    double Avail;                // number in the column headed "avail*", 0 when none
};

CmdResponse *GetCmdResponse(int row, const char *filter, const char *fmt, ...) PRINTF_LIKE(3, 4);
CmdResponse *GetCmdResponseV(int row, const char *filter, const char *fmt, va_list ap) PRINTF_LIKE(3, 0);
// All kept lines in one GetMem string, each ended by a newline; null when none.
char *GetCmdResponseStr(int row, const char *filter, const char *fmt, ...) PRINTF_LIKE(3, 4);
void FreeResponseList(CmdResponse *list);

// Ids of the running processes whose command column (4th word of "ps -e") is
// exactly name, or null.
char *GetSysPsIdList(const char *name);
// Fills ds for path from df; 1 when a value was read from the "avail" column.
// 0 when df printed nothing, has no such column, no data line, or a short line.
int GetDiskSpace(const char *path, DiskSpace *ds);
// 1 when the file system of dir has at least need available, counting an existing
// dir/name as available; a missing dir is measured at its nearest parent.
int AvailSpace(const char *dir, const char *name, double need);
// Size of path as printed by "du -s", 0 when there is no output.
double DUPath(const char *path);
// Package instances (2nd column of pkginfo) of the lines containing filter, or null.
char *GetSysPkgList(const char *filter);
// For a comma-separated list of names: "name ( id id )\n" for each running one, as
// one GetMem text; null when none runs.
char *CheckProcTableForExecs(const char *names);
// Sends signal 9 to every process of that name (never to ids 0, 1, negative ones or
// this program), stops at EPERM, pauses one second; returns 0.
int KillProcessByName(const char *name);
// The one place the program sends a signal: kill(pid, sig), result and errno as
// kill() gives them (pKillHook replaces kill()); in a dry run (Plan.h) it plans the
// signal and returns 0.
int SysKill(pid_t pid, int sig);
// 1 when text is a process id the program may signal: wholly a decimal number
// above 1 (0 and -1 would reach groups or every process) and not its own id.
int SafePid(const char *text, pid_t *pid);
// Does nothing (no caller).
void SysGetSubnetMask(const char *host, char *mask, int size);

// Parsers on captured output (used by the functions above; visible for tests).
// The id list of the ps lines whose 4th word is name, or null.
char *ParsePsIdList(const CmdResponse *lines, const char *name);
// The result of GetDiskSpace for captured df output.
int ParseDiskSpace(const CmdResponse *lines, DiskSpace *ds);
// The second words of the lines as a list, or null.
char *ParsePkgList(const CmdResponse *lines);
// Builds a response list from a text of lines (tests and parsers).
CmdResponse *MakeResponseList(const char *text, const char *filter);

// popen(line, "r") for the module's readers (honours pPipeHook); CloseCmdPipe
// returns pclose's status (0 for a hooked stream).
FILE *OpenCmdPipe(const char *line);
int CloseCmdPipe(FILE *pipe);

// Test seams. pPipeHook: when set, GetCmdResponse reads the stream it returns for the final
// command line (closed with fclose) instead of popen's.
extern FILE *(*pPipeHook)(const char *line);
// pKillHook: when set, SysKill calls it instead of kill().
extern int (*pKillHook)(int pid, int sig);
// pResponseHook: when set, sees each read of a row's output first (GetCmdResponse,
// GetCmdResponseStr, GetUserName) with the row and the caller's formatted text. A
// stream it returns (closed with fclose) is read as the program's output: nothing
// is located or started. Null lets the read go on as usual.
extern FILE *(*pResponseHook)(int row, const char *text);
// The stream pResponseHook gives for the row and text, or null; CloseCmdPipe closes it.
FILE *OpenHookedPipe(int row, const char *text);

// 1 when the located lpd answers "-V" with a line mentioning LPRng.
int SniffLprng();
// 1 when cupsd can be located.
int SniffCUPS();
