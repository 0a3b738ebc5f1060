// Scripts.h - shell scripts the installer writes, and the end-of-run clean-up.
// GenSimpleScript(path, header, template, ...) writes header, the dated banner and
// the filled template to path, replacing an earlier file, and makes it executable
// (755); 1 when done. Every write and the close are checked: a file that cannot be
// opened or written whole gives "ERROR: couldn't write <path>\n" on stderr and 0,
// and the caller stops (a half-written script must not pass for an installed one).
// TalvoClean(flag): flag 1 removes the work area and the copied installer files;
// then, after a completed installation, lets the maintenance tool tidy up.
#pragma once
#include "Attrs.h"

#include "ScriptTemplates.h"  // ScriptShShell, ScriptBanner, SimpleScript,
                               // TalvoPrintdorvScript, TalvoKSFScript

constexpr int BANNER_WIDTH = 63;

int GenSimpleScript(const char *path, const char *header, const char *tmpl, ...) PRINTF_LIKE(3, 4);
void TalvoClean(char flag);
void AddDaemonToInitTab();
void DelQLSV();
