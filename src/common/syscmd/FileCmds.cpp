// FileCmds.cpp - creating, deleting and renaming files through the command
// runner, so that each change is logged like any other system command.
#include <cstring>
#include <memory>

#include "FileCmds.h"
#include "Files.h"
#include "MemMgr.h"
#include "Plan.h"
#include "StrUtils.h"
#include "SysCmd.h"

namespace {


// dir + "/" + name, or dir alone without a name.
MemStr JoinPath(const char *dir, const char *name) {
    return MemStr(name ? SaveStr("%s/%s", dir, name) : SaveStr_(dir));
}

// Exists as an entry of its parent directory (a name with a slash is split).
bool PathExists(const char *path) {
    MemStr dir(SaveStr_(StripFn(path)));
    return FindFile(dir.get(), StripPath(path)) != 0 || PlannedPath(path);
}

void RemoveTree(const char *dir, const char *name) {
    MemStr target = JoinPath(dir, name);
    SysCmd(CMD_RM_R, SYSCMD_WARN, "%s", ShQuote(target.get()));
}

}  // namespace

void CreateFile(const char *dir, const char *name, const char *mode, const char *owner, const char *group) {
    if (!dir)
        return;
    if (!PathExists(dir))
        SysCmd(CMD_MKDIR, SYSCMD_FATAL, "%s", ShQuote(dir));
    MemStr target = JoinPath(dir, name);
    const char *t = target.get();
    if (name)
        SysCmd(CMD_TOUCH, SYSCMD_FATAL, "%s", ShQuote(t));
    if (mode)
        SysCmd(CMD_CHMOD, SYSCMD_FATAL, "%s %s", ShQuote(mode), ShQuote(t));
    if (owner)
        SysCmd(CMD_CHOWN, SYSCMD_FATAL, "%s %s", ShQuote(owner), ShQuote(t));
    if (group)
        SysCmd(CMD_CHGRP, SYSCMD_FATAL, "%s %s", ShQuote(group), ShQuote(t));
}

void DeleteFile(const char *dir, const char *name) {
    if (!dir) {
        dir = name;
        name = nullptr;
    }
    if (dir && FindFile(dir, name))
        RemoveTree(dir, name);
}

void DeleteFile_(const char *path, const char *name) {
    if (!path) {
        path = name;
        name = nullptr;
    }
    if (!path)
        return;
    bool exists = name ? FindFile(path, name) != 0 : PathExists(path);
    if (exists)
        RemoveTree(path, name);
}

void RenameFile(const char *dir, const char *oldName, const char *newName) {
    if (!oldName || !newName)
        return;
    if (dir) {
        if (!FindFile(dir, oldName))
            return;
        MemStr from = JoinPath(dir, oldName);
        MemStr to = JoinPath(dir, newName);
        SysCmd(-CMD_MV, SYSCMD_WARN, "%s %s", ShQuote(from.get()), ShQuote(to.get()));
        return;
    }
    if (PathExists(oldName))
        SysCmd(-CMD_MV, SYSCMD_WARN, "%s %s", ShQuote(oldName), ShQuote(newName));
}
