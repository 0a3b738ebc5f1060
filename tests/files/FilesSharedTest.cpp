// Fixed names in directories other users can write to: what is removed, what is the
// program's own, what stops the run; new files and directories made without
// following links; closed standard descriptors.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

#include "FilesTestUtil.h"

namespace {

constexpr uid_t kNobody = 65534;

bool Present(const std::string &path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

std::string Content(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(ExamineSharedName, RemovesWhatAnotherUserCouldHavePlantedAndKeepsTheTargets) {
    ScratchDir dir;
    std::string victim = dir.Write("victim", "precious\n");
    std::string link = dir.Path("link"), fifo = dir.Path("fifo"), hard = dir.Path("hard");
    ASSERT_EQ(0, symlink(victim.c_str(), link.c_str()));
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0666));
    ASSERT_EQ(0, ::link(victim.c_str(), hard.c_str()));  // this user's file, linked twice
    for (const std::string &p : {link, fifo, hard}) {
        EXPECT_EQ(SHARED_NONE, ExamineSharedName(p.c_str())) << p;
        EXPECT_FALSE(Present(p)) << p;
    }
    EXPECT_EQ("precious\n", Content(victim));
    EXPECT_EQ(SHARED_NONE, ExamineSharedName(dir.Path("missing").c_str()));
}

TEST(ExamineSharedName, ThisUsersFileAndDirectoryAreItsOwnAndStay) {
    ScratchDir dir;
    std::string file = dir.Write("file", "mine\n");
    ASSERT_EQ(0, mkdir(dir.Path("sub").c_str(), 0755));
    EXPECT_EQ(SHARED_OWN, ExamineSharedName(file.c_str()));
    EXPECT_EQ(SHARED_OWN, ExamineSharedName(dir.Path("sub").c_str()));
    EXPECT_EQ("mine\n", Content(file));
}

TEST(ClaimSharedName, AnotherUsersFileIsLeftAloneOrStopsTheRun) {
    if (geteuid() != 0)
        GTEST_SKIP() << "making a file of another user needs root";
    ScratchDir dir;
    std::string file = dir.Write("theirs", "theirs\n");
    ASSERT_EQ(0, chown(file.c_str(), kNobody, kNobody));
    ASSERT_EQ(0, ::link(file.c_str(), dir.Path("theirs2").c_str()));  // linked twice, still theirs
    EXPECT_EQ(SHARED_FOREIGN, ExamineSharedName(file.c_str()));
    EXPECT_EQ(SHARED_FOREIGN, ExamineSharedName(dir.Path("theirs2").c_str()));
    EXPECT_EXIT(ClaimSharedName(file.c_str()), testing::ExitedWithCode(1),
                "^ERROR: " + file + " belongs to another user\n$");
    EXPECT_EQ("theirs\n", Content(file));
}

TEST(CreateSharedFile, NeverFollowsALinkAndSetsTheModeWhateverTheUmask) {
    ScratchDir dir;
    std::string victim = dir.Write("victim", "precious\n");
    std::string link = dir.Path("link");
    ASSERT_EQ(0, symlink(victim.c_str(), link.c_str()));
    EXPECT_EQ(-1, CreateSharedFile(link.c_str(), 0644));
    EXPECT_EQ("precious\n", Content(victim));

    mode_t old = umask(077);
    int fd = CreateSharedFile(dir.Path("new").c_str(), 0644);
    umask(old);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(FD_CLOEXEC, fcntl(fd, F_GETFD) & FD_CLOEXEC);
    close(fd);
    struct stat st {};
    ASSERT_EQ(0, lstat(dir.Path("new").c_str(), &st));
    EXPECT_EQ(0644u, st.st_mode & 07777);
}

TEST(MakeSharedDir, MakesOnlyANewDirectoryWithTheGivenMode) {
    ScratchDir dir;
    std::string target = dir.Path("target"), link = dir.Path("link");
    ASSERT_EQ(0, mkdir(target.c_str(), 0777));
    chmod(target.c_str(), 0777);
    ASSERT_EQ(0, symlink(target.c_str(), link.c_str()));
    EXPECT_EQ(0, MakeSharedDir(link.c_str(), 0700));
    EXPECT_EQ(0, MakeSharedDir(target.c_str(), 0700));
    EXPECT_FALSE(IsSafeDir(target.c_str()));  // writable by others
    EXPECT_FALSE(IsSafeDir(link.c_str()));

    mode_t old = umask(0);
    EXPECT_EQ(1, MakeSharedDir(dir.Path("work").c_str(), 0700));
    umask(old);
    struct stat st {};
    ASSERT_EQ(0, lstat(dir.Path("work").c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 07777);
    EXPECT_TRUE(IsSafeDir(dir.Path("work").c_str()));
}

// In a child: closes standard input and error, then exits 0 when they were given
// /dev/null and a file opened afterwards takes neither place.
[[noreturn]] void ReopenClosedStandardDescriptors() {
    close(0);
    close(2);
    OpenStandardDescriptors();
    struct stat null {}, in {}, err {};
    stat("/dev/null", &null);
    bool ok = fstat(0, &in) == 0 && fstat(2, &err) == 0 && in.st_rdev == null.st_rdev &&
              err.st_rdev == null.st_rdev && fcntl(1, F_GETFD) != -1;
    int fd = open("/dev/zero", O_RDONLY);
    _exit(ok && fd > 2 ? 0 : 3);
}

TEST(OpenStandardDescriptors, PutsDevNullOnEveryClosedOne) {
    EXPECT_EXIT(ReopenClosedStandardDescriptors(), testing::ExitedWithCode(0), "");
}
