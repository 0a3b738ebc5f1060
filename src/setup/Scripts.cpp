// Scripts.cpp - the script generator, its templates, the end-of-run clean-up and
// the two operations on system files (init table entry, removal of the earlier
// print product).
#include "Scripts.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

#include "Errors.h"
#include "FileCmds.h"
#include "Files.h"
#include "Installer.h"
#include "Log.h"
#include "MemMgr.h"
#include "Plan.h"
#include "StrUtils.h"
#include "SysCmd.h"
#include "Tokens.h"

namespace {

struct FileCloser {
    void operator()(FILE *f) const { fclose(f); }
};

}  // namespace

int GenSimpleScript(const char *path, const char *header, const char *tmpl, ...) {
    if (!path || !header || !tmpl)
        return 0;
    if (PlanLine("write script %s", path)) {
        PlanPath(path);
        SysCmd(CMD_CHMOD, SYSCMD_QUIET, "755 %s", ShQuote(path));
        return 1;
    }
    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    std::unique_ptr<FILE, FileCloser> out(OpenFile(nullptr, path, "wt", 0));
    bool written = out != nullptr;
    if (out) {
        written = fprintf(out.get(), "%s\n", header) >= 0;
        written = fprintf(out.get(), ScriptBanner, local.tm_year + 1900) >= 0 && written;
        va_list ap;
        va_start(ap, tmpl);
        written = vfprintf(out.get(), tmpl, ap) >= 0 && written;
        va_end(ap);
        // a full disk often shows only when the buffer is flushed at the close
        written = fclose(out.release()) == 0 && written;
    }
    if (!written) {
        fflush(stdout);
        fprintf(stderr, "ERROR: couldn't write %s\n", path);
        return 0;
    }
    SysCmd(CMD_CHMOD, SYSCMD_QUIET, "755 %s", ShQuote(path));
    return 1;
}


namespace {

// Removes pTmpDir/name when it is the program's own (ExamineSharedName removes a
// planted link or the like itself); another user's entry is left alone.
void RemoveOwn(const char *name) {
    if (ExamineSharedName(MemStr(SaveStr("%s/%s", pTmpDir, name)).get()) == SHARED_OWN)
        DeleteFile(pTmpDir, name);
}

}  // namespace

void TalvoClean(char flag) {
    if (flag) {
        ChangeDir(pTmpDir);
        RemoveOwn(MemStr(SaveStr("%sInstall", MAKER)).get());
        // A work area that is the installer's own directory keeps the installer.
        if (!SameFile(pTmpDir, pToolPath)) {
            RemoveOwn("setup");
            RemoveOwn("setup.hlp");
        }
        RemoveOwn(MemStr(SaveStr("%s.tar.Z", ARCHIVE_BASE)).get());
    }
    printf("\n");
    fflush(stdout);
    if (flInstalled) {
        MemStr clean(SaveStr("%s/kvqadmin -clean", ShQuote(AppDir)));
        if (!PlanLine("run %s", clean.get()) && RunShellLine(clean.get()) == -1)
            perror("kvqadmin");
    }
}

void AddDaemonToInitTab() {
    MemStr table(GetSavedFileContent("/etc/inittab", nullptr));
    if (!table)
        return;
    MemStr entry(SaveStr("\nKvdm:3:respawn:%s/Kvdm", AppDir));
    bool present = StrStr(table.get(), entry.get()) != nullptr;
    table.reset();
    if (!present) {
        if (!FindFile(nullptr, pInitTabSave))
            SysCmd(CMD_CP, SYSCMD_WARN, "%s %s", "/etc/inittab", ShQuote(pInitTabSave));
        if (PlanLine("append to /etc/inittab: %s", entry.get() + 1))
            return;
        FILE *out = OpenFile(nullptr, "/etc/inittab", "at", 1);
        if (out) {
            bool written = fprintf(out, "%s\n", entry.get() + 1) >= 0;
            if (fclose(out) != 0 || !written) {
                fprintf(stderr, "ERROR: couldn't write %s\n", "/etc/inittab");
                exit_app(1);
            }
        }
    }
}

// The home directory named in the earlier product's lp wrapper: the text after
// "QLSV_HOME=" up to the first blank, ";" or line end, one pair of quotes removed.
// Null unless it is an absolute path other than "/" made of safe characters.
static char *QlsvHome(const char *wrapper) {
    const char *p = StrStr(wrapper, "QLSV_HOME=");
    if (!p)
        return nullptr;
    p += strlen("QLSV_HOME=");
    size_t n = strcspn(p, " \t;\r\n");
    if (n >= 2 && (p[0] == '"' || p[0] == '\'') && p[n - 1] == p[0]) {
        ++p;
        n -= 2;
    }
    MemStr home(static_cast<char *>(GetMem(static_cast<int>(n) + 1)));
    if (!home)
        return nullptr;
    CopyStr(home.get(), n + 1, std::string_view(p, n));
    if (home.get()[0] != '/' || strcmp(home.get(), "/") == 0 || !ShIsPlain(home.get()))
        return nullptr;
    return home.release();
}

static bool SafePrinterName(const char *name) {
    return name[0] != '\0' && strcmp(name, ".") != 0 && strcmp(name, "..") != 0 &&
           strchr(name, '/') == nullptr;
}

void DelQLSV() {
    bool saved = FindFile(MemStr(SaveStr("/usr/bin/%sSave", MAKER)).get(), "lp") &&
                 FindFile(MemStr(SaveStr("/usr/ucb/%sSave", MAKER)).get(), "lpr");
    if (!saved)
        return;

    char wrapper[2001];
    if (!GetFileContentR("/usr/bin/lp", nullptr, wrapper, 2000))
        return;
    if (strncmp(wrapper, "#!/bin/sh", 9) != 0)
        return;
    MemStr home(QlsvHome(wrapper));
    if (!home)
        return;

    SysCmd(CMD_RM_R, SYSCMD_WARN, "%s", ShQuote(home.get()));
    SysCmd(CMD_RM, SYSCMD_WARN, "%s", "/usr/bin/lp");
    SysCmd(CMD_RM, SYSCMD_WARN, "%s", "/usr/ucb/lpr");
    SysCmd(CMD_CP, SYSCMD_FATAL, "/usr/bin/%sSave/lp /usr/bin/lp", MAKER);
    SysCmd(CMD_CP, SYSCMD_FATAL, "/usr/ucb/%sSave/lpr /usr/ucb/lpr", MAKER);

    // The printer list and the model directory lie beside the home.
    MemStr base(SaveStr_(StripFn(home.get())));
    MemStr list(SaveStr("%s/%s_printers", base.get(), MAKER));
    static const char *const spoolDirs[] = {"/var/spool/lp/admins/lp/printers",
                                            "/var/spool/lp/admins/lp/interfaces",
                                            "/var/spool/lp/requests"};
    MemStr text(GetSavedFileContent(list.get(), nullptr));
    if (text) {
        for (char *line = text.get(); line && *line;) {
            char *next = strchr(line, '\n');
            if (next)
                *next++ = '\0';
            if (line[0] != '#' && line[0] != '\0') {
                size_t n = strcspn(line, " \t#\r\n");
                line[n] = '\0';
                if (SafePrinterName(line)) {
                    for (const char *dir : spoolDirs)
                        if (FindFile(dir, line))
                            SysCmd(CMD_RM_R, SYSCMD_WARN, "%s/%s", dir, ShQuote(line));
                }
            }
            line = next;
        }
    }
    SysCmd(CMD_RM, SYSCMD_WARN, "%s", ShQuote(list.get()));
    SysCmd(CMD_RM_R, SYSCMD_WARN, "%s/7300", ShQuote(base.get()));
}
