// FilesTestUtil.h - scratch directories and guards for the file-layer tests.
#pragma once
#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "Files.h"
#include "gtest/gtest.h"

// A private directory under /tmp, removed with everything in it.
class ScratchDir {
public:
    ScratchDir() {
        char templ[] = "/tmp/filestestXXXXXX";
        if (mkdtemp(templ))
            path_ = templ;
    }
    ~ScratchDir() {
        if (!path_.empty())
            nftw(path_.c_str(), Remove, 16, FTW_DEPTH | FTW_PHYS);
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    const char *c_str() const { return path_.c_str(); }
    std::string Path(const std::string &name) const { return path_ + "/" + name; }
    std::string Write(const std::string &name, const std::string &content) const {
        std::string p = Path(name);
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }

private:
    static int Remove(const char *p, const struct stat *, int, struct FTW *) { return ::remove(p); }
    std::string path_;
};

// Closes the current input file and restores the filter flag after a test.
struct InputFileGuard {
    char savedFilter = flInputFilterState;
    ~InputFileGuard() {
        CloseInputFile();
        flInputFilterState = savedFilter;
    }
};
