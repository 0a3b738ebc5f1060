// Faults during a run: a target file system that fills up, the sed modifier on an
// executable, and what the user sees when a command fails.
#include "E2eSupport.h"

using namespace e2e;

namespace {

class Faults : public ::testing::Test {
protected:
    Box box;
};

}  // namespace

// /opt is a small file system of its own, nearly full: the copy of the large file
// fails halfway. After the space is freed the next run completes the installation,
// and the file the archive lacks is counted as the one failed command.
TEST_F(Faults, AFullTargetStopsTheRunAndARunWithRoomCompletesIt) {
    E2E_PRECONDITIONS(box);
    std::string big(200 * 1024, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>('a' + (i * 7919 % 26));
    Product p = box.Small(std::string(SMALL_LIST) + "m kvqadmin sed s/calls/calls/\nc big.dat\nc absent.txt\n");
    p.File("big.dat", big);
    ASSERT_TRUE(box.Mksite(p));
    WriteFile(box.Root("/expect/big.dat"), big);

    Result r = box.Sh("mount -t tmpfs -o size=400k tmpfs /opt || exit 90\n"
                      "dd if=/dev/zero of=/opt/filler bs=4k count=75 2>/dev/null\n"
                      "./setup no_space_check; echo \"first=$?\"\n"
                      "echo '--' >&2\n"
                      "rm /opt/filler\n"
                      "./setup; echo \"second=$?\"\n"
                      "cp -a /opt/Talvo /result\n",
                      "y\n");  // the second run removes the package the first one registered
    ASSERT_NE(std::string::npos, r.out.find("first=1\n")) << r.Both();
    ASSERT_NE(std::string::npos, r.out.find("second=0\n")) << r.Both();
    std::string first = r.err.substr(0, r.err.find("--\n"));
    std::string second = r.err.substr(r.err.find("--\n") + 3);
    EXPECT_EQ("ERROR: couldn't write /opt/Talvo/dorv/big.dat\n", first);
    EXPECT_TRUE(second.ends_with("\nWARNING: 1 commands failed; see /tmp/setup.log\n") ||
                second == "WARNING: 1 commands failed; see /tmp/setup.log\n")
        << second;

    const std::string app = box.Root("/result/dorv");
    EXPECT_EQ(big, ReadFile(app + "/big.dat"));
    EXPECT_EQ(" V5 ", ReadFile(app + "/.kv_cfg"));
    for (const char *script : {"/TalvoKSF", "/TalvoPrintdorv"})
        EXPECT_TRUE(ReadFile(app + script).ends_with("esac\n")) << script;
    // The edited tool kept its mode and was started.
    EXPECT_EQ(0755, Mode(app + "/kvqadmin"));
    EXPECT_NE(std::string::npos, ReadFile(app + "/kvqadmin.calls").find("kvqadmin -upgrade")) << r.Both();
}

TEST_F(Faults, AFatalFailureStandsOnItsOwnLineNamingProgramFileAndLog) {
    E2E_PRECONDITIONS(box);
    ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST)));
    std::filesystem::remove(box.Root("/site/pkg_tar.z1"));
    std::filesystem::remove(box.Root("/site/pkg.sums"));  // unchecked media: the copy itself fails
    Result r = box.Setup({});
    EXPECT_EQ(1, r.status) << r.Both();
    std::vector<std::string> lines = Lines(r.out);
    EXPECT_TRUE(Has(lines, "ERROR: exit status 1: cp failed on /site/pkg_tar.z1 /tmp/TalvoInstall; "
                           "see /tmp/setup.log"))
        << r.Both();
    EXPECT_NE(std::string::npos, box.Log().find("ERROR: exit status 1\n"));
}
