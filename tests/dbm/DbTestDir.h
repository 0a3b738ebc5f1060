// DbTestDir.h - a private scratch tree for database tests: the test runs inside a
// new directory under /tmp, which is also the tool path; waits are recorded instead
// of slept. Everything is restored and removed afterwards.
#pragma once
#include <dirent.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Buffers.h"
#include "MemMgr.h"
#include "Sleep.h"
#include "StrUtils.h"

inline std::vector<unsigned> &RecordedSleeps() {
    static std::vector<unsigned> sleeps;
    return sleeps;
}

// The entries of a directory, sorted.
inline std::vector<std::string> DirNames(const std::string &dir) {
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
                names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class DbTestDir : public ::testing::Test {
protected:
    std::string Dir;
    std::string OldCwd;
    char *OldToolPath = nullptr;
    void (*OldHook)(unsigned) = nullptr;

    void SetUp() override {
        char cwd[PATH_MAX];
        ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
        OldCwd = cwd;
        char tmpl[] = "/tmp/dbtest-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        Dir = tmpl;
        ASSERT_EQ(0, chdir(Dir.c_str()));
        OldToolPath = pToolPath;
        pToolPath = SaveStr_(Dir.c_str());
        OldHook = pSleepHook;
        RecordedSleeps().clear();
        pSleepHook = [](unsigned s) { RecordedSleeps().push_back(s); };
    }

    void TearDown() override {
        EXPECT_EQ(0, chdir(OldCwd.c_str()));
        PutMem(pToolPath);
        pToolPath = OldToolPath;
        pSleepHook = OldHook;
        nftw(Dir.c_str(), [](const char *p, const struct stat *, int, struct FTW *) { return remove(p); },
             16, FTW_DEPTH | FTW_PHYS);
    }

    std::string Path(const std::string &rel) const { return Dir + "/" + rel; }

    static std::vector<unsigned char> ReadBytes(const std::string &path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
    }

    static void WriteBytes(const std::string &path, const std::vector<unsigned char> &bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    static bool Exists(const std::string &path) {
        struct stat sb;
        return stat(path.c_str(), &sb) == 0;
    }
};
