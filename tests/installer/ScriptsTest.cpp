// Generated scripts: the banner frame, the launcher, and the interface scripts run
// with each spooler flag.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "Errors.h"
#include "Installer.h"
#include "Log.h"
#include "Scripts.h"
#include "SysCmd.h"

namespace {

std::string ReadAll(const std::string &path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string &path, const std::string &text, mode_t mode) {
    FILE *f = fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs(text.c_str(), f);
    fclose(f);
    chmod(path.c_str(), mode);
}

class ScriptsTest : public ::testing::Test {
protected:
    std::string root;
    void SetUp() override {
        char tmpl[] = "/tmp/scripts.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        my_name = const_cast<char *>("scriptstest");
        flUseLog = 0;
        InitSysCmdList();
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + root + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
};

TEST_F(ScriptsTest, BannerLinesAreSixtyThreeWideWithTheYear) {
    char banner[1024];
    snprintf(banner, sizeof banner, ScriptBanner, 2000);
    std::istringstream lines(banner);
    std::string line;
    int count = 0;
    while (std::getline(lines, line) && !line.empty()) {
        EXPECT_EQ(line.size(), static_cast<size_t>(BANNER_WIDTH)) << line;
        EXPECT_EQ(line.substr(0, 2), "##");
        EXPECT_EQ(line.substr(line.size() - 2), "##");
        ++count;
    }
    EXPECT_EQ(count, 5);
    EXPECT_NE(std::string(banner).find("2000"), std::string::npos);
    EXPECT_EQ(std::string(banner).substr(std::string(banner).size() - 2), "\n\n");
}

TEST_F(ScriptsTest, LauncherHasHeaderBannerAndBodyAndIsExecutable) {
    std::string path = root + "/launcher";
    EXPECT_EQ(1, GenSimpleScript(path.c_str(), ScriptShShell, SimpleScript, "/opt/Talvo/dorv", "/opt/Talvo/dorv",
                                 "kelvra"));
    std::string text = ReadAll(path);
    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    EXPECT_EQ(text.rfind("#!/bin/sh\n####", 0), 0u);
    EXPECT_NE(text.find(std::to_string(local.tm_year + 1900)), std::string::npos);
    EXPECT_NE(text.find("\n\n\nKelvraFileSourceDir=`pwd`\nexport KelvraFileSourceDir\n\ncd /opt/Talvo/dorv\n"
                        "exec /opt/Talvo/dorv/kelvra $*\n"),
              std::string::npos);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
}

TEST_F(ScriptsTest, AScriptThatCannotBeOpenedOrWrittenWholeIsAFailure) {
    std::string path = root + "/missing/dir/script";
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, GenSimpleScript(path.c_str(), ScriptShShell, SimpleScript, "a", "b", "c"));
    // a full disk: the text is lost at the close
    EXPECT_EQ(0, GenSimpleScript("/dev/full", ScriptShShell, SimpleScript, "a", "b", "c"));
    EXPECT_EQ("ERROR: couldn't write " + path + "\nERROR: couldn't write /dev/full\n",
              testing::internal::GetCapturedStderr());
    EXPECT_NE(access(path.c_str(), F_OK), 0);
}

// Interface script 1 under each spooler flag, with a print tool that records its
// arguments.
class InterfaceScriptTest : public ScriptsTest {
protected:
    std::string app;
    void SetUp() override {
        ScriptsTest::SetUp();
        app = root + "/app";
        mkdir(app.c_str(), 0755);
        WriteFile(app + "/kvrdorvtty", "#!/bin/sh\necho \"$*\" > \"$(dirname \"$0\")/called\"\n", 0755);
        WriteFile(app + "/ksf", "#!/bin/sh\necho \"$*\" > \"$(dirname \"$0\")/ksf.called\"\n", 0755);
        WriteFile(app + "/AixInterface", "#!/bin/sh\necho \"aix $*\" > \"$(dirname \"$0\")/called\"\n", 0755);
        std::string script = app + "/TalvoPrintdorv";
        GenSimpleScript(script.c_str(), ScriptShShell, TalvoPrintdorvScript, app.c_str(), "dorv", "kelvradorv",
                        "kelvradorv", "dorv", "dorv", "dorv");
        std::string ksf = app + "/TalvoKSF";
        GenSimpleScript(ksf.c_str(), ScriptShShell, TalvoKSFScript, app.c_str(), (root + "/spool").c_str());
    }
    void SetFlag(const char *flag) {
        std::string path = app + "/.kv_cfg";
        if (flag)
            WriteFile(path, flag, 0644);
        else
            unlink(path.c_str());
    }
    std::string Run(const std::string &env, const std::string &script, const std::string &args) {
        unlink((app + "/called").c_str());
        unlink((app + "/ksf.called").c_str());
        std::string cmd = "cd '" + root + "' && " + env + " sh '" + app + "/" + script + "' " + args +
                          " </dev/null >/dev/null 2>&1";
        EXPECT_EQ(system(cmd.c_str()), 0) << cmd;
        return ReadAll(app + (script == "TalvoKSF" ? "/ksf.called" : "/called"));
    }
};

TEST_F(InterfaceScriptTest, SystemVIsTheDefault) {
    SetFlag(nullptr);
    EXPECT_EQ(Run("", "TalvoPrintdorv", "17 alice title 1 opts file1 file2"), "-dTalvoPrintdorv -i file1 file2\n");
    SetFlag("");
    EXPECT_EQ(Run("", "TalvoPrintdorv", "17 alice title 1 opts file1"), "-dTalvoPrintdorv -i file1\n");
    SetFlag(" V5 ");
    EXPECT_EQ(Run("", "TalvoPrintdorv", "17 alice title 1 opts file1"), "-dTalvoPrintdorv -i file1\n");
}

TEST_F(InterfaceScriptTest, CupsTakesThePrinterFromTheEnvironment) {
    SetFlag(" CUPS ");
    EXPECT_EQ(Run("PRINTER=laser", "TalvoPrintdorv", "17 alice title 1 opts file1"), "-dlaser -i file1\n");
    EXPECT_EQ(Run("PRINTER=laser", "TalvoKSF", "17 alice title 1 opts file1"), "file1\n");
}

TEST_F(InterfaceScriptTest, LprngReadsTheControlLines) {
    SetFlag(" LPRng ");
    mkdir((root + "/spool").c_str(), 0755);
    std::string control = "Hhost\nPbob\nZduplex,a4\nJreport\nTtitle\nNone\nUdfA001host\n";
    std::string out = Run("PRINTER=laser SPOOL_DIR=" + root + "/spool CONTROL='" + control + "'",
                          "TalvoPrintdorv", "-print");
    EXPECT_EQ(out, "-dlaser -oduplex -oa4 -Jreport -c1 " + root + "/spool/dfA001host\n");
}

TEST_F(InterfaceScriptTest, LastKnownFlagWins) {
    SetFlag(" BSD AIX ");
    EXPECT_EQ(Run("", "TalvoPrintdorv", "x y"), "aix x y\n");
}

TEST_F(InterfaceScriptTest, BsdUsesTheQueueDirectoryName) {
    SetFlag(" BSD ");
    EXPECT_EQ(Run("", "TalvoPrintdorv", ""), "-d" + root.substr(root.rfind('/') + 1) + " -f\n");
}

}  // namespace
