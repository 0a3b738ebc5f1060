// SysCmd.h - run system programs by their row in ComList.
// InitSysCmdList() finds every program once, before anything runs: the fixed
// directories of SearchPaths first, then PATH; the first directory that holds a
// program wins. It also sets SHELL to the shell of row CMD_SH.
//
// SysCmd(row, mode, fmt, ...) runs "<sh> -c \"<dir>/<name> <flags> <text>\"" where
// <text> is the caller's formatted text; rows 0 and 1 name no program, so the text
// is the whole command line. Modes: 0 quiet (output discarded, failures only in the
// result), 1 logged with failures logged as "WARNING_MSG: ...", 2 logged with
// failures fatal (exit status 1 after "ERROR: <reason>" is logged and the line
// "ERROR: <reason>: <program> failed on <files>; see <log>" goes to standard
// output on a line of its own; <files> are the absolute paths of the text).
// A negative row runs the same program without progress dot, log line or log
// redirection (its output goes to the terminal). A logged program's output reaches
// the log through the descriptor the log keeps (GetLogFd, Log.h): " 1>&N 2>&N N>&-"
// is added to its line, never the log's name, so the name is not opened again. The result is 0 on success, else:
// errno (or 1) when the shell could not be started, the exit status of the program,
// or 128 + n when it was killed by signal n. pkgadd and pkgrm (rows 44, 46) exit
// 10 or 20 to ask for a reboot after a successful run: those count as success.
// A program that cannot be located (or no shell) ends the run with
// "ERROR: unable to locate system command '<name>'\n" on stderr and status 1.
// After the run the runner pauses by the row's wait value (through SysSleep).
//
// SysCmdR is SysCmd for texts that redirect standard output themselves ("... >
// file"): the runner redirects only standard error (to the log in modes 1 and 2,
// to /dev/null in mode 0); the logged command line is the same as SysCmd's.
//
// Quoting: every value that is not literal command text (paths, names, package
// names, user answers) goes through ShQuote. The runner itself protects the whole
// caller text for the outer double quotes of "sh -c", so one quoted text works for
// SysCmd, SysCmdP and GetCmdResponse alike. Callers never put a double quote in
// literal text.
//
// One child at a time; not reentrant.
#pragma once
#include <cstdarg>
#include <cstdint>
#include "Attrs.h"

struct SysCommand {
    const char *pName;   // program file name; null in the terminator row
    const char *pFlags;  // options placed right after the program ("" for none)
    const char *pPath;   // directory where the program was found; null until located
    int32_t Wait;        // after a run: 0 nothing, n > 0 pause n s, -1 wait for the process
};

// Rows of ComList (indexes are fixed; the program and flags in the comment).
enum {
    CMD_NONE = 0,          // no program: the caller's text is the whole line
    CMD_NONE_1 = 1,
    CMD_CANCEL = 2,        // cancel
    CMD_CAT = 3,           // cat
    CMD_CHGRP = 4,         // chgrp
    CMD_CHMOD = 5,         // chmod
    CMD_CHOWN = 6,         // chown
    CMD_CLEAR = 7,         // clear
    CMD_COMPRESS = 8,      // compress
    CMD_CP = 9,            // cp -p
    CMD_CP_R = 10,         // cp -pr
    CMD_CUPSD = 11,        // cupsd
    CMD_ID = 12,           // id
    CMD_ECHO = 13,         // echo
    CMD_EJECT = 14,        // eject -f
    CMD_EJECT_Q = 15,      // eject -q
    CMD_FILE = 16,         // file
    CMD_LN = 17,           // ln
    CMD_LP = 18,           // lp
    CMD_LPC = 19,          // lpc
    CMD_LPR = 20,          // lpr
    CMD_LPRM = 21,         // lprm
    CMD_LPSTAT = 22,       // lpstat
    CMD_LS = 23,           // ls
    CMD_KILL = 24,         // kill -KILL
    CMD_MV = 25,           // mv -f
    CMD_MKDIR = 26,        // mkdir -p
    CMD_MORE = 27,         // more
    CMD_PING = 28,         // ping
    CMD_RM = 29,           // rm -f
    CMD_RM_R = 30,         // rm -rf
    CMD_SH = 31,           // sh
    CMD_SLEEP = 32,        // sleep
    CMD_TAR_C = 33,        // tar cvfp
    CMD_TAR_X = 34,        // tar xvfp
    CMD_TOUCH = 35,        // touch
    CMD_UNCOMPRESS = 36,   // uncompress
    CMD_WHOAMI = 37,       // whoami
    CMD_ZCAT = 38,         // zcat
    CMD_UNAME = 39,        // uname
    CMD_SED = 40,          // sed
    CMD_DU = 41,           // du -s
    CMD_CHECKPC = 42,      // checkpc
    CMD_LPD = 43,          // lpd
    CMD_PKGADD = 44,       // pkgadd
    CMD_PKGINFO = 45,      // pkginfo
    CMD_PKGRM = 46,        // pkgrm
    CMD_ACCEPT = 47,       // accept
    CMD_DISABLE = 48,      // disable
    CMD_ENABLE = 49,       // enable
    CMD_LPADMIN = 50,      // lpadmin
    CMD_LPFILTER = 51,     // lpfilter
    CMD_LPSCHED = 52,      // lpsched
    CMD_LPSHUT = 53,       // lpshut
    CMD_LPSYSTEM = 54,     // lpsystem
    CMD_PS = 55,           // ps -e
    CMD_BAR = 56,          // bar
    CMD_DF = 57,           // df
    CMD_LPQ = 58,          // lpq -P
    CMD_YPCAT = 59,        // ypcat
    CMD_REJECT = 60,       // reject
    CMD_PMADM = 61,        // pmadm
    CMD_SACADM = 62,       // sacadm
    CMD_VOLCHECK = 63,     // volcheck
    CMD_CAPTURE = 64,      // capture
    CMD_LPSET = 65,        // lpset
    CMD_INSTNETPR = 66,    // instnetpr
    CMD_PIOMKPQ = 67,      // piomkpq
    CMD_PIOMISC_EXT = 68,  // piomisc_ext
    CMD_PIOMISC_BASE = 69, // piomisc_base
    CMD_LSALLQ = 70,       // lsallq
    CMD_MKQUE = 71,        // mkque
    CMD_MKQUEDEV = 72,     // mkquedev
    CMD_RMQUE = 73,        // rmque
    CMD_RMQUEDEV = 74,     // rmquedev
    CMD_PIOCHDFQ = 75,     // piochdfq
    CMD_ENQ = 76,          // enq
    CMD_LSQUEDEV = 77,     // lsquedev
    CMD_LSQUE = 78,        // lsque
    CMD_STARTSRC = 79,     // startsrc
    CMD_STOPSRC = 80,      // stopsrc
    CMD_LSSRC = 81,        // lssrc
    CMD_END = 82,          // the terminator row (null name)
    CMD_ROWS = 83
};

// Modes of SysCmd, SysCmdR and SysCmdP (the error-level scale).
enum { SYSCMD_QUIET = 0, SYSCMD_WARN = 1, SYSCMD_FATAL = 2 };

extern SysCommand ComList[CMD_ROWS];
extern const char *const SearchPaths;  // "/usr/bin:/usr/ucb:/usr/sbin:/bin:/sbin:/usr/lib:/usr/lib/lp"
extern char *FullSearchPath;           // SearchPaths ":" PATH; built once, lives for the run
extern unsigned char flInitSysCmd;     // 1: rows without a path are looked up on first use
extern unsigned char flSysCmdLog;      // 1: progress dot and command log (set when flUseLog)
extern int SysCmdWarnings;             // failures of mode 1 so far in this run

// "WARNING: N commands failed; see <log>\n" on standard error when runs of mode 1
// failed and the run ends with status 0, nothing otherwise. The installer's last
// words before it exits.
void ReportFailedCommands(int status);

void InitSysCmdList();
// 1 while some row is still without a path after looking in dir, 0 when all have one.
// dir is kept by the table: it must live for the run.
int FillCmdPaths(const char *dir);
// 1 when the row's program was found on FullSearchPath (its path is then recorded).
int FillCmdPath(int row);
// 1 when row >= 2 is a table row whose program has a path.
int TestCmd(int row);
// "<dir>/<name> <flags>" of a located row (GetMem string, caller frees), else null.
char *GetCmd(int row);
// "<dir>/<name>" of a located row below CMD_END (GetMem string), else null.
char *GetCmdNoFlags(int row);

int SysCmd(int row, int mode, const char *fmt, ...) PRINTF_LIKE(3, 4);
int SysCmdR(int row, int mode, const char *fmt, ...) PRINTF_LIKE(3, 4);
int SysCmdV(int row, int mode, bool ownStdout, const char *fmt, va_list ap) PRINTF_LIKE(4, 0);
// A whole command line of the caller's (no table row): printed in modes 1 and 2,
// run, a failure reported on stderr ("ERROR: <reason>") and fatal in mode 2;
// then a pause of one second. Result as SysCmd.
int SysCmdP(int mode, const char *fmt, ...) PRINTF_LIKE(2, 3);

// Shell quoting of one value. A value made only of A-Z a-z 0-9 / . _ + , : @ = -
// comes back unchanged; any other (blanks, quotes, $, an empty or null value) comes
// back in single quotes, each ' written '\''. The result lives in a ring of 16
// slots: valid until 16 more ShQuote calls (enough for one command line).
const char *ShQuote(const char *value);
// The same into a GetMem string the caller frees.
char *ShQuoteSave(const char *value);
// 1 when ShQuote would return the value unchanged.
int ShIsPlain(const char *value);

// A whole shell line of the caller's, run as it is: standard output and error are
// flushed, then system(line). The result is system()'s (-1 with errno set when no
// shell could be started). SysCmd and SysCmdP start their lines here too.
int RunShellLine(const char *line);

// Test seams. pSystemHook, when set, receives each line RunShellLine would give to
// system() instead and returns a wait status as system() does (or -1 with errno
// set). ResetSysCmdList forgets every path and FullSearchPath and sets flInitSysCmd
// again (the table as before InitSysCmdList).
extern int (*pSystemHook)(const char *line);
void ResetSysCmdList();
// pSysCmdHook, when set, sees each run of SysCmd and SysCmdR first: the row as the
// caller gave it (negative: unlogged), the mode and the caller's formatted text.
// SYSCMD_PASS lets the run go on as usual. Any other answer (0 or more) stands for
// the program's result: nothing is located, logged or started, and the answer is
// then treated as a run's result would be (pkgadd's reboot codes count as success,
// a failure in modes 1 and 2 is reported as "exit status N", mode 2 stops the run)
// before the row's pause.
constexpr int SYSCMD_PASS = -1;
extern int (*pSysCmdHook)(int row, int mode, const char *text);
