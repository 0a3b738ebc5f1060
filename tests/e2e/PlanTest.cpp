// setup --dry-run and setup --answers in the isolated root: the plan names exactly
// the paths a real run changes and changes nothing itself; an answer file installs
// as typed answers do; a bad answer file is refused before anything happens.
#include <functional>
#include <set>

#include "E2eSupport.h"
#include "Snapshot.h"

using namespace e2e;

namespace {

std::vector<std::string> Words(const std::string &line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    std::string w;
    while (in >> w) {
        std::string plain;
        for (char c : w)
            if (c != '\'')
                plain += c;
        words.push_back(plain);
    }
    return words;
}

// What the plan says it would change: each line's target (the last path it names;
// a copy into a directory makes the source's name there), and whole trees for
// directory copies and registered packages. A copy goes into a directory that
// was one before the run (in `before` or on the host) or that an earlier line made.
struct PlanTargets {
    std::set<std::string> paths, trees;
};

PlanTargets TargetsOf(const std::string &out, const Snapshot &before) {
    PlanTargets t;
    std::set<std::string> made;
    auto isDir = [&](const std::string &p) {
        auto b = before.find(p);
        return made.count(p) || (b != before.end() ? b->second.find(" dir") != std::string::npos : IsDir(p));
    };
    for (const std::string &line : Lines(out)) {
        if (line.rfind("plan: ", 0) != 0)
            continue;
        std::vector<std::string> w = Words(line.substr(6));
        if (w.empty() || w[0] == "run" || w[0] == "kill")
            continue;
        if (w[0] == "pkgadd" || w[0] == "pkgrm") {
            t.trees.insert("/var/sadm/pkg/" + w.back());
            continue;
        }
        std::string target, source;
        for (const std::string &word : w) {
            if (word[0] == '/') {
                source = target;
                target = word;
            }
        }
        if (target.empty() || Ignored(target))
            continue;
        if (w[0] == "mkdir")
            for (std::string p = target; !p.empty(); p = p.substr(0, p.rfind('/')))
                made.insert(p);
        if (w[0] == "cp" && isDir(target) && !source.empty())
            target += source.substr(source.rfind('/'));
        if (w[0] == "cp" && w[1] == "-pr")
            t.trees.insert(target);
        if (w[0] == "mv")
            t.paths.erase(source);
        t.paths.insert(target);
    }
    return t;
}

// The plan of `dry` against the changes of `real`: every target changed, every
// change named (or a parent directory of a target, or inside a named tree).
void ExpectPlanEqualsChanges(const std::string &planOut, const Snapshot &before,
                             const std::set<std::string> &changed, const std::string &appDir) {
    PlanTargets t = TargetsOf(planOut, before);
    ASSERT_FALSE(t.paths.empty()) << planOut;
    for (const std::string &p : t.paths)
        EXPECT_TRUE(changed.count(p)) << "planned but not changed: " << p;
    for (const std::string &c : changed) {
        bool named = t.paths.count(c) || t.trees.count(c);
        for (const std::string &p : t.paths)
            named = named || Under(p, c);
        for (const std::string &tree : t.trees)
            named = named || Under(c, tree) || Under(tree, c);
        // The maintenance tool, a program the plan says it runs, records its calls.
        named = named || c == appDir + "/kvqadmin.calls";
        EXPECT_TRUE(named) << "changed but not planned: " << c;
    }
}

}  // namespace

// The demo product (its list uses every command word and modifier) under /opt.
TEST(DryRun, NamesEveryPathTheDemoInstallationChanges) {
    Box real, dry;
    E2E_PRECONDITIONS(real);
    ASSERT_TRUE(dry.Ok());
    for (Box *box : {&real, &dry}) {
        box->FakeRelease("5.10");
        ASSERT_TRUE(box->Mksite(box->Demo()));
        ASSERT_EQ(box->Sh("true").status, 0);  // the runner's own directories
    }
    Snapshot realBefore = Take(real), dryBefore = Take(dry);

    Result r = real.Setup({});
    ASSERT_EQ(r.status, 0) << r.Both();
    Result d = dry.Setup({"--dry-run"});
    ASSERT_EQ(d.status, 0) << d.Both();

    EXPECT_EQ(Changed(dryBefore, Take(dry)), std::set<std::string>{});
    EXPECT_FALSE(Exists(dry.Root("/tmp/TalvoInstall")));
    EXPECT_FALSE(Exists(dry.Root("/tmp/setup.log")));
    ExpectPlanEqualsChanges(d.out, realBefore, Changed(realBefore, Take(real)), "/opt/Talvo/dorv");
    EXPECT_NE(d.out.find("plan: pkgadd -d /tmp/TalvoInstall MRGWdorv\n"), std::string::npos) << d.out;
    EXPECT_NE(d.out.find("plan: run /opt/Talvo/dorv/kvqadmin -upgrade\n"), std::string::npos) << d.out;
}

// An upgrade under another root: an earlier installation's daemon and start
// scripts, a registered package, links into /opt; answered from a file.
class Upgrade : public ::testing::Test {
protected:
    static constexpr const char *kAnswers =
        "# unattended upgrade\n"
        "install_dir=/export\n"
        "existing_daemon = remove_start_scripts\n"
        "remove_packages=yes\n"
        "running_programs=quit\n";

    void Prepare(const Box &box) {
        box.FakeRelease("5.10");
        ASSERT_TRUE(box.Mksite(box.Demo()));
        WriteFile(box.Root("/export/Talvo/dorv/KelvraD"), "daemon\n", 0755);
        chmod(box.Root("/export/Talvo").c_str(), 0700);  // the run makes it 755
        WriteFile(box.Root("/etc/rc2.d/KTalvoPrintD"), "stop\n", 0755);
        WriteFile(box.Root("/etc/rc2.d/STalvoPrintD"), "start\n", 0755);
        WriteFile(box.Root("/answers"), kAnswers);
        ASSERT_EQ(box.Sh("mkdir -p /var/spool/pkg && pkgadd -d /var/spool/pkg MRGWdorv >/dev/null").status, 0);
    }
};

TEST_F(Upgrade, PlanNamesEveryPathTheRunChanges) {
    Box real, dry;
    E2E_PRECONDITIONS(real);
    ASSERT_TRUE(dry.Ok());
    Prepare(real);
    Prepare(dry);
    Snapshot realBefore = Take(real), dryBefore = Take(dry);

    Result r = real.Setup({"install", "/export"}, "n\ny\n");
    ASSERT_EQ(r.status, 0) << r.Both();
    Result d = dry.Setup({"--dry-run", "--answers", "/answers"});
    ASSERT_EQ(d.status, 0) << d.Both();

    EXPECT_EQ(Changed(dryBefore, Take(dry)), std::set<std::string>{});
    ExpectPlanEqualsChanges(d.out, realBefore, Changed(realBefore, Take(real)), "/export/Talvo/dorv");
    EXPECT_NE(d.out.find("plan: pkgrm MRGWdorv\n"), std::string::npos) << d.out;
    EXPECT_NE(d.out.find("plan: rm -rf /etc/rc2.d/KTalvoPrintD\n"), std::string::npos) << d.out;
}

TEST_F(Upgrade, AnswerFileInstallsAsTypedAnswersDo) {
    Box typed, answered;
    E2E_PRECONDITIONS(typed);
    ASSERT_TRUE(answered.Ok());
    Prepare(typed);
    Prepare(answered);

    Result t = typed.Setup({"install", "/export"}, "n\ny\n");
    ASSERT_EQ(t.status, 0) << t.Both();
    Result a = answered.Setup({"--answers", "/answers"});
    ASSERT_EQ(a.status, 0) << a.Both();

    EXPECT_EQ(Take(typed), Take(answered));
    EXPECT_EQ(LoggedCommands(typed.Log()), LoggedCommands(answered.Log()));
    // The questions read as answered at the terminal.
    EXPECT_NE(a.out.find(std::string(NLS_ENGLISH[63]) + "n\n"), std::string::npos) << a.out;
    EXPECT_NE(a.out.find("continue with the upgrade? [y/n] y\n"), std::string::npos) << a.out;
}

TEST_F(Upgrade, MissingAnswerStopsTheDryRunBeforeAnyChange) {
    Box box;
    E2E_PRECONDITIONS(box);
    Prepare(box);
    WriteFile(box.Root("/answers"), "existing_daemon=continue\n");
    Snapshot before = Take(box);
    for (bool dryRun : {true, false}) {
        std::vector<std::string> args{"--answers", "/answers", "install", "/export"};
        if (dryRun)
            args.insert(args.begin(), "--dry-run");
        Result r = box.Setup(args);
        EXPECT_EQ(r.status, 1) << r.Both();
        EXPECT_NE(r.err.find("ERROR: no answer for remove_packages in /answers\n"), std::string::npos) << r.err;
        EXPECT_EQ(Changed(before, Take(box)), std::set<std::string>{});
    }
}

// Each kind of bad answer file stops with status 2 and a message naming the line,
// before the log, the work area or anything else is touched.
TEST(AnswerFile, EachKindOfBadFileIsRefusedBeforeAnything) {
    Box box;
    E2E_PRECONDITIONS(box);
    ASSERT_TRUE(box.Mksite(box.Demo()));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"remove_packages=yes\ncolour=blue\n", "ERROR: /answers:2: unknown key colour\n"},
        {"# comment\n\nremove_packages=maybe\n",
         "ERROR: /answers:3: maybe is not an allowed value of remove_packages (allowed: yes, no)\n"},
        {"install_dir=/opt/my dir\n", "ERROR: /answers:1: /opt/my dir is not a safe install directory\n"},
        {"install_dir=opt\n", "ERROR: /answers:1: opt is not a safe install directory\n"},
        {"remove_packages\n", "ERROR: /answers:1: not a key=value line: remove_packages\n"},
        {"running_programs=wait\nrunning_programs=quit\n", "ERROR: /answers:2: running_programs is given twice\n"},
    };
    for (const auto &[text, message] : cases) {
        WriteFile(box.Root("/answers"), text);
        Result r = box.Setup({"--answers", "/answers"});
        EXPECT_EQ(r.status, 2) << text << r.Both();
        EXPECT_EQ(r.err, message) << text;
        EXPECT_EQ(r.out, "") << text;
        EXPECT_FALSE(Exists(box.Root("/tmp/setup.log"))) << text;
        EXPECT_FALSE(Exists(box.Root("/tmp/TalvoInstall"))) << text;
    }
    Result missing = box.Setup({"--answers", "/nowhere"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "ERROR: can't read the answer file /nowhere\n");
}

// From diskettes: every diskette is read into the work area, the plan comes as
// from a site, and nothing outside the work area (not even the help file beside
// it) is left.
TEST(DryRun, FromDiskettesReadsEveryDisketteAndChangesNothing) {
    Box box;
    E2E_PRECONDITIONS(box);
    Product p = box.Small(SMALL_LIST);
    std::string probe = box.Scratch("probe"), set = box.Scratch("set");
    ASSERT_TRUE(box.MksiteTo(p, probe));
    long archive = static_cast<long>(fs::file_size(probe + "/pkg_tar.z1"));
    ASSERT_TRUE(box.MksiteTo(p, set, {"--diskettes", "--piece-size", std::to_string(archive / 2 + 1)}));
    ASSERT_EQ(box.Run({"true"}, "", {"--diskette", set + "/disk1", "--diskette", set + "/disk2"}, "/").status, 0);
    Snapshot before = Take(box);

    Result r = box.Run({"sh", "-c", "volcheck >/dev/null && exec /floppy/floppy0/setup --dry-run"}, "\n", {}, "/");
    ASSERT_EQ(r.status, 0) << r.Both();
    EXPECT_NE(r.out.find(Msg(NLS_ENGLISH, 64, 2)), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("plan: write script /usr/bin/kelvra\n"), std::string::npos) << r.out;
    EXPECT_EQ(Changed(before, Take(box)), std::set<std::string>{});
    EXPECT_FALSE(Exists(box.Root("/tmp/setup.hlp")));
    EXPECT_FALSE(Exists(box.Root("/tmp/TalvoInstall")));
}
