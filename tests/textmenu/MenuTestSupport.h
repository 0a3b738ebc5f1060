// MenuTestSupport.h - scoped helpers for the menu engine's tests: captured standard
// output, standard input fed from a text, swallowed system commands, exit seams and
// an in-memory message database with the English menu texts.
#pragma once
// Test menus name only the fields they need; g++ 12 warns about the omitted ones even
// in designated initializers.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "BuiltinTexts.h"
#include "DbmT.h"
#include "Errors.h"
#include "MemMgr.h"
#include "NlsUtils.h"
#include "SysCmd.h"
#include "TextMenu.h"

namespace menutest {

inline std::string TempPath(const char *stem) {
    std::string path = std::string("/tmp/") + stem + "XXXXXX";
    std::vector<char> buf(path.begin(), path.end());
    buf.push_back('\0');
    int fd = mkstemp(buf.data());
    if (fd >= 0)
        close(fd);
    return buf.data();
}

inline std::string ReadFile(const std::string &path) {
    std::string text;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return text;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    std::fclose(f);
    return text;
}

inline void WriteFile(const std::string &path, const std::string &text) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

// Everything written to file descriptor 1 while alive; Text() ends the capture.
// LANG for one test (the built-in texts follow it), restored afterwards.
// The variable set to value (null: unset) while alive.
class EnvGuard {
public:
    EnvGuard(const char *name, const char *value) : name_(name), had_(std::getenv(name) != nullptr) {
        if (had_)
            old_ = std::getenv(name);
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvGuard() {
        if (had_)
            setenv(name_.c_str(), old_.c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    EnvGuard(const EnvGuard &) = delete;
    EnvGuard &operator=(const EnvGuard &) = delete;

private:
    std::string name_;
    bool had_;
    std::string old_;
};

class LangGuard : public EnvGuard {
public:
    explicit LangGuard(const char *lang) : EnvGuard("LANG", lang) {}
};

// StdoutCapture err(2) captures standard error the same way.
class StdoutCapture {
public:
    explicit StdoutCapture(int target = 1) : path_(TempPath("menuout")), target_(target) {
        std::fflush(stdout);
        std::fflush(stderr);
        saved_ = dup(target_);
        int fd = open(path_.c_str(), O_WRONLY | O_TRUNC);
        dup2(fd, target_);
        close(fd);
    }
    ~StdoutCapture() {
        Stop();
        unlink(path_.c_str());
    }
    std::string Text() {
        Stop();
        return ReadFile(path_);
    }

private:
    void Stop() {
        if (saved_ < 0)
            return;
        std::fflush(stdout);
        std::fflush(stderr);
        dup2(saved_, target_);
        close(saved_);
        saved_ = -1;
    }
    std::string path_;
    int target_;
    int saved_ = -1;
};

// Standard input (file descriptor 0) reads the text, then the end of input.
class StdinFeed {
public:
    explicit StdinFeed(const std::string &text) : path_(TempPath("menuin")) {
        WriteFile(path_, text);
        saved_ = dup(0);
        int fd = open(path_.c_str(), O_RDONLY);
        dup2(fd, 0);
        close(fd);
    }
    ~StdinFeed() {
        dup2(saved_, 0);
        close(saved_);
        unlink(path_.c_str());
    }
    // What is left unread.
    std::string Rest() {
        std::string rest;
        char c;
        while (read(0, &c, 1) == 1)
            rest.push_back(c);
        return rest;
    }

private:
    std::string path_;
    int saved_ = -1;
};

// System commands (the clear before every menu) are recorded instead of run.
class SystemRecorder {
public:
    SystemRecorder() : saved_(pSystemHook) {
        Lines().clear();
        pSystemHook = [](const char *line) {
            Lines().push_back(line);
            return 0;
        };
    }
    ~SystemRecorder() { pSystemHook = saved_; }
    static std::vector<std::string> &Lines() {
        static std::vector<std::string> lines;
        return lines;
    }

private:
    int (*saved_)(const char *);
};

struct ExitCalled {
    int Status;
};

// exit_app and the error paths throw ExitCalled instead of ending the test program.
class ExitTrap {
public:
    ExitTrap() : saved_(pExitHook) {
        pExitHook = [](int status) { throw ExitCalled{status}; };
    }
    ~ExitTrap() { pExitHook = saved_; }

private:
    void (*saved_)(int);
};

// The English texts of the menu engine as an in-memory core database.
class EnglishTexts {
public:
    EnglishTexts() : saved_(pDrvCoreDB) {
        db_ = DbTOpen("/nonexistent-menu-test/CoreString.xdb", DBT_NOCHECK | DBT_NOWRITE);
        for (const auto &[key, text] : Texts())
            DbmTPutRecord(db_, key.c_str(), text.c_str(), static_cast<int>(text.size()) + 1);
        pDrvCoreDB = db_;
    }
    ~EnglishTexts() {
        pDrvCoreDB = saved_;
        DbTClose(db_);
    }
    void Put(const char *key, const char *text) {
        DbmTPutRecord(db_, key, text, static_cast<int>(std::string(text).size()) + 1);
    }
    // The engine's English texts as shipped (db-src, compiled in), keyed as in the
    // message database.
    static const std::vector<std::pair<std::string, std::string>> &Texts() {
        static const std::vector<std::pair<std::string, std::string>> texts = [] {
            std::vector<std::pair<std::string, std::string>> all;
            for (int group : {20, 25, 30})
                for (int number = 0; number < 2000; ++number)
                    if (const char *text = BuiltinText("en_US", group, number))
                        all.emplace_back(std::to_string(group) + "_" + std::to_string(number), text);
            return all;
        }();
        return texts;
    }

private:
    DbT *saved_;
    DbT *db_;
};

// Texts the engine fetches once (pErrIntRange, the picker labels): a test that
// depends on them fetches them afresh, and leaves them unfetched.
class FreshTexts {
public:
    FreshTexts() { Reset(); }
    ~FreshTexts() { Reset(); }

private:
    static void Reset() {
        for (char **p : {&pErrIntRange, &KVATTYMENU_SAVE, &KVATTYMENU_CANCEL, &KVATTYMENU_CURSEL,
                         &KVATTYMENU_CURSELTRUNC, &KVATTYMENU_OPTION}) {
            PutMem(*p);
            *p = nullptr;
        }
    }
};

}  // namespace menutest
