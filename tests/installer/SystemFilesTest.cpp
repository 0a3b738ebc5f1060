// The operations on system files (init table entry, removal of the earlier print
// product), run in the isolated root: the test program starts itself inside with
// SETUP_SCENARIO naming the operation, and the outer test looks at what it left.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../sandbox/SandboxRun.h"
#include "Errors.h"
#include "Installer.h"
#include "Log.h"
#include "Scripts.h"
#include "Sleep.h"
#include "SysCmd.h"

namespace {

using sandbox_test::Exists;
using sandbox_test::ReadFile;
using sandbox_test::WriteFile;

void SkipSleep(unsigned) {}

std::string SelfExe() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

class SystemFiles : public testing::Test {
protected:
    sandbox_test::Sandbox box;
    void SetUp() override {
        SKIP_UNLESS_ROOT();
        ASSERT_TRUE(box.Ok());
    }
    // Puts a file into the isolated root before the run.
    void Put(const std::string &inner, const std::string &text) { WriteFile(box.Kept(inner), text); }
    sandbox_test::Result Run(const std::string &scenario) {
        return box.Run({"--env", "SETUP_SCENARIO=" + scenario, "--timeout", "60", "--", SelfExe(),
                        "--gtest_filter=InIsolatedRoot.SystemFileScenario"});
    }
};

}  // namespace

// Runs only when started by the tests below.
TEST(InIsolatedRoot, SystemFileScenario) {
    const char *name = std::getenv("SETUP_SCENARIO");
    if (!name)
        GTEST_SKIP() << "started by the system-file tests";
    static char program[] = "setup";
    my_name = program;
    flUseLog = 1;
    pSleepHook = SkipSleep;
    InitSysCmdList();
    snprintf(AppDir, sizeof AppDir, "%s", "/opt/Talvo/dorv");
    static char backup[] = "/etc/inittab.TalvoSave";
    pInitTabSave = backup;
    std::string which = name;
    if (which == "inittab")
        AddDaemonToInitTab();
    else if (which == "qlsv")
        DelQLSV();
    std::fflush(stdout);
    std::exit(0);
}

TEST_F(SystemFiles, InitTableGetsTheEntryOnceAndOneBackup) {
    const std::string table = "id:3:initdefault:\nsi::sysinit:/etc/rc.sysinit\n";
    Put("/etc/inittab", table);
    sandbox_test::Result r = Run("inittab");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(ReadFile(box.Kept("/etc/inittab")), table + "Kvdm:3:respawn:/opt/Talvo/dorv/Kvdm\n");
    EXPECT_EQ(ReadFile(box.Kept("/etc/inittab.TalvoSave")), table);

    // A second run finds the entry and changes nothing.
    r = Run("inittab");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(ReadFile(box.Kept("/etc/inittab")), table + "Kvdm:3:respawn:/opt/Talvo/dorv/Kvdm\n");
    EXPECT_EQ(ReadFile(box.Kept("/etc/inittab.TalvoSave")), table);
}

TEST_F(SystemFiles, ExistingBackupIsNeverReplaced) {
    Put("/etc/inittab", "id:3:initdefault:\n");
    Put("/etc/inittab.TalvoSave", "the first backup\n");
    ASSERT_EQ(Run("inittab").status, 0);
    EXPECT_EQ(ReadFile(box.Kept("/etc/inittab.TalvoSave")), "the first backup\n");
    EXPECT_EQ(ReadFile(box.Kept("/etc/inittab")), "id:3:initdefault:\nKvdm:3:respawn:/opt/Talvo/dorv/Kvdm\n");
}

class EarlierProduct : public SystemFiles {
protected:
    void SetUp() override {
        SystemFiles::SetUp();
        if (IsSkipped())
            return;
        Put("/usr/bin/TalvoSave/lp", "system lp\n");
        Put("/usr/ucb/TalvoSave/lpr", "system lpr\n");
        Put("/usr/ucb/lpr", "wrapper lpr\n");
        Put("/srv/qlsv/home/bin/tool", "x\n");
        Put("/srv/qlsv/Talvo_printers", "# printers\nlaser extra words\n\n../evil\nink\n");
        Put("/srv/qlsv/7300/model", "m\n");
        Put("/var/spool/lp/admins/lp/printers/laser/configuration", "c\n");
        Put("/var/spool/lp/admins/lp/interfaces/laser", "i\n");
        Put("/var/spool/lp/requests/ink/job", "j\n");
        Put("/var/spool/lp/admins/lp/printers/other/configuration", "keep\n");
    }
};

TEST_F(EarlierProduct, IsRemovedAndTheSystemCommandsComeBack) {
    Put("/usr/bin/lp", "#!/bin/sh\nQLSV_HOME=\"/srv/qlsv/home\"; export QLSV_HOME\nexec lp.real \"$@\"\n");
    sandbox_test::Result r = Run("qlsv");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_FALSE(Exists(box.Kept("/srv/qlsv/home/bin/tool")));
    EXPECT_EQ(ReadFile(box.Kept("/usr/bin/lp")), "system lp\n");
    EXPECT_EQ(ReadFile(box.Kept("/usr/ucb/lpr")), "system lpr\n");
    EXPECT_FALSE(Exists(box.Kept("/var/spool/lp/admins/lp/printers/laser/configuration")));
    EXPECT_FALSE(Exists(box.Kept("/var/spool/lp/admins/lp/interfaces/laser")));
    EXPECT_FALSE(Exists(box.Kept("/var/spool/lp/requests/ink/job")));
    EXPECT_EQ(ReadFile(box.Kept("/var/spool/lp/admins/lp/printers/other/configuration")), "keep\n");
    EXPECT_FALSE(Exists(box.Kept("/srv/qlsv/Talvo_printers")));
    EXPECT_FALSE(Exists(box.Kept("/srv/qlsv/7300/model")));
}

TEST_F(EarlierProduct, WrapperThatIsNotAShellScriptStopsEverything) {
    Put("/usr/bin/lp", "#!/bin/bash\nQLSV_HOME=/srv/qlsv/home\n");
    ASSERT_EQ(Run("qlsv").status, 0);
    EXPECT_TRUE(Exists(box.Kept("/srv/qlsv/home/bin/tool")));
    EXPECT_EQ(ReadFile(box.Kept("/usr/ucb/lpr")), "wrapper lpr\n");
    EXPECT_TRUE(Exists(box.Kept("/var/spool/lp/admins/lp/interfaces/laser")));
}

TEST_F(EarlierProduct, UnsafeHomeStopsEverything) {
    Put("/usr/bin/lp", "#!/bin/sh\nQLSV_HOME=/\n");
    ASSERT_EQ(Run("qlsv").status, 0);
    EXPECT_TRUE(Exists(box.Kept("/srv/qlsv/home/bin/tool")));
    EXPECT_EQ(ReadFile(box.Kept("/usr/ucb/lpr")), "wrapper lpr\n");
}
