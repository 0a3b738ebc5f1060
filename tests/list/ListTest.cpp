// Tests of the linked list: pushing, walking, finding, popping, moving, copying,
// emptying and dumping.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "List.h"
#include "MemMgr.h"

namespace {

// A list header embedded in a record, as the help viewer keeps them.
struct Holder {
    int Tag;
    List Items;
};

// Emptied at the end of every test so that no item outlives it.
class ListFixture : public ::testing::Test {
protected:
    List list{};
    void TearDown() override { ListDelAllItems(&list); }

    int *Push(int value) { return static_cast<int *>(ListPushItem(&list, &value, sizeof value)); }
    static int Value(const void *item) { return item ? *static_cast<const int *>(item) : -1; }
};

using ListWalkTest = ListFixture;
using ListFindTest = ListFixture;
using ListPopTest = ListFixture;
using ListMoveTest = ListFixture;
using ListCopyTest = ListFixture;
using ListDelTest = ListFixture;
using ListDumpTest = ListFixture;
using ListPushTest = ListFixture;

TEST_F(ListWalkTest, AppendingListWalksInPushOrder) {
    Push('A'); Push('B'); Push('C');
    EXPECT_EQ('A', Value(ListWalk(&list, 0)));
    EXPECT_EQ('B', Value(ListWalk(&list, 1)));
    EXPECT_EQ('C', Value(ListWalk(&list, 1)));
    EXPECT_EQ(nullptr, ListWalk(&list, 1));
}

TEST_F(ListWalkTest, BackwardWalkStartsAtTheLastItem) {
    Push('A'); Push('B'); Push('C');
    EXPECT_EQ('C', Value(ListWalkBackward(&list, 0)));
    EXPECT_EQ('B', Value(ListWalkBackward(&list, 1)));
    EXPECT_EQ('A', Value(ListWalkBackward(&list, 1)));
    EXPECT_EQ(nullptr, ListWalkBackward(&list, 1));
}

TEST_F(ListWalkTest, PushFrontListWalksInReverseOrder) {
    list.flPushFront = 1;
    Push('A'); Push('B'); Push('C');
    std::string seen;
    for (void *it = ListWalk(&list, 0); it; it = ListWalk(&list, 1))
        seen += static_cast<char>(Value(it));
    EXPECT_EQ("CBA", seen);
}

TEST_F(ListWalkTest, StoppedWalkResumesWhereItStood) {
    Push(1); Push(2); Push(3);
    EXPECT_EQ(1, Value(ListWalk(&list, 0)));
    EXPECT_EQ(3, Value(ListFindItemN(&list, 3)));  // other operations leave the cursor alone
    EXPECT_EQ(3, ListGetItemPos(&list, ListFindItemN(&list, 3)));
    EXPECT_EQ(2, Value(ListWalk(&list, 1)));
    EXPECT_EQ(1, Value(ListWalk(&list, 0)));  // 0 restarts
}

TEST_F(ListWalkTest, NestedWalkOfTheSameListMovesTheOuterCursor) {
    Push(1); Push(2); Push(3);
    EXPECT_EQ(1, Value(ListWalk(&list, 0)));
    EXPECT_EQ(1, Value(ListWalk(&list, 0)));
    EXPECT_EQ(2, Value(ListWalk(&list, 1)));
    EXPECT_EQ(3, Value(ListWalk(&list, 1)));  // the outer walk now goes on from here
}

TEST_F(ListWalkTest, ReleasingTheItemJustReturnedKeepsTheWalkGoing) {
    for (int i = 1; i <= 4; ++i)
        Push(i);
    int sum = 0;
    for (void *it = ListWalk(&list, 0); it; it = ListWalk(&list, 1)) {
        sum += Value(it);
        ListPopItem(&list, it, 1);
    }
    EXPECT_EQ(10, sum);
    EXPECT_EQ(0, list.Count);
    EXPECT_EQ(nullptr, list.pFirst);
}

TEST_F(ListWalkTest, RemovingTheLinkUnderTheCursorEndsTheWalk) {
    Push(1); Push(2); Push(3);
    EXPECT_EQ(1, Value(ListWalk(&list, 0)));
    ListPopItem(&list, ListFindItemN(&list, 2), 1);  // the link the next call would return
    EXPECT_EQ(nullptr, ListWalk(&list, 1));
    EXPECT_EQ(1, Value(ListWalk(&list, 0)));
    EXPECT_EQ(3, Value(ListWalk(&list, 1)));
}

TEST_F(ListWalkTest, NullListWalksNothing) {
    EXPECT_EQ(nullptr, ListWalk(nullptr, 0));
    EXPECT_EQ(nullptr, ListWalkBackward(nullptr, 1));
    EXPECT_EQ(nullptr, ListWalk(&list, 0));
}

TEST_F(ListFindTest, PositionsCountFromOne) {
    Push(10); Push(20); Push(30);
    EXPECT_EQ(10, Value(ListFindItemN(&list, 1)));
    EXPECT_EQ(30, Value(ListFindItemN(&list, 3)));
    EXPECT_EQ(nullptr, ListFindItemN(&list, 0));
    EXPECT_EQ(nullptr, ListFindItemN(&list, 4));
    EXPECT_EQ(nullptr, ListFindItemN(&list, -1));
    EXPECT_EQ(nullptr, ListFindItemN(nullptr, 1));
}

TEST_F(ListFindTest, ItemPositionIsFoundByAddress) {
    Push(10);
    int *second = Push(20);
    int outsider = 20;
    EXPECT_EQ(2, ListGetItemPos(&list, second));
    EXPECT_EQ(0, ListGetItemPos(&list, &outsider));  // equal contents, other address
    EXPECT_EQ(0, ListGetItemPos(&list, nullptr));
    EXPECT_EQ(0, ListGetItemPos(nullptr, second));
}

TEST_F(ListPushTest, SizeZeroOrNoListPushesNothing) {
    int v = 5;
    EXPECT_EQ(nullptr, ListPushItem(&list, &v, 0));
    EXPECT_EQ(nullptr, ListPushItem(&list, &v, -4));
    EXPECT_EQ(nullptr, ListPushItem(nullptr, &v, sizeof v));
    EXPECT_EQ(0, list.Count);
    EXPECT_EQ(nullptr, list.pFirst);
}

TEST_F(ListPushTest, ItemIsACopyOrZeroedWithoutData) {
    char text[] = "abc";
    auto *copy = static_cast<char *>(ListPushItem(&list, text, sizeof text));
    text[0] = 'x';
    EXPECT_STREQ("abc", copy);
    auto *blank = static_cast<unsigned char *>(ListPushItem(&list, nullptr, 40));
    ASSERT_NE(nullptr, blank);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(0, blank[i]);
    EXPECT_EQ(2, list.Count);
}

TEST_F(ListPushTest, TotalSizeFollowsPushesAndPops) {
    ListPushItem(&list, nullptr, 12);
    ListPushItem(&list, nullptr, 84);
    EXPECT_EQ(96, list.TotalSize);
    ListPopFirstItem(&list, 1);
    EXPECT_EQ(84, list.TotalSize);
    EXPECT_EQ(1, list.Count);
}

TEST_F(ListPopTest, NullItemPopsTheFirst) {
    int *first = Push(1);
    Push(2);
    void *popped = ListPopItem(&list, nullptr, 0);
    EXPECT_EQ(first, popped);
    EXPECT_EQ(1, *first);  // not released: the caller owns it now
    PutMem(popped);
    EXPECT_EQ(2, Value(ListFindItemN(&list, 1)));
    EXPECT_EQ(nullptr, list.pFirst->pPrev);
}

TEST_F(ListPopTest, ReleaseFreesTheItemAndReturnsNull) {
    // A live allocation keeps the block, so its free-node count can be compared.
    void *anchor = GetMem(8);
    List other{};
    int v = 7;
    void *kept = ListPushItem(&other, &v, sizeof v);
    void *dropped = Push(7);
    MemBlock *b = FindBlock(dropped);
    ASSERT_NE(nullptr, b);
    ASSERT_EQ(b, FindBlock(kept));

    int before = b->FreeNodeCount;
    EXPECT_EQ(kept, ListPopItem(&other, kept, 0));
    int linkOnly = b->FreeNodeCount - before;
    before = b->FreeNodeCount;
    EXPECT_EQ(nullptr, ListPopItem(&list, dropped, 1));
    int linkAndItem = b->FreeNodeCount - before;

    EXPECT_GT(linkOnly, 0);
    EXPECT_GT(linkAndItem, linkOnly);
    PutMem(kept);
    PutMem(anchor);
}

TEST_F(ListPopTest, PoppingTheOnlyLinkLeavesAReusableEmptyHeader) {
    Push(1);
    ListPopLastItem(&list, 1);
    EXPECT_EQ(nullptr, list.pFirst);
    EXPECT_EQ(nullptr, list.pLast);
    EXPECT_EQ(0, list.Count);
    EXPECT_EQ(0, list.TotalSize);
    Push(2);
    EXPECT_EQ(2, Value(ListWalk(&list, 0)));
    EXPECT_EQ(list.pFirst, list.pLast);
}

TEST_F(ListPopTest, FirstAndLastComeBackUnreleased) {
    Push(1); Push(2); Push(3);
    void *first = ListPopFirstItem(&list, 0);
    void *last = ListPopLastItem(&list, 0);
    EXPECT_EQ(1, Value(first));
    EXPECT_EQ(3, Value(last));
    PutMem(first);
    PutMem(last);
    EXPECT_EQ(1, list.Count);
    EXPECT_EQ(list.pFirst, list.pLast);
    EXPECT_EQ(nullptr, list.pFirst->pNext);
}

TEST_F(ListPopTest, MiddleLinkJoinsItsNeighbours) {
    Push(1);
    int *mid = Push(2);
    Push(3);
    ListPopItem(&list, mid, 1);
    EXPECT_EQ(2, list.Count);
    EXPECT_EQ(1, Value(ListWalk(&list, 0)));
    EXPECT_EQ(3, Value(ListWalk(&list, 1)));
    EXPECT_EQ(3, Value(ListWalkBackward(&list, 0)));
    EXPECT_EQ(1, Value(ListWalkBackward(&list, 1)));
    EXPECT_EQ(nullptr, ListWalkBackward(&list, 1));
}

TEST_F(ListPopTest, AbsentItemsAndEmptyListsGiveNull) {
    int outsider = 1;
    EXPECT_EQ(nullptr, ListPopItem(&list, nullptr, 0));
    EXPECT_EQ(nullptr, ListPopFirstItem(&list, 0));
    EXPECT_EQ(nullptr, ListPopLastItem(nullptr, 0));
    Push(1);
    EXPECT_EQ(nullptr, ListPopItem(&list, &outsider, 1));
    ListPopLink(nullptr, nullptr);
    EXPECT_EQ(1, list.Count);
}

TEST_F(ListMoveTest, ItemMovesWithItsAddress) {
    List target{};
    Push(1);
    int *two = Push(2);
    Push(3);
    ListMoveItem(two, &list, &target);
    EXPECT_EQ(2, list.Count);
    EXPECT_EQ(2 * static_cast<int>(sizeof(int)), list.TotalSize);
    EXPECT_EQ(0, ListGetItemPos(&list, two));
    EXPECT_EQ(1, target.Count);
    EXPECT_EQ(static_cast<int>(sizeof(int)), target.TotalSize);
    EXPECT_EQ(two, ListWalk(&target, 0));
    EXPECT_EQ(2, *two);
    EXPECT_EQ(3, Value(ListFindItemN(&list, 2)));
    ListDelAllItems(&target);
}

TEST_F(ListMoveTest, MovedItemJoinsTheTargetAtItsPushEnd) {
    List target{};
    target.flPushFront = 1;
    int v = 9;
    ListPushItem(&target, &v, sizeof v);
    int *one = Push(1);
    ListMoveItem(one, &list, &target);
    EXPECT_EQ(one, ListFindItemN(&target, 1));
    EXPECT_EQ(0, list.Count);
    ListDelAllItems(&target);
}

TEST_F(ListMoveTest, AbsentItemOrMissingListMovesNothing) {
    List target{};
    int *one = Push(1);
    int outsider = 1;
    ListMoveItem(&outsider, &list, &target);
    ListMoveItem(one, &list, nullptr);
    ListMoveItem(one, nullptr, &target);
    ListMoveItem(one, &target, &list);  // not in that source
    EXPECT_EQ(1, list.Count);
    EXPECT_EQ(0, target.Count);
}

TEST_F(ListCopyTest, TargetGetsCopiesInOrder) {
    List target{};
    int *src[3] = {Push(4), Push(5), Push(6)};
    ListCopy(&list, &target);
    ASSERT_EQ(3, target.Count);
    EXPECT_EQ(list.TotalSize, target.TotalSize);
    for (int i = 0; i < 3; ++i) {
        auto *copy = static_cast<int *>(ListFindItemN(&target, i + 1));
        EXPECT_NE(src[i], copy);
        EXPECT_EQ(*src[i], *copy);
    }
    EXPECT_EQ(3, list.Count);
    ListDelAllItems(&target);
}

TEST_F(ListCopyTest, CopyLeavesAWalkOfTheSourceInPlace) {
    List target{};
    Push(1); Push(2);
    EXPECT_EQ(1, Value(ListWalk(&list, 0)));
    ListCopy(&list, &target);
    EXPECT_EQ(2, Value(ListWalk(&list, 1)));
    ListDelAllItems(&target);
}

TEST_F(ListCopyTest, CopyOntoItselfDoublesTheList) {
    Push(1); Push(2);
    ListCopy(&list, &list);
    ASSERT_EQ(4, list.Count);
    EXPECT_EQ(1, Value(ListFindItemN(&list, 3)));
    EXPECT_EQ(2, Value(ListFindItemN(&list, 4)));
}

TEST_F(ListDelTest, DeletedItemsLeaveAnEmptyReusableHeader) {
    Push(1); Push(2); Push(3);
    ListWalk(&list, 0);
    ListDelAllItems(&list);
    EXPECT_EQ(nullptr, list.pFirst);
    EXPECT_EQ(nullptr, list.pLast);
    EXPECT_EQ(nullptr, list.pWalk);
    EXPECT_EQ(0, list.Count);
    EXPECT_EQ(0, list.TotalSize);
    EXPECT_EQ(nullptr, ListWalk(&list, 1));
    Push(8);
    EXPECT_EQ(8, Value(ListWalk(&list, 0)));
    EXPECT_EQ(nullptr, ListWalk(&list, 1));
}

TEST_F(ListDelTest, CreatedHeaderIsEmptyAndDeletedWithItsItems) {
    List *created = ListCreate();
    ASSERT_NE(nullptr, created);
    EXPECT_EQ(0, created->Count);
    EXPECT_EQ(0, created->flPushFront);
    int v = 3;
    ListPushItem(created, &v, sizeof v);
    ListDel(created);
    ListDel(nullptr);
}

TEST_F(ListDelTest, EmbeddedHeaderIsOnlyEmptied) {
    Holder h{};
    h.Tag = 42;
    int v = 3;
    ListPushItem(&h.Items, &v, sizeof v);
    ListDel(&h.Items);
    EXPECT_EQ(42, h.Tag);
    EXPECT_EQ(0, h.Items.Count);
    EXPECT_EQ(nullptr, h.Items.pFirst);
}

TEST_F(ListDumpTest, PrintsPositionAndFirstWordOfEachItem) {
    int32_t big[3] = {123456, 7, 8};
    ListPushItem(&list, big, sizeof big);
    Push(-5);
    unsigned char shortItem[2] = {0x01, 0x02};
    ListPushItem(&list, shortItem, sizeof shortItem);
    int32_t shortWord = 0;
    std::memcpy(&shortWord, shortItem, sizeof shortItem);

    ::testing::internal::CaptureStdout();
    ListDump(&list);
    ListDump(nullptr);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ("  1) 123456\n  2) -5\n  3) " + std::to_string(shortWord) + "\n", out);
}

TEST_F(ListDumpTest, EmptyListPrintsNothing) {
    ::testing::internal::CaptureStdout();
    ListDump(&list);
    EXPECT_EQ("", ::testing::internal::GetCapturedStdout());
}

TEST_F(ListDumpTest, PositionsPadToThreeColumns) {
    for (int i = 0; i < 12; ++i)
        Push(i * 100);
    ::testing::internal::CaptureStdout();
    ListDump(&list);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("\n 10) 900\n 11) 1000\n 12) 1100\n"));
}

}  // namespace
