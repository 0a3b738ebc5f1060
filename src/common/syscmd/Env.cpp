// Env.cpp - the environment, the program's directory, the host and the user.
#include "Env.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "MemMgr.h"
#include "StrUtils.h"
#include "SysCmd.h"
#include "SysCmdText.h"
#include "SysQuery.h"

namespace {


}  // namespace

char *GetEnv(const char *name) {
    const char *value = name ? std::getenv(name) : nullptr;
    return value ? SaveStr_(value) : nullptr;
}

namespace {

// The current directory, whatever its length; empty when it cannot be read.
CmdText CurrentDir() {
    CmdText dir(512, '\0');
    while (!getcwd(dir.data(), dir.size())) {
        if (errno != ERANGE)
            return CmdText();
        dir.resize(dir.size() * 2);
    }
    dir.resize(std::strlen(dir.c_str()));
    return dir;
}

// dir + "/" + rest, without doubling the slash of the root.
char *JoinDir(const CmdText &dir, const char *rest) {
    if (!*rest)
        return SaveStr_(dir.c_str());
    const char *sep = dir.empty() || dir.back() == '/' ? "" : "/";
    return SaveStr("%s%s%s", dir.c_str(), sep, rest);
}

}  // namespace

char *GetToolPath(const char *argv0) {
    if (!argv0)
        return nullptr;
    MemStr part(SaveStr_(StripFn(argv0)));
    if (!part)
        return nullptr;
    if (argv0[0] == '/')
        return part.release();
    CmdText cwd = CurrentDir();
    if (cwd.empty())
        return nullptr;
    const char *p = part.get();
    if (std::strcmp(p, ".") == 0)
        return SaveStr_(cwd.c_str());
    if (std::strncmp(p, "./", 2) == 0)
        return JoinDir(cwd, p + 2);
    if (std::strncmp(p, "../", 3) == 0) {
        // only this first "../" is resolved; later ones stay as path components
        size_t slash = cwd.rfind('/');
        CmdText parent = slash == 0 || slash == CmdText::npos ? CmdText("/") : cwd.substr(0, slash);
        return JoinDir(parent, p + 3);
    }
    return JoinDir(cwd, p);
}

namespace {

char *CutAtLineEnd(char *text) {
    text[std::strcspn(text, "\r\n")] = '\0';
    return text;
}

}  // namespace

char *GetHostname() {
    char name[256];
    if (gethostname(name, sizeof name) != 0)
        return nullptr;
    name[sizeof name - 1] = '\0';
    return SaveStr_(CutAtLineEnd(name));
}

char *GetUserName() {
    FILE *pipe = OpenHookedPipe(CMD_WHOAMI, "");
    if (!pipe) {
        MemStr cmd(GetCmd(CMD_WHOAMI));
        if (!cmd)
            return nullptr;
        pipe = OpenCmdPipe(cmd.get());
    }
    if (!pipe)
        return nullptr;
    char line[256];
    bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    CloseCmdPipe(pipe);
    return got ? SaveStr_(CutAtLineEnd(line)) : nullptr;
}
