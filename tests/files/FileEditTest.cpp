// Line editing of text files through the work file that replaces them.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "../sandbox/SandboxRun.h"
#include "FileEdit.h"
#include "FilesTestUtil.h"

namespace {

std::string Read(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

struct EditFile {
    ScratchDir Dir;
    std::string Base;
    explicit EditFile(const std::string &text) : Base(Dir.Path("f")) { Dir.Write("f.txt", text); }
    std::string Text() const { return Read(Base + ".txt"); }
    bool WorkLeft() const { return Exists(Base + ".txtout"); }
};

TEST(FileChange, ReplacesTheFirstOccurrenceInEveryLine) {
    EditFile f("a-a-a\nno\nx a\n");
    EXPECT_EQ(0, FileChange(f.Base.c_str(), "txt", "a", "BB"));
    EXPECT_EQ("BB-a-a\nno\nx BB\n", f.Text());
    EXPECT_FALSE(f.WorkLeft());
}

TEST(FileChange, KeepsLongLinesWholeAndALastLineWithoutEnd) {
    std::string longLine = std::string(600, 'x') + "needle" + std::string(600, 'y');
    EditFile f(longLine + "\n" + std::string(520, 'z') + "needle");
    FileChange(f.Base.c_str(), "txt", "needle", "N");
    EXPECT_EQ(std::string(600, 'x') + "N" + std::string(600, 'y') + "\n" + std::string(520, 'z') + "N", f.Text());
}

TEST(FileChangeChar, ReplacesEveryOccurrenceByTheListedCodes) {
    EditFile f("a;b;c\n");
    FileChangeChar(f.Base.c_str(), "txt", "0x3b", "45,0x2d,062");
    EXPECT_EQ("a--2b--2c\n", f.Text());
    FileChangeChar(f.Base.c_str(), "txt", "50", nullptr);
    EXPECT_EQ("a--b--c\n", f.Text());
}

TEST(FileDel, KeepsTheFirstNMatchingLines) {
    std::string lines;
    for (int i = 1; i <= 10; ++i)
        lines += (i == 2 || i == 5 || i == 9 ? "keep x" : "line") + std::to_string(i) + "\n";
    EditFile f(lines);
    FileDelLine(f.Base.c_str(), "txt", 1, "x");
    std::string text = f.Text();
    EXPECT_NE(std::string::npos, text.find("keep x2\n"));
    EXPECT_EQ(std::string::npos, text.find("x5"));
    EXPECT_EQ(std::string::npos, text.find("x9"));
    EXPECT_NE(std::string::npos, text.find("line10\n"));

    EditFile g("ab x\ncd x\nef x\n");
    FileDel(g.Base.c_str(), "txt", 1, " x");
    EXPECT_EQ("ab x\ncd\nef\n", g.Text());
}

TEST(FileDelLinePair, RemovesTheStartAndItsEndLine) {
    EditFile f("A start\nB\nC end\nD\n");
    FileDelLinePair(f.Base.c_str(), "txt", 0, "start", "end");
    EXPECT_EQ("B\nD\n", f.Text());
    EditFile g("s1 start\ns2 start end\nx end\ny end\n");
    FileDelLinePair(g.Base.c_str(), "txt", 0, "start", "end");
    EXPECT_EQ("", g.Text());  // two pairs: a start line never ends one
}

TEST(FileDelFormat, EachModeAndAnUnknownOne) {
    EditFile f("one key two\nplain\n");
    EXPECT_EQ(0, FileDelFormat(f.Base.c_str(), "txt", "a", "key"));
    EXPECT_EQ("one key\nplain\n", f.Text());
    EXPECT_EQ(0, FileDelFormat(f.Base.c_str(), "txt", "b", "key"));
    EXPECT_EQ("key\nplain\n", f.Text());
    EXPECT_EQ(0, FileDelFormat(f.Base.c_str(), "txt", "", "ke"));
    EXPECT_EQ("y\nplain\n", f.Text());
    EXPECT_EQ(0, FileDelFormat(f.Base.c_str(), "txt", "c", "0x61"));
    EXPECT_EQ("y\nplin\n", f.Text());
    EXPECT_EQ(0, FileDelFormat(f.Base.c_str(), "txt", "l", "pl"));
    EXPECT_EQ("y\n", f.Text());
    EXPECT_EQ(1, FileDelFormat(f.Base.c_str(), "txt", "z", "y"));
    EXPECT_EQ("y\n", f.Text());
    EXPECT_EQ("", Read(f.Base + ".txtout"));  // the empty work file stays
}

TEST(FileInsert, NumbersFromTheThresholdOn) {
    EditFile f("a\nb\nc\n");
    FileInsert(f.Base.c_str(), "txt", "%s10%#10 ");
    EXPECT_EQ("00000 a\n00001 b\n00002 c\n", f.Text());
    EditFile g("a\nb\nc\nd\n");
    FileInsert(g.Base.c_str(), "txt", "[%#2]");
    EXPECT_EQ("a\nb\n[00000]c\n[00001]d\n", g.Text());
    EditFile h("x1\ny\nx2\n");
    FileSearchInsert(h.Base.c_str(), "txt", "# %s5%#6\n", "x");
    EXPECT_EQ("x1\ny\n# 00000\nx2\n", h.Text());
}

TEST(FileEdit, AnEmptyExtensionEditsThePathItself) {
    ScratchDir dir;
    std::string path = dir.Write("plain", "old\n");
    dir.Write("plain.out", "stale work file\n");
    FileChange(path.c_str(), "", "old", "new");
    EXPECT_EQ("new\n", Read(path));
    EXPECT_FALSE(Exists(path + ".out"));
}

TEST(OpenIOFiles, TheCallersLoopThenReplaceInputFile) {
    ScratchDir dir;
    std::string base = dir.Path("conf");
    dir.Write("conf.cfg", "x=1\n");
    OpenIOFiles(base.c_str(), "cfg");
    EXPECT_EQ(base + ".cfg", std::string(Fn));
    EXPECT_EQ(base + ".cfgout", std::string(FnOut));
    char line[64];
    while (std::fgets(line, sizeof line, pIn))
        std::fprintf(pOut, "# %s", line);
    ReplaceInputFile();
    EXPECT_EQ("# x=1\n", Read(base + ".cfg"));
    EXPECT_FALSE(Exists(base + ".cfgout"));
    EXPECT_EQ(nullptr, pIn);
    EXPECT_EQ(nullptr, pOut);
}

// Run inside the isolated root by the test below, on a full file system.
TEST(FileEditOnAFullDisk, EditInsideTheIsolatedRoot) {
    const char *dir = std::getenv("FILEEDIT_FULL_DIR");
    if (!dir)
        GTEST_SKIP() << "run by FileEditOnAFullDisk.LeavesTheFileIntact";
    std::string base = std::string(dir) + "/f";
    FileChange(base.c_str(), "txt", "a", "aaaaaaaaaaaaaaaa");
    std::exit(0);  // not reached: the edit cannot be written
}

TEST(FileEditOnAFullDisk, LeavesTheFileIntact) {
    SKIP_UNLESS_ROOT();
    sandbox_test::Sandbox box;
    ASSERT_TRUE(box.Ok());
    std::string self = std::string(BINARY_DIR) + "/test_files";
    std::string script =
        "mkdir -p /srv/full && mount -t tmpfs -o size=256k tmpfs /srv/full && "
        "yes a | head -c 120000 > /srv/full/f.txt && cp /srv/full/f.txt /tmp/orig && "
        "FILEEDIT_FULL_DIR=/srv/full " + sandbox_test::Quote(self) +
        " --gtest_filter=FileEditOnAFullDisk.EditInsideTheIsolatedRoot; echo status=$?; "
        "cmp /srv/full/f.txt /tmp/orig && echo intact; ls /srv/full";
    sandbox_test::Result r = box.Sh(script);
    EXPECT_NE(std::string::npos, r.out.find("ERROR: couldn't write /srv/full/f.txt")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("status=1")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("intact\nf.txt\n")) << r.out;  // no work file left
}

}  // namespace
