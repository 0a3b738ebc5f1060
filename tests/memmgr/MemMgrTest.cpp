// Behaviour of the block allocator through its public operations.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdarg>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/resource.h>

#include "Attrs.h"
#include "MemMgr.h"

namespace {

constexpr int NODES = MEM_BLOCK_NODES;

// Every test starts and must end with no block at all.
class Mem : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(nullptr, pMemB) << "a previous test left blocks behind"; }
    void TearDown() override {
        EXPECT_EQ(nullptr, pMemB) << "blocks left behind";
        while (pMemB)  // so that one failure does not spread to the next tests
            FreeBlock(pMemB);
    }
};

int BlockCount() {
    int n = 0;
    for (MemBlock *b = pMemB; b; b = b->pNext)
        ++n;
    return n;
}

// Position of p's block in the list and p's node in it.
int BlockIndex(const void *p) {
    MemBlock *hold = FindBlock(p);
    int n = 0;
    for (MemBlock *b = pMemB; b; b = b->pNext, ++n)
        if (b == hold)
            return n;
    return -1;
}

int NodeOf(const void *p) {
    MemBlock *b = FindBlock(p);
    return static_cast<int>((static_cast<const char *>(p) - static_cast<char *>(b->pMemory)) /
                            MEM_NODE_SIZE);
}

bool AllZero(const void *p, size_t n) {
    const auto *c = static_cast<const unsigned char *>(p);
    for (size_t i = 0; i < n; ++i)
        if (c[i])
            return false;
    return true;
}

// Restores the /dev/zero seam whatever a test did to it.
struct ZeroDeviceGuard {
    ~ZeroDeviceGuard() {
        pMemOpenHook = nullptr;
        MemCloseZero();
    }
};

int openCalls = 0;
int FailingOpen(const char *, int) {
    ++openCalls;
    return -1;
}
// A descriptor that opens but cannot be mapped, so every mapping fails.
int UnmappableOpen(const char *, int) { return open("/", O_RDONLY | O_CLOEXEC); }

// ---- rounding and placement ---------------------------------------------------

TEST_F(Mem, ZeroAndNegativeSizesGiveNull) {
    EXPECT_EQ(nullptr, GetMem(0));
    EXPECT_EQ(nullptr, GetMem(-1));
    EXPECT_EQ(nullptr, GetMem(INT_MIN));
    EXPECT_EQ(nullptr, pMemB);
}

TEST_F(Mem, SizesWhoseRoundingOverflowsGiveNull) {
    EXPECT_EQ(nullptr, GetMem(INT_MAX));
    EXPECT_EQ(nullptr, GetMem(INT_MAX - 65000));  // its block would pass 2 GiB
    EXPECT_EQ(nullptr, pMemB);
}

TEST_F(Mem, RequestsTakeNodesForOneByteMoreThanAsked) {
    char *a = static_cast<char *>(GetMem(31));  // 32 bytes: one node
    char *b = static_cast<char *>(GetMem(32));  // 33 bytes: two nodes
    char *c = static_cast<char *>(GetMem(1));
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(a + 32, b);
    EXPECT_EQ(b + 64, c);
    EXPECT_EQ(NODES - 4, pMemB->FreeNodeCount);
    EXPECT_EQ(1, pMemB->MAT[0].Nodes);
    EXPECT_EQ(2, pMemB->MAT[1].Nodes);
    PutMem(a);
    PutMem(b);
    PutMem(c);
}

TEST_F(Mem, AllocationsAreZeroedEvenWhereFreedBytesWereLeft) {
    char *a = static_cast<char *>(GetMem(100));
    char *keep = static_cast<char *>(GetMem(1));
    std::memset(a, 0x5a, 101);
    PutMem(a);
    EXPECT_EQ(0x5a, a[0]) << "freed bytes are not cleared";
    char *b = static_cast<char *>(GetMem(100));
    ASSERT_EQ(a, b);
    EXPECT_TRUE(AllZero(b, 128));
    PutMem(b);
    PutMem(keep);
}

TEST_F(Mem, TwoSmallAllocationsShareTheFirstBlockAndNodeZeroIsReused) {
    void *a = GetMem(10);
    void *b = GetMem(10);
    ASSERT_EQ(1, BlockCount());
    EXPECT_EQ(0, NodeOf(a));
    EXPECT_EQ(1, NodeOf(b));
    PutMem(a);
    void *c = GetMem(10);
    EXPECT_EQ(a, c);
    PutMem(b);
    PutMem(c);
}

TEST_F(Mem, FirstFitTakesTheLowestRunThatIsLongEnough) {
    std::vector<void *> p;
    for (int i = 0; i < 10; ++i)
        p.push_back(GetMem(31));
    PutMem(p[1]);  // a hole of one node at 1
    PutMem(p[4]);
    PutMem(p[5]);  // a hole of two nodes at 4
    void *two = GetMem(40);
    EXPECT_EQ(4, NodeOf(two));
    void *one = GetMem(5);
    EXPECT_EQ(1, NodeOf(one));
    PutMem(two);
    PutMem(one);
    for (int i : {0, 2, 3, 6, 7, 8, 9})
        PutMem(p[i]);
}

TEST_F(Mem, A65535ByteRequestFillsAWholeSharedBlock) {
    void *p = GetMem(65535);
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(MEM_BLOCK_SIZE, pMemB->Size);
    EXPECT_EQ(0, pMemB->FreeNodeCount);
    EXPECT_EQ(NODES, pMemB->MAT[0].Nodes);
    void *q = GetMem(1);
    EXPECT_EQ(1, BlockIndex(q)) << "a full block sends the next request to a new one";
    PutMem(p);
    PutMem(q);
}

TEST_F(Mem, A65536ByteRequestGetsADedicatedBlock) {
    char *p = static_cast<char *>(GetMem(65536));
    ASSERT_NE(nullptr, p);
    ASSERT_EQ(1, BlockCount());
    EXPECT_EQ(p, pMemB->pMemory);
    EXPECT_EQ(131072, pMemB->Size);
    EXPECT_EQ(65568, pMemB->UsedSize);
    EXPECT_EQ(0, pMemB->FreeNodeCount);
    EXPECT_EQ(std::string(NODES, 'U'), pMemB->NodeMap);
    EXPECT_TRUE(AllZero(p, 65537));
    void *small = GetMem(1);
    EXPECT_EQ(1, BlockIndex(small)) << "a dedicated block holds nothing else";
    void *large = GetMem(200000);
    EXPECT_EQ(262144, FindBlock(large)->Size) << "areas are whole multiples of 64 KiB";
    PutMem(p);
    PutMem(small);
    PutMem(large);
}

TEST_F(Mem, ARequestLongerThanEveryBlocksFreeNodesGoesToANewTailBlock) {
    // two blocks with 60 free nodes each, 120 in all, none with 100
    std::vector<void *> fill;
    for (int blk = 0; blk < 2; ++blk) {
        void *big = GetMem((NODES - 60) * 32 - 1);
        ASSERT_EQ(blk, BlockIndex(big));
        fill.push_back(big);
    }
    void *p = GetMem(100 * 32 - 1);
    EXPECT_EQ(2, BlockIndex(p));
    EXPECT_EQ(0, NodeOf(p));
    void *q = GetMem(50 * 32 - 1);
    EXPECT_EQ(0, BlockIndex(q)) << "earlier blocks still serve what fits";
    for (void *f : fill)
        PutMem(f);
    PutMem(p);
    PutMem(q);
}

// ---- release ---------------------------------------------------------------------

TEST_F(Mem, ReleasingTheLastAllocationReturnsTheBlock) {
    void *a = GetMem(10);
    void *b = GetMem(70000);
    ASSERT_EQ(2, BlockCount());
    PutMem(a);
    EXPECT_EQ(1, BlockCount());
    EXPECT_EQ(nullptr, FindBlock(a));
    PutMem(a);  // a second release does nothing
    PutMem(b);
    EXPECT_EQ(nullptr, pMemB);
}

TEST_F(Mem, ReleasingTheHeadBlockMovesTheListOn) {
    void *a = GetMem(65535);
    void *b = GetMem(65535);
    void *c = GetMem(65535);
    MemBlock *second = FindBlock(b);
    PutMem(a);
    EXPECT_EQ(second, pMemB);
    EXPECT_EQ(nullptr, pMemB->pPrev);
    PutMem(c);
    EXPECT_EQ(nullptr, pMemB->pNext);
    PutMem(b);
}

TEST_F(Mem, UnknownAndInteriorPointersAreIgnored) {
    char *p = static_cast<char *>(GetMem(100));
    char *dp = static_cast<char *>(GetMem(100000));
    int onStack = 0;
    PutMem(nullptr);
    PutMem(&onStack);
    PutMem(p + 1);
    PutMem(p + 32);
    PutMem(dp + 64);
    EXPECT_EQ(2, BlockCount());
    EXPECT_EQ(4, FindBlock(p)->MAT[0].Nodes);
    PutMem(p);
    PutMem(dp);
}

TEST_F(Mem, FindBlockLooksAcrossManyBlocks) {
    std::vector<char *> p;
    for (int i = 0; i < 300; ++i)
        p.push_back(static_cast<char *>(GetMem(40000)));
    for (int i = 0; i < 300; ++i) {
        EXPECT_EQ(i, BlockIndex(p[i]));
        EXPECT_EQ(FindBlock(p[i]), FindBlock(p[i] + 65535));
    }
    for (int i = 0; i < 300; i += 2)
        PutMem(p[i]);
    for (int i = 1; i < 300; i += 2)
        EXPECT_EQ(i / 2, BlockIndex(p[i]));
    for (int i = 1; i < 300; i += 2)
        PutMem(p[i]);
}

// ---- AdjustMem -----------------------------------------------------------------

TEST_F(Mem, AdjustOfNullAllocatesAndToZeroReleases) {
    void *p = AdjustMem(nullptr, 10);
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(1, pMemB->MAT[0].Nodes);
    EXPECT_EQ(nullptr, AdjustMem(p, 0));
    EXPECT_EQ(nullptr, pMemB);
    EXPECT_EQ(nullptr, AdjustMem(nullptr, 0));
}

TEST_F(Mem, GrowingIntoFreeFollowingNodesKeepsTheAddress) {
    char *p = static_cast<char *>(GetMem(20));
    std::strcpy(p, "twenty characters...");
    char *q = static_cast<char *>(AdjustMem(p, 100));
    ASSERT_EQ(p, q);
    EXPECT_STREQ("twenty characters...", q);
    EXPECT_TRUE(AllZero(q + 21, 128 - 21));
    EXPECT_EQ(4, pMemB->MAT[0].Nodes);
    EXPECT_EQ(NODES - 4, pMemB->FreeNodeCount);
    PutMem(q);
}

TEST_F(Mem, GrowingIntoFreePrecedingNodesMovesDownAndKeepsTheBytes) {
    char *a = static_cast<char *>(GetMem(31));
    char *b = static_cast<char *>(GetMem(31));
    char *c = static_cast<char *>(GetMem(31));
    std::memset(b, 'b', 31);
    PutMem(a);
    char *q = static_cast<char *>(AdjustMem(b, 63));
    ASSERT_EQ(b - 32, q);
    EXPECT_EQ(std::string(31, 'b'), std::string(q, 31));
    EXPECT_TRUE(AllZero(q + 31, 33));
    EXPECT_EQ(2, pMemB->MAT[0].Nodes);
    EXPECT_EQ(0, pMemB->MAT[1].Nodes);
    EXPECT_EQ(nullptr, pMemB->MAT[1].pAddr);
    EXPECT_EQ("UUU", std::string(pMemB->NodeMap, 3));
    PutMem(q);
    PutMem(c);
}

TEST_F(Mem, GrowingWithNeitherSideFreeMovesAndCopies) {
    char *a = static_cast<char *>(GetMem(31));
    char *b = static_cast<char *>(GetMem(31));
    char *c = static_cast<char *>(GetMem(31));
    std::memset(b, 'b', 32);
    char *q = static_cast<char *>(AdjustMem(b, 63));
    ASSERT_NE(b, q);
    EXPECT_EQ(3, NodeOf(q));
    EXPECT_EQ(std::string(32, 'b'), std::string(q, 32));
    EXPECT_TRUE(AllZero(q + 32, 32));
    void *d = GetMem(1);
    EXPECT_EQ(b, d) << "the old nodes are free again";
    for (void *p : {static_cast<void *>(a), static_cast<void *>(c), static_cast<void *>(q), d})
        PutMem(p);
}

TEST_F(Mem, ShrinkingKeepsTheAddressAndFreesTheTail) {
    char *p = static_cast<char *>(GetMem(127));  // 4 nodes
    std::memset(p, 'x', 128);
    char *q = static_cast<char *>(AdjustMem(p, 31));
    ASSERT_EQ(p, q);
    EXPECT_EQ(std::string(32, 'x'), std::string(q, 32));
    EXPECT_TRUE(AllZero(q + 32, 96)) << "the released nodes are zeroed";
    EXPECT_EQ(1, pMemB->MAT[0].Nodes);
    void *next = GetMem(95);
    EXPECT_EQ(q + 32, next);
    EXPECT_EQ(p, AdjustMem(p, 20)) << "same node count: nothing moves";
    PutMem(q);
    PutMem(next);
}

TEST_F(Mem, AdjustOfAPointerThatStartsNoAllocationGivesAFreshOne) {
    char *p = static_cast<char *>(GetMem(100));  // nodes 0 to 3
    std::strcpy(p, "keep");
    char *q = static_cast<char *>(AdjustMem(p + 8, 10));
    ASSERT_NE(nullptr, q);
    EXPECT_EQ(4, NodeOf(q));
    EXPECT_TRUE(AllZero(q, 11)) << "nothing is copied";
    EXPECT_EQ(4, pMemB->MAT[0].Nodes);
    EXPECT_EQ("UUUUU ", std::string(pMemB->NodeMap, 6));
    EXPECT_STREQ("keep", p);
    int onStack = 0;
    void *r = AdjustMem(&onStack, 10);
    EXPECT_EQ(5, NodeOf(r));
    PutMem(p);
    PutMem(q);
    PutMem(r);
}

TEST_F(Mem, AdjustWithABadSizeFailsAndKeepsTheAllocation) {
    char *p = static_cast<char *>(GetMem(10));
    std::strcpy(p, "intact");
    EXPECT_EQ(nullptr, AdjustMem(p, -5));
    EXPECT_EQ(nullptr, AdjustMem(p, INT_MAX));
    EXPECT_STREQ("intact", p);
    EXPECT_EQ(1, pMemB->MAT[0].Nodes);
    EXPECT_EQ(nullptr, AdjustMem(nullptr, -1));
    PutMem(p);
}

TEST_F(Mem, AdjustThatCannotGetMemoryFailsAndKeepsTheAllocation) {
    ZeroDeviceGuard guard;
    char *p = static_cast<char *>(GetMem(40000));
    void *after = GetMem(20000);
    std::memset(p, 'p', 40001);
    MemCloseZero();
    pMemOpenHook = UnmappableOpen;
    testing::internal::CaptureStderr();
    void *q = AdjustMem(p, 60000);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(nullptr, q);
    EXPECT_EQ("ERROR: Unable to allocate memory\n", err);
    EXPECT_EQ(std::string(40001, 'p'), std::string(p, 40001));
    EXPECT_EQ(1, BlockCount());
    EXPECT_EQ(1251, pMemB->MAT[0].Nodes);
    PutMem(p);
    PutMem(after);
}

TEST_F(Mem, DedicatedAllocationsResizeInPlaceWithinTheirArea) {
    char *p = static_cast<char *>(GetMem(70000));
    std::memset(p, 'd', 70001);
    char *q = static_cast<char *>(AdjustMem(p, 100000));
    ASSERT_EQ(p, q);
    EXPECT_EQ(100032, pMemB->UsedSize);
    EXPECT_TRUE(AllZero(q + 70001, 100001 - 70001));
    q = static_cast<char *>(AdjustMem(q, 1000));  // stays dedicated, tail zeroed
    ASSERT_EQ(p, q);
    EXPECT_EQ(1024, pMemB->UsedSize);
    EXPECT_TRUE(AllZero(q + 1024, 100032 - 1024));
    q = static_cast<char *>(AdjustMem(q, 131071));  // exactly the whole area
    ASSERT_EQ(p, q);
    EXPECT_TRUE(AllZero(q + 1024, 131072 - 1024));
    EXPECT_EQ(std::string(1024, 'd'), std::string(q, 1024));
    PutMem(q);
}

TEST_F(Mem, DedicatedAllocationsMoveWhenTheyOutgrowTheirArea) {
    char *p = static_cast<char *>(GetMem(70000));
    std::memset(p, 'd', 70001);
    char *q = static_cast<char *>(AdjustMem(p, 140000));
    ASSERT_NE(nullptr, q);
    EXPECT_NE(p, q);
    EXPECT_EQ(1, BlockCount()) << "the old block is gone";
    EXPECT_EQ(196608, pMemB->Size);
    EXPECT_EQ(std::string(70001, 'd'), std::string(q, 70001));
    EXPECT_TRUE(AllZero(q + 70001, 140001 - 70001));
    PutMem(q);
}

// ---- mapping -------------------------------------------------------------------

TEST_F(Mem, WithoutDevZeroBlocksComeFromTheHeapAndTheOpenIsRetried) {
    ZeroDeviceGuard guard;
    MemCloseZero();
    openCalls = 0;
    pMemOpenHook = FailingOpen;
    char *p = static_cast<char *>(GetMem(100));
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(2, openCalls) << "the header and the area each try again";
    EXPECT_EQ(MEM_HEAP_HEADER | MEM_HEAP_AREA, pMemB->HeapParts);
    EXPECT_TRUE(AllZero(p, 101));
    char *d = static_cast<char *>(GetMem(100000));
    ASSERT_NE(nullptr, d);
    EXPECT_TRUE(AllZero(d, 100001));
    std::memset(d, 1, 100001);
    d = static_cast<char *>(AdjustMem(d, 10));
    EXPECT_TRUE(AllZero(d + 32, 100032 - 32)) << "heap memory is zeroed like a mapping";
    d = static_cast<char *>(AdjustMem(d, 131071));
    EXPECT_TRUE(AllZero(d + 32, 131072 - 32));
    PutMem(d);
    pMemOpenHook = nullptr;
    void *mapped = GetMem(65535);
    EXPECT_EQ(0, FindBlock(mapped)->HeapParts);
    PutMem(mapped);
    PutMem(p);
}

TEST_F(Mem, AFailedMappingReportsOutOfMemory) {
    ZeroDeviceGuard guard;
    MemCloseZero();
    pMemOpenHook = UnmappableOpen;
    testing::internal::CaptureStderr();
    void *p = GetMem(10);
    void *d = GetMem(100000);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ(nullptr, d);
    EXPECT_EQ("ERROR: Unable to allocate memory\nERROR: Unable to allocate memory\n", err);
    EXPECT_EQ(nullptr, pMemB);
}

TEST_F(Mem, MapBlockMapsOnePageBeyondTheLastWholePage) {
    long page = sysconf(_SC_PAGESIZE);
    bool heap = true;
    char *p = static_cast<char *>(MapBlock(static_cast<size_t>(page), &heap));
    ASSERT_NE(nullptr, p);
    EXPECT_FALSE(heap);
    EXPECT_TRUE(AllZero(p, 2 * static_cast<size_t>(page)));
    p[2 * page - 1] = 1;  // the extra page is there
    EXPECT_EQ(0, munmap(p, 2 * static_cast<size_t>(page)));
}

TEST(TestMAT, ComparesCountCharactersFromThePosition) {
    const char map[] = "UU   U";
    EXPECT_TRUE(TestMAT(map + 2, ' ', 3));
    EXPECT_FALSE(TestMAT(map + 2, ' ', 4));
    EXPECT_TRUE(TestMAT(map, 'U', 2));
    EXPECT_TRUE(TestMAT(map, 'U', 0));
    EXPECT_FALSE(TestMAT(map + 5, 'U', 3)) << "the map ends at its terminator";
    EXPECT_FALSE(TestMAT(nullptr, ' ', 1));
}

// ---- DumpMem ----------------------------------------------------------------------

std::string Format(const char *fmt, ...) PRINTF_LIKE(1, 2);
std::string Format(const char *fmt, ...) {
    char buf[256];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

TEST_F(Mem, DumpShowsASharedBlockWithItsMapAndAllocations) {
    char *a = static_cast<char *>(GetMem(31));
    char *b = static_cast<char *>(GetMem(40));
    std::strcpy(a, "hello");
    std::strcpy(b, "world");
    testing::internal::CaptureStdout();
    DumpMem();
    std::string out = testing::internal::GetCapturedStdout();

    long head = reinterpret_cast<long>(pMemB);
    std::string want =
        Format("\n============ Block(%li) size(65536) Free(2045) Used(3) FreeNodeCount(2045) "
               "SizeCnt(2045) <==(0) (0)==>\n\tBlock MAT:",
               head);
    want += "\n\tUUU" + std::string(61, '_');
    for (int row = 1; row < 32; ++row)
        want += "\n\t" + std::string(64, '_');
    want += "\n\n\tAllocated Nodes:\n";
    want += Format("\tMAT index(     0) Memory Addr(%6li) nodes(    1) size(   32) Memory(hello)\n",
                   reinterpret_cast<long>(a));
    want += Format("\tMAT index(     1) Memory Addr(%6li) nodes(    2) size(   64) Memory(world)\n",
                   reinterpret_cast<long>(b));
    want += "\n";
    EXPECT_EQ(want, out);
    PutMem(a);
    PutMem(b);
}

TEST_F(Mem, DumpShowsADedicatedBlockOnOneLineWithItsNeighbours) {
    void *s = GetMem(1);
    void *d = GetMem(65536);
    testing::internal::CaptureStdout();
    DumpMem();
    std::string out = testing::internal::GetCapturedStdout();
    MemBlock *shared = pMemB, *dedicated = pMemB->pNext;
    std::string tail = Format("\n============ Dedicated Block(%li) size(131072) FreeNodeCount(0) "
                              "<==(%li) (0)==>",
                              reinterpret_cast<long>(d), reinterpret_cast<long>(shared));
    ASSERT_GE(out.size(), tail.size());
    EXPECT_EQ(tail, out.substr(out.size() - tail.size()));
    std::string head = Format("\n============ Block(%li) size(65536) Free(2047) Used(1) "
                              "FreeNodeCount(2047) SizeCnt(2047) <==(0) (%li)==>",
                              reinterpret_cast<long>(shared), reinterpret_cast<long>(dedicated));
    EXPECT_EQ(head, out.substr(0, head.size()));
    PutMem(s);
    PutMem(d);
}

TEST_F(Mem, DumpNeverPrintsPastAnAllocation) {
    char *a = static_cast<char *>(GetMem(31));
    char *b = static_cast<char *>(GetMem(31));
    std::memset(a, 'a', 32);  // no terminator inside the allocation
    std::strcpy(b, "b");
    testing::internal::CaptureStdout();
    DumpMem();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("Memory(" + std::string(32, 'a') + ")\n"));
    PutMem(a);
    PutMem(b);
}

// ---- MemAllocator ----------------------------------------------------------------

TEST_F(Mem, VectorsAllocateThroughTheBlockAllocator) {
    {
        std::vector<int, MemAllocator<int>> v;
        for (int i = 0; i < 50000; ++i)
            v.push_back(i);
        ASSERT_NE(nullptr, pMemB);
        EXPECT_NE(nullptr, FindBlock(v.data()));
        long sum = 0;
        for (int x : v)
            sum += x;
        EXPECT_EQ(50000L * 49999 / 2, sum);
    }
    EXPECT_EQ(nullptr, pMemB);
}

TEST_F(Mem, AllocatorRefusesCountsBeyondWhatGetMemTakes) {
    MemAllocator<double> alloc;
    EXPECT_EXIT(alloc.allocate(size_t{1} << 40), testing::ExitedWithCode(1), "Unable to allocate memory");
    double *none = alloc.allocate(0);
    EXPECT_NE(nullptr, none);
    alloc.deallocate(none, 0);
}

// Exhausted memory stops with the message and status 1, whichever way a module
// allocates: never std::bad_alloc, never an abort.
TEST(OutOfMemory, AnAddressSpaceLimitStopsInOrder) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves more address space than the limit";
#endif
    auto underLimit = [](auto grow) {
        rlimit limit{size_t{512} << 20, size_t{512} << 20};
        setrlimit(RLIMIT_AS, &limit);
        grow();
    };
    EXPECT_EXIT(underLimit([] {
        std::vector<char, MemAllocator<char>> v;
        for (;;)
            v.reserve(v.capacity() + (size_t{16} << 20));
    }), testing::ExitedWithCode(1), "Unable to allocate memory");
    EXPECT_EXIT(underLimit([] {
        std::vector<std::string> v;
        for (;;)
            v.emplace_back(size_t{16} << 20, 'x');
    }), testing::ExitedWithCode(1), "Unable to allocate memory");
}

}  // namespace
