// Installation from a diskette set built by mksite, read through the simulated drive:
// the installer asks for each diskette in turn and the operator's Return answers it.
#include "E2eSupport.h"

using namespace e2e;

namespace {

// Runs setup from the diskette in the drive, as the administrator starts it after
// inserting the first one.
Result FromDiskette(const Box &box, const std::string &input, const std::vector<std::string> &diskettes,
                    const std::vector<std::string> &extra = {}) {
    std::vector<std::string> options;
    for (const std::string &d : diskettes) {
        options.push_back("--diskette");
        options.push_back(d);
    }
    options.insert(options.end(), extra.begin(), extra.end());
    return box.Run({"sh", "-c", "volcheck >/dev/null && exec /floppy/floppy0/setup"}, input, options, "/");
}

// Position of text in out after `from`, npos when missing.
size_t After(const std::string &out, const std::string &text, size_t from) {
    return from == std::string::npos ? std::string::npos : out.find(text, from);
}

class DisketteInstall : public ::testing::Test {
protected:
    Box box;

    // A product and its diskette set of three diskettes in the scratch space.
    std::vector<std::string> ThreeDiskettes() {
        Product p = box.Small(SMALL_LIST + std::string("c a.txt\n")).File("a.txt", "from the diskettes\n");
        std::string probe = box.Scratch("probe");
        if (!box.MksiteTo(p, probe))
            return {};
        // Pieces of a third of the archive (rounded up) give three diskettes.
        long archive = static_cast<long>(fs::file_size(probe + "/pkg_tar.z1"));
        std::string set = box.Scratch("set");
        if (!box.MksiteTo(p, set, {"--diskettes", "--piece-size", std::to_string(archive / 3 + 1)}))
            return {};
        return {set + "/disk1", set + "/disk2", set + "/disk3"};
    }
};

}  // namespace

TEST_F(DisketteInstall, ReadsTheDiskettesInOrderAskingAgainForAWrongOne) {
    E2E_PRECONDITIONS(box);
    E2E_NEEDS_DISKETTE_SIZED_INSTALLER();
    std::vector<std::string> disks = ThreeDiskettes();
    ASSERT_EQ(disks.size(), 3u);
    ASSERT_FALSE(Exists(disks[2] + "/../disk4"));
    // The drive is busy at the first eject, and the operator inserts diskette 3 when 2
    // is asked for, then 2, then 3 again. Each Return answers one request.
    WriteFile(box.Root("/var/lib/floppy-sim/busy"), "1\n");
    Result r = FromDiskette(box, "\n\n\n\n", {disks[0], disks[2], disks[1], disks[2]});
    ASSERT_EQ(r.status, 0) << r.Both();

    const char *const *en = NLS_ENGLISH;
    size_t at = After(r.out, Msg(en, 64, 1), 0);
    at = After(r.out, Msg(en, 64, 2), at);
    at = After(r.out, Msg(en, 3, "/floppy/floppy0"), at);
    at = After(r.out, Msg(en, 25, 2), at);
    at = After(r.out, Msg(en, 25, 2), at + 1);
    at = After(r.out, Msg(en, 64, 3), at);
    at = After(r.out, Msg(en, 25, 3), at);
    EXPECT_NE(at, std::string::npos) << r.out;
    EXPECT_EQ(Count(r.out, Msg(en, 25, 2)), 2u) << r.out;
    EXPECT_EQ(Count(r.out, Msg(en, 25, 3)), 1u) << r.out;
    EXPECT_EQ(Count(r.out, Msg(en, 3, "/floppy/floppy0")), 1u) << r.out;

    // Each piece was copied from its diskette, in the order of the media list.
    std::vector<std::string> commands = LoggedCommands(box.Log());
    std::vector<size_t> order;
    for (int i = 1; i <= 3; ++i) {
        std::string copy = "cp -p /floppy/floppy0/pkg_tar.z" + std::to_string(i) + " TalvoInstall";
        for (size_t k = 0; k < commands.size(); ++k)
            if (commands[k] == copy)
                order.push_back(k);
    }
    ASSERT_EQ(order.size(), 3u) << Join(commands);
    EXPECT_LT(order[0], order[1]);
    EXPECT_LT(order[1], order[2]);

    // Every diskette was taken out of the drive in turn; none is left in it.
    const std::string ejected = box.Root("/var/lib/floppy-sim/ejected");
    EXPECT_TRUE(Exists(ejected + "/1/pkg_tar.z1"));
    EXPECT_TRUE(Exists(ejected + "/2/pkg_tar.z3"));  // the wrong one, taken out unread
    EXPECT_TRUE(Exists(ejected + "/3/pkg_tar.z2"));
    EXPECT_TRUE(Exists(ejected + "/4/pkg_tar.z3"));
    EXPECT_FALSE(Exists(box.Root("/floppy/floppy0")));

    // The archive joined from the pieces unpacked into a working installation.
    EXPECT_EQ(ReadFile(box.Root("/opt/Talvo/dorv/a.txt")), "from the diskettes\n");
    EXPECT_EQ(ReadFile(box.Root("/opt/Talvo/dorv/.kv_cfg")), " V5 ");
    EXPECT_EQ(ReadFile(box.Root("/opt/Talvo/dorv/kvqadmin.calls")), "kvqadmin -upgrade\nkvqadmin -clean\n");
    EXPECT_FALSE(Exists(box.Root("/tmp/TalvoInstall")));
    EXPECT_FALSE(Exists(box.Root("/tmp/setup.hlp")));
}

TEST_F(DisketteInstall, NoDisketteInTheDriveStopsWithStatusOne) {
    E2E_PRECONDITIONS(box);
    E2E_NEEDS_DISKETTE_SIZED_INSTALLER();
    Product p = box.Small(SMALL_LIST);
    std::string set = box.Scratch("set");
    ASSERT_TRUE(box.MksiteTo(p, set, {"--diskettes"}));
    // The installer copied off the diskette, started with the drive empty.
    Result r = box.Run({"sh", "-c", "cp -r /var/lib/floppy-sim/queue/1 /tmp/copy && exec /tmp/copy/setup"}, "",
                       {"--diskette", set + "/disk1"}, "/");
    EXPECT_EQ(r.status, 1) << r.Both();
    EXPECT_EQ(r.err, Msg(NLS_ENGLISH, 19));
    EXPECT_FALSE(Exists(box.Root("/opt/Talvo")));
}
