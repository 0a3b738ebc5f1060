// The receipt of an installation, setup --verify and setup --remove in the isolated
// root: the receipt names exactly what the run changed, --verify reports each kind
// of damage, --remove gives back the root as it was but for the administrator's
// changed files, and the whole cycle can start again.
#include <set>

#include "E2eSupport.h"
#include "Snapshot.h"

using namespace e2e;

namespace {

constexpr const char *kApp = "/opt/Talvo/dorv";
const std::string kReceipt = std::string(kApp) + "/.install-receipt";

// The paths of the receipt's entries (the demo's paths need no escapes).
std::set<std::string> ReceiptPaths(const std::string &text) {
    std::set<std::string> paths;
    for (const std::string &line : Lines(text)) {
        std::istringstream in(line);
        std::vector<std::string> w;
        for (std::string word; in >> word;)
            w.push_back(word);
        if (w.size() >= 7 && (w[0] == "file" || w[0] == "dir" || w[0] == "link"))
            paths.insert(w[6]);
    }
    return paths;
}

// A directory the overlay copied up because the run wrote below it, or one the
// package tools keep: not the installer's change.
bool CopiedUpOrPackage(const std::string &path, const std::set<std::string> &paths) {
    if (path.rfind("/var/sadm", 0) == 0)
        return true;
    for (const std::string &p : paths)
        if (Under(p, path))
            return IsDir(path);
    return false;
}

// The demo product installed under /opt, and the root's changes before.
class Installed : public ::testing::Test {
protected:
    void SetUp() override {
        E2E_PRECONDITIONS(box);
        box.FakeRelease("5.10");
        ASSERT_TRUE(box.Mksite(box.Demo()));
        ASSERT_EQ(box.Sh("true").status, 0);  // the runner's own directories
        before = Take(box);
        Result r = box.Setup({});
        ASSERT_EQ(r.status, 0) << r.Both();
    }
    Box box;
    Snapshot before;
};

// Without what records the time or count of runs: the product tool's record of its
// calls and the package tools' registration.
Snapshot WithoutRunRecords(Snapshot shot) {
    shot.erase(std::string(kApp) + "/kvqadmin.calls");
    std::erase_if(shot, [](const auto &entry) { return entry.first.rfind("/var/sadm", 0) == 0; });
    return shot;
}

}  // namespace

TEST_F(Installed, ReceiptNamesWhatTheRunChangedAndVerifyChecksIt) {
    Snapshot installed = Take(box);
    std::string receipt = ReadFile(box.Root(kReceipt));
    EXPECT_FALSE(Exists(box.Root(kReceipt + ".new")));
    EXPECT_NE(receipt.find("\nroot /opt\npackage MRGWdorv\n"), std::string::npos) << receipt;

    // Exactly the run's changes outside the work area.
    std::set<std::string> paths = ReceiptPaths(receipt), changed = Changed(before, installed);
    for (const std::string &p : paths)
        EXPECT_TRUE(changed.count(p)) << "in the receipt but not changed: " << p;
    for (const std::string &c : changed) {
        bool named = paths.count(c) || c == kReceipt || c == std::string(kApp) + "/kvqadmin.calls" ||
                     CopiedUpOrPackage(c, paths);
        EXPECT_TRUE(named) << "changed but not in the receipt: " << c;
    }

    // Right after the installation nothing differs, and --verify changes nothing.
    Result v = box.Setup({"--verify"});
    EXPECT_EQ(v.status, 0) << v.Both();
    EXPECT_EQ(Lines(v.out).size(), 1u) << v.out;
    EXPECT_EQ(Take(box), installed);

    // The same media and answers again: an upgrade to the same system.
    Result again = box.Setup({}, "y\n");
    ASSERT_EQ(again.status, 0) << again.Both();
    EXPECT_EQ(Changed(WithoutRunRecords(installed), WithoutRunRecords(Take(box))), std::set<std::string>{});
    EXPECT_EQ(box.Setup({"--verify", "/opt"}).status, 0);

    // One file deleted, one mode changed, one script edited: three lines and the count.
    fs::remove(box.Root(std::string(kApp) + "/ksf"));
    chmod(box.Root(std::string(kApp) + "/kvqadmin").c_str(), 0700);
    std::ofstream(box.Root(std::string(kApp) + "/TalvoKSF"), std::ios::app) << "echo edited\n";
    Result d = box.Setup({"--verify"});
    EXPECT_EQ(d.status, 1) << d.Both();
    std::vector<std::string> lines = Lines(d.out);
    ASSERT_EQ(lines.size(), 4u) << d.out;
    EXPECT_TRUE(Has(lines, "missing          /opt/Talvo/dorv/ksf")) << d.out;
    EXPECT_TRUE(Has(lines, "changed mode     /opt/Talvo/dorv/kvqadmin (0755, now 0700)")) << d.out;
    EXPECT_TRUE(Has(lines, "changed content  /opt/Talvo/dorv/TalvoKSF")) << d.out;
    EXPECT_EQ(lines[3], "3 differences in " + std::to_string(paths.size()) +
                            " entries of the installation under /opt");

    // No installation, and an installation without a receipt.
    Result none = box.Setup({"--verify", "/export"});
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("no installation"), std::string::npos) << none.err;
    fs::remove(box.Root(kReceipt));
    Result bare = box.Setup({"--verify"});
    EXPECT_EQ(bare.status, 2);
    EXPECT_NE(bare.err.find("has no receipt"), std::string::npos) << bare.err;
}

TEST_F(Installed, RemoveGivesBackTheRootButKeepsChangedFilesAndInstallsAgain) {
    std::ofstream(box.Root(std::string(kApp) + "/README.txt"), std::ios::app) << "the administrator's note\n";
    std::set<std::string> paths = ReceiptPaths(ReadFile(box.Root(kReceipt)));

    WriteFile(box.Root("/var/spool/Talvo/dorv/job.1"), "a job\n");

    // The plan, answered from a file, changes nothing; nor does a removal whose
    // package stays registered.
    WriteFile(box.Root("/answers"), "remove_installation=yes\n");
    Snapshot installed = Take(box);
    Result failed = box.Setup({"--remove"}, "y\n", {"--env", "PLATFORM_PKGRM_STATUS=1"});
    EXPECT_EQ(failed.status, 1) << failed.Both();
    EXPECT_NE(failed.err.find("incomplete; see /tmp/setup.log"), std::string::npos) << failed.err;
    EXPECT_EQ(Take(box), installed);
    Result plan = box.Setup({"--dry-run", "--remove", "--answers", "/answers"});
    EXPECT_EQ(plan.status, 0) << plan.Both();
    EXPECT_EQ(Take(box), installed);
    EXPECT_NE(plan.out.find("Remove the Talvo printer software from /opt? [y/n] y\n"), std::string::npos) << plan.out;
    EXPECT_NE(plan.out.find("plan: mv /opt/Talvo/dorv/README.txt /opt/Talvo/dorv/README.txt.saved\n"),
              std::string::npos) << plan.out;
    EXPECT_NE(plan.out.find("plan: rm /usr/bin/kelvra\n"), std::string::npos) << plan.out;

    Result rm = box.Setup({"--remove"}, "y\n");
    EXPECT_EQ(rm.status, 0) << rm.Both();
    EXPECT_NE(rm.out.find("kept: /opt/Talvo/dorv/README.txt.saved"), std::string::npos) << rm.out;
    EXPECT_NE(rm.out.find("The spool directory /var/spool/Talvo/dorv still holds jobs"), std::string::npos)
        << rm.out;
    std::set<std::string> left;
    for (const std::string &c : Changed(before, Take(box)))
        if (!CopiedUpOrPackage(c, paths))
            left.insert(c);
    // The changed file, the product tool's record, the job, and the directories
    // that hold them.
    EXPECT_EQ(left, (std::set<std::string>{"/opt/Talvo", kApp, std::string(kApp) + "/README.txt.saved",
                                           std::string(kApp) + "/kvqadmin.calls", "/var/spool/Talvo",
                                           "/var/spool/Talvo/dorv", "/var/spool/Talvo/dorv/job.1"}));
    EXPECT_NE(ReadFile(box.Root(std::string(kApp) + "/README.txt.saved")).find("the administrator's note"),
              std::string::npos);

    Result installAgain = box.Setup({});
    ASSERT_EQ(installAgain.status, 0) << installAgain.Both();
    Result v = box.Setup({"--verify"});
    EXPECT_EQ(v.status, 0) << v.Both();
}

// A run that stops after its first changes (the package registration fails)
// writes no receipt, and --verify says so.
TEST(Receipt, NoneAfterARunThatStopsEarly) {
    Box box;
    E2E_PRECONDITIONS(box);
    box.FakeRelease("5.10");
    ASSERT_TRUE(box.Mksite(box.Demo()));
    Result r = box.Setup({}, "", {"--env", "PLATFORM_PKGADD_STATUS=1"});
    EXPECT_EQ(r.status, 1) << r.Both();
    EXPECT_TRUE(IsDir(box.Root(kApp)));
    EXPECT_FALSE(Exists(box.Root(kReceipt)));
    EXPECT_FALSE(Exists(box.Root(kReceipt + ".new")));
    EXPECT_EQ(box.Setup({"--verify"}).status, 2);
}
