// Standard input ending while the installer waits for an answer: every prompt stops
// with "ERROR: unexpected end of input" and status 1, after the prompt was shown,
// and nothing else changes on the way out.
#include <functional>

#include "E2eSupport.h"

using namespace e2e;

namespace {

struct Prompt {
    const char *name;
    bool diskettes;                           // the run needs a diskette set
    std::string shown;                        // the prompt on standard output
    std::function<Result(Box &)> run;         // prepares the root and runs setup
    std::function<void(const Box &)> after;   // what must still be as it was
};

void MakeSite(Box &box, const std::string &list = SMALL_LIST) {
    ASSERT_TRUE(box.Mksite(box.Small(list)));
}

// A launcher of an earlier installation in /export.
void EarlierLauncher(Box &box) {
    WriteFile(box.Root("/usr/bin/kelvra"), "#!/bin/sh\ncd /export/Talvo/dorv\nexec /export/Talvo/dorv/kelvra $*\n",
              0755);
}

Result Diskettes(Box &box, const std::vector<std::string> &disks, const std::string &input) {
    std::vector<std::string> options;
    for (const std::string &d : disks)
        options.insert(options.end(), {"--diskette", d});
    return box.Run({"sh", "-c", "volcheck >/dev/null && exec /floppy/floppy0/setup"}, input, options, "/");
}

void NothingInstalled(const Box &box) {
    EXPECT_FALSE(Exists(box.Root("/opt/Talvo/dorv/.kv_cfg")));
    EXPECT_FALSE(Exists(box.Root("/var/spool/Talvo")));
}

std::vector<Prompt> Prompts() {
    const char *const *en = NLS_ENGLISH;
    return {
        {"ExistingDaemonQuestion", false, en[63],
         [](Box &box) {
             MakeSite(box);
             WriteFile(box.Root("/opt/Talvo/dorv/KelvraD"), "daemon\n");
             WriteFile(box.Root("/etc/rc2.d/KTalvoPrintD"), "stop\n");
             return box.Setup({});
         },
         [](const Box &box) {
             EXPECT_TRUE(Exists(box.Root("/etc/rc2.d/KTalvoPrintD")));
             NothingInstalled(box);
         }},
        {"ConflictingPackageQuestion", false, "Do want to continue with the upgrade? [y/n] ",
         [](Box &box) {
             MakeSite(box);
             return box.Sh("mkdir -p /var/spool/pkg && pkgadd -d /var/spool/pkg MRGWdorv >/dev/null && exec ./setup");
         },
         [](const Box &box) {
             EXPECT_TRUE(Exists(box.Root("/var/sadm/pkg/MRGWdorv/pkginfo")));
             NothingInstalled(box);
         }},
        {"InstallDirectoryPrompt", false, Msg(en, 7, "/opt"),
         [](Box &box) {
             MakeSite(box);
             return box.Setup({"menu"}, "1\n");
         },
         NothingInstalled},
        {"LineAfterARelativeDirectory", false, en[9],
         [](Box &box) {
             MakeSite(box);
             return box.Setup({"menu"}, "1\nrelative\n");
         },
         NothingInstalled},
        {"UseTheDirectoryQuestion", false, Msg(en, 8, "/export") + "? [y/n] ",
         [](Box &box) {
             MakeSite(box);
             return box.Setup({"menu"}, "1\n/export\n\n");
         },
         [](const Box &box) {
             NothingInstalled(box);
             EXPECT_FALSE(Exists(box.Root("/export")));
         }},
        {"ExistingDirectoryQuestion", false, Msg(en, 7, "/export") + "? [y/n] ",
         [](Box &box) {
             MakeSite(box);
             EarlierLauncher(box);
             return box.Setup({"menu"}, "1\n");
         },
         NothingInstalled},
        {"AnotherDirectoryQuestion", false, Msg(en, 20, "/export") + "? [y/n] ",
         [](Box &box) {
             MakeSite(box);
             EarlierLauncher(box);
             return box.Setup({"menu"}, "1\nn\n");
         },
         NothingInstalled},
        {"RunningProgramsQuestion", false, en[70],
         [](Box &box) {
             MakeSite(box, "c kvqadmin mode 755\ncheckps Kvdm\nc ksf\n");
             WriteFile(box.Root("/tmp/Kvdm"), "#!/bin/sh\nwhile :; do sleep 1; done\n", 0755);
             return box.Sh("( /tmp/Kvdm & ) && exec ./setup");
         },
         [](const Box &box) {
             EXPECT_FALSE(Exists(box.Root("/opt/Talvo/dorv/ksf")));
             EXPECT_FALSE(Exists(box.Root("/opt/Talvo/dorv/kvqadmin.calls")));
         }},
        {"InsertDisketteRequest", true, Msg(en, 25, 2),
         [](Box &box) {
             Product p = box.Small(SMALL_LIST);
             std::string probe = box.Scratch("probe");
             EXPECT_TRUE(box.MksiteTo(p, probe));
             long archive = static_cast<long>(fs::file_size(probe + "/pkg_tar.z1"));
             std::string set = box.Scratch("set");
             EXPECT_TRUE(box.MksiteTo(p, set, {"--diskettes", "--piece-size", std::to_string(archive / 2 + 1)}));
             return Diskettes(box, {set + "/disk1"}, "");  // diskette 2 never comes
         },
         NothingInstalled},
        {"BusyDriveRequest", true, Msg(en, 3, "/floppy/floppy0"),
         [](Box &box) {
             std::string set = box.Scratch("set");
             EXPECT_TRUE(box.MksiteTo(box.Small(SMALL_LIST), set, {"--diskettes"}));
             WriteFile(box.Root("/var/lib/floppy-sim/busy"), "1000\n");
             return Diskettes(box, {set + "/disk1"}, "");
         },
         NothingInstalled},
        {"BlankDisketteRequest", false, Msg(en, 23, 1),
         [](Box &box) {
             MakeSite(box);
             return box.Setup({"menu"}, "3\n");  // no diskette in the drive
         },
         [](const Box &box) { EXPECT_EQ(ReadFile(box.Root("/tmp/TalvoInstall/installf.rom")), "diskette"); }},
        {"SiteDirectoryPrompt", false, Msg(en, 7, "/opt"),
         [](Box &box) {
             MakeSite(box);
             return box.Setup({"menu"}, "2\n");
         },
         [](const Box &box) { EXPECT_FALSE(Exists(box.Root("/opt/SolarisDorvInstall"))); }},
    };
}

class EndOfInput : public ::testing::TestWithParam<Prompt> {
protected:
    Box box;
};

}  // namespace

TEST_P(EndOfInput, StopsWithStatusOneAfterThePrompt) {
    E2E_PRECONDITIONS(box);
    const Prompt &p = GetParam();
    if (p.diskettes)
        E2E_NEEDS_DISKETTE_SIZED_INSTALLER();
    Result r = p.run(box);
    EXPECT_EQ(r.status, 1) << r.Both();
    EXPECT_NE(r.out.find(p.shown), std::string::npos) << r.Both();
    EXPECT_NE(r.err.find("ERROR: unexpected end of input\n"), std::string::npos) << r.Both();
    p.after(box);
}

INSTANTIATE_TEST_SUITE_P(EveryPrompt, EndOfInput, ::testing::ValuesIn(Prompts()),
                         [](const ::testing::TestParamInfo<Prompt> &info) { return std::string(info.param.name); });

// The menu's own prompt says the same, also with status 1.
TEST(EndOfInputAtTheMenu, StopsWithStatusOne) {
    Box box;
    E2E_PRECONDITIONS(box);
    ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST)));
    Result r = box.Setup({"menu"});
    EXPECT_EQ(r.status, 1) << r.Both();
    EXPECT_NE(r.out.find("Install Print Driver and Utilities"), std::string::npos) << r.Both();
    EXPECT_NE(r.err.find("ERROR: unexpected end of input\n"), std::string::npos) << r.Both();
    EXPECT_EQ(r.err.find("setup: "), std::string::npos) << r.Both();
    EXPECT_FALSE(Exists(box.Root("/opt/Talvo")));
}

// A byte 255 (a letter in ISO-8859-1) is an answer like any other: the menu is drawn
// again and the next answer is read.
TEST(AnswersAtTheMenu, AByteTwoFiftyFiveIsNoEndOfInput) {
    Box box;
    E2E_PRECONDITIONS(box);
    ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST)));
    Result r = box.Setup({"menu"}, "\xff\n\xff\x1b[A\ne\n");
    EXPECT_EQ(r.status, 0) << r.Both();
    EXPECT_EQ(Count(r.out, "Install Print Driver and Utilities"), 3u) << r.Both();
    EXPECT_FALSE(Exists(box.Root("/opt/Talvo")));
}

// One answer is one line: a directory longer than the answer buffer is refused whole
// and asked for again, and none of it becomes the next answer.
TEST(AnswersAtTheMenu, ALongAnswerIsAskedForAgain) {
    Box box;
    E2E_PRECONDITIONS(box);
    ASSERT_TRUE(box.Mksite(box.Small(SMALL_LIST)));
    Result r = box.Setup({"menu"}, "2\n/" + std::string(5000, 'a') + "\n\nn\ne\n");
    EXPECT_EQ(r.status, 0) << r.Both();
    EXPECT_NE(r.out.find("The answer is longer than 4095 characters; enter it again: "), std::string::npos)
        << r.Both();
    EXPECT_NE(r.out.find(Msg(NLS_ENGLISH, 8, "/opt") + "? [y/n] "), std::string::npos) << r.Both();
    EXPECT_EQ(r.err.find("invalid directory name"), std::string::npos) << r.Both();
    EXPECT_FALSE(Exists(box.Root("/opt/SolarisDorvInstall")));
}
