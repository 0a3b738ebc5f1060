// Plan.h - a run that shows its changes instead of making them (setup --dry-run).
// With flDryRun set, the runner (SysCmd, SysCmdR) starts no row that changes the
// system: every row but the queries (whoami, uname, df, du, ps, pkginfo, ls, ...)
// and the diskette drive's (eject, volcheck) changes it. A file row (cp, mv, ln,
// rm, mkdir, touch, chmod, chown, chgrp, cat, sed, tar, compress, uncompress) still
// runs when the path it changes, the last word of its text (a relative one taken
// from the working directory), lies in pPlanOwnDir, the program's own work area;
// the others (pkgadd, pkgrm, the spooler's) never run. Instead of such a
// run, "plan: <program> <flags> <text>" goes to standard output and the result is
// 0; the paths it would make (the target of mkdir, touch, ln, mv, and of cp with
// the source's name when the target is a directory) are remembered, so that later
// existence checks see them (PlannedPath). SysKill sends no signal but plans one.
// The installer's own writes ask PlanLine first: with flDryRun set it prints
// "plan: <text>" and returns 1 (the caller then leaves the write out), else 0.
// A plan line printed once is not printed again (a repeated mkdir of one
// directory is one change). Without flDryRun nothing here changes a run.
#pragma once
#include "Attrs.h"

extern unsigned char flDryRun;  // 1: plan, do not change (set once at start-up)
extern const char *pPlanOwnDir; // the work area; null: none yet

int PlanLine(const char *fmt, ...) PRINTF_LIKE(1, 2);
// Remembers path as made by the plan.
void PlanPath(const char *path);
// 1 when the plan made path or a path below it.
int PlannedPath(const char *path);
// 1 when the runner would only plan this run of the row (flDryRun set, a change
// row, its changed path outside pPlanOwnDir); then the plan line is printed and
// the paths it makes are remembered. 0: the run goes on as usual.
int PlanRow(int row, const char *text);
// Forgets the lines printed, the paths made and the changes noted (tests).
void ResetPlan();

// The changes of a real run, for its receipt. With flNoteChanges set (and flDryRun
// not), every file row the runner starts notes the path it changes, as the plan
// names it: mkdir notes each directory it makes, cp into a directory the copy
// inside it (a "cp -pr" copy as a tree, all of it changed), mv and rm forget the
// paths they take away. A write the installer makes itself is noted by NoteChange.
// NotedChange(i, &tree) is the i-th path noted (absolute), null past the last.
extern unsigned char flNoteChanges;
void NoteChange(const char *path, int tree);
const char *NotedChange(int i, int *tree);
