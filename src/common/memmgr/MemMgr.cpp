// MemMgr.cpp - the block allocator.
//
// Memory comes from /dev/zero in blocks: a shared block has a 64 KiB area of 2048
// nodes of 32 bytes, a request too large for it gets a dedicated block of its own.
// Each block has a header in a mapping of its own with the allocation table (MAT,
// indexed by node), the node map shown by DumpMem and a bit map of free nodes that
// the first-fit search works on a word at a time. The node map and the bit map
// always change together. A second bit map marks the nodes where an allocation
// starts, so that a release reads the allocation's length from the two bit maps
// (which stay in cache) and only writes the MAT entry (which seldom is).
//
// Beside the list the module keeps a directory of the blocks: in list order the
// longest run of free nodes each may hold (so that the first-fit walk reads one
// small array instead of every header), and the memory areas sorted by address
// (so that PutMem finds its block, and the bounds of its area, by binary search).
// Within a block, free runs are counted by length and each word of the bit map
// is summarised, so that the search skips whole words (see the search aids).
#include "MemMgr.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "Errors.h"
#include <iterator>

MemBlock *pMemB = nullptr;
const char *const OutOfMem = "Unable to allocate memory";
int (*pMemOpenHook)(const char *path, int flags) = nullptr;

void OutOfMemory() {
    SysError("%s", OutOfMem);
}

namespace {

// operator new follows the same rule as GetMem's callers: a program that links the
// allocator stops in order instead of throwing std::bad_alloc.
[[noreturn]] void NewFailed() {
    OutOfMemory();
}

const std::new_handler PreviousNewHandler = std::set_new_handler(NewFailed);

}  // namespace

// The small helpers of the allocation and release paths are inlined into them.
#define MEM_INLINE [[gnu::always_inline]] inline

namespace {

constexpr int NODES = MEM_BLOCK_NODES;
constexpr int WORDS = MEM_BLOCK_NODES / 64;
constexpr size_t NODE = MEM_NODE_SIZE;
constexpr uint64_t ALL = ~uint64_t{0};
// Size is a signed 32-bit field, so no area may be longer than this.
constexpr size_t LARGEST_AREA = (INT32_MAX / MEM_BLOCK_SIZE) * size_t{MEM_BLOCK_SIZE};

struct AreaRange {
    uintptr_t Start, End;
    MemBlock *pBlock;
};

struct MemState {
    int ZeroFd = -1;               // /dev/zero, kept open once opened
    MemBlock **pBlocks = nullptr;  // the directory: blocks in list order,
    int16_t *pFit = nullptr;       // the longest run each may hold (0: none),
    AreaRange *pAreas = nullptr;   // and their areas sorted by address
    int Count = 0, Capacity = 0;
    size_t DirBytes = 0;
    AreaRange Last = {0, 0, nullptr};  // the area FindBlock found last
};
MemState Mem;

long Addr(const void *p) { return static_cast<long>(reinterpret_cast<intptr_t>(p)); }

size_t MapLength(size_t size) {
    size_t page = static_cast<size_t>(getpagesize());
    return (size / page + 1) * page;
}

size_t AreaFor(size_t rounded) {
    return (rounded + MEM_BLOCK_SIZE - 1) / MEM_BLOCK_SIZE * MEM_BLOCK_SIZE;
}

// The smallest multiple of 32 that holds n + 1 bytes; 0 for a size that is not
// positive or whose block would not fit the 32-bit sizes of a header.
MEM_INLINE size_t RoundSize(int n) {
    if (n <= 0)
        return 0;
    size_t r = (static_cast<size_t>(n) + NODE) & ~(NODE - 1);
    if (r > MEM_BLOCK_SIZE && AreaFor(r) > LARGEST_AREA)
        return 0;
    return r;
}

int OpenZero() {
    if (pMemOpenHook)
        return pMemOpenHook("/dev/zero", O_RDWR);
    return open("/dev/zero", O_RDWR | O_CLOEXEC);
}

void Unmap(void *p, size_t size, bool fromHeap) {
    if (fromHeap)
        std::free(p);
    else
        munmap(p, MapLength(size));
}

MEM_INLINE bool IsDedicated(const MemBlock *b) { return b->Size > MEM_BLOCK_SIZE; }

// The longest run of free nodes, or an upper bound of it.
MEM_INLINE int LongestRun(const MemBlock *b) {
    return std::min(b->FreeNodeCount, b->MaxRunHint);
}

MEM_INLINE char *NodeAddr(const MemBlock *b, int i) { return static_cast<char *>(b->pMemory) + NODE * i; }

// ---- the directory -----------------------------------------------------------

// Makes room for n blocks; false when no memory could be had.
bool ReserveDirectory(int n) {
    if (n <= Mem.Capacity)
        return true;
    int cap = std::max(64, Mem.Capacity * 2);
    while (cap < n)
        cap *= 2;
    size_t bytes = cap * (sizeof(MemBlock *) + sizeof(AreaRange) + sizeof(int16_t));
    void *dir = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (dir == MAP_FAILED)
        return false;
    auto *areas = static_cast<AreaRange *>(dir);
    auto *blocks = reinterpret_cast<MemBlock **>(areas + cap);
    auto *fit = reinterpret_cast<int16_t *>(blocks + cap);
    if (Mem.Count) {
        std::memcpy(areas, Mem.pAreas, Mem.Count * sizeof *areas);
        std::memcpy(blocks, Mem.pBlocks, Mem.Count * sizeof *blocks);
        std::memcpy(fit, Mem.pFit, Mem.Count * sizeof *fit);
    }
    if (Mem.pAreas)
        munmap(Mem.pAreas, Mem.DirBytes);
    Mem.pAreas = areas;
    Mem.pBlocks = blocks;
    Mem.pFit = fit;
    Mem.Capacity = cap;
    Mem.DirBytes = bytes;
    return true;
}

bool InDirectory(const MemBlock *b) {
    return b->ListPos >= 0 && b->ListPos < Mem.Count && Mem.pBlocks[b->ListPos] == b;
}

MEM_INLINE void UpdateFit(const MemBlock *b) {
    if (b->ListPos >= 0)  // every block in the list is in the directory
        Mem.pFit[b->ListPos] = static_cast<int16_t>(IsDedicated(b) ? 0 : LongestRun(b));
}

// The first position from from on whose block may hold a run of k free nodes, or
// Count. A plain loop: the fit just written by the last allocation or release is
// usually still on its way to the cache, and a wider read over it would have to
// wait for every older store (the zeroing of fresh memory among them).
int ScanFits(int from, int k) {
    for (int i = from; i < Mem.Count; ++i)
        if (Mem.pFit[i] >= k)
            return i;
    return Mem.Count;
}

MEM_INLINE int NextFit(int from, int k) {
    if (from < Mem.Count && Mem.pFit[from] >= k)  // mostly the first block will do
        return from;
    return ScanFits(from, k);
}

// Index of the first area that starts above at.
int AreaAfter(uintptr_t at) {
    const AreaRange *base = Mem.pAreas;
    int n = Mem.Count;
    while (n > 1) {
        int half = n / 2;
        base = base[half].Start <= at ? base + half : base;
        n -= half;
    }
    return static_cast<int>(base - Mem.pAreas) + (n == 1 && base->Start <= at);
}

// Finds the area that holds address at by binary search and keeps it for the
// next look-up, which is often for the same block; false when none does.
bool SearchAreas(uintptr_t at) {
    int i = AreaAfter(at) - 1;
    if (i < 0 || at >= Mem.pAreas[i].End)
        return false;
    Mem.Last = Mem.pAreas[i];
    return true;
}

// The area that holds p, with its block, in *area; false when no block holds p.
// The callers take the area's bounds from here rather than from the header,
// whose first line is seldom in cache.
MEM_INLINE bool Locate(const void *p, AreaRange *area) {
    auto at = reinterpret_cast<uintptr_t>(p);
    if (at - Mem.Last.Start >= Mem.Last.End - Mem.Last.Start && (!p || !SearchAreas(at)))
        return false;
    *area = Mem.Last;
    return true;
}

MEM_INLINE bool IsDedicatedArea(const AreaRange &a) { return a.End - a.Start > MEM_BLOCK_SIZE; }

void AddToDirectory(MemBlock *b) {
    b->ListPos = Mem.Count;
    Mem.pBlocks[Mem.Count] = b;
    auto start = reinterpret_cast<uintptr_t>(b->pMemory);
    int at = AreaAfter(start);
    std::memmove(Mem.pAreas + at + 1, Mem.pAreas + at, (Mem.Count - at) * sizeof(AreaRange));
    Mem.pAreas[at] = AreaRange{start, start + static_cast<uintptr_t>(b->Size), b};
    ++Mem.Count;
    UpdateFit(b);
}

void RemoveFromDirectory(MemBlock *b) {
    if (!InDirectory(b))
        return;
    if (Mem.Last.pBlock == b)
        Mem.Last = AreaRange{0, 0, nullptr};
    int pos = b->ListPos;
    int tail = Mem.Count - pos - 1;
    std::memmove(Mem.pBlocks + pos, Mem.pBlocks + pos + 1, tail * sizeof(MemBlock *));
    std::memmove(Mem.pFit + pos, Mem.pFit + pos + 1, tail * sizeof(int16_t));
    for (int j = pos; j < pos + tail; ++j)
        Mem.pBlocks[j]->ListPos = j;
    int at = AreaAfter(reinterpret_cast<uintptr_t>(b->pMemory)) - 1;
    if (at >= 0 && Mem.pAreas[at].pBlock == b)
        std::memmove(Mem.pAreas + at, Mem.pAreas + at + 1,
                     (Mem.Count - at - 1) * sizeof(AreaRange));
    --Mem.Count;
    b->ListPos = -1;
}

// ---- the free-node bit map -------------------------------------------------

// Calls f(word index, mask) for the words that nodes from .. from+count-1 touch.
template <class F> bool ForRange(int from, int count, F f) {
    for (int end = from + count; from < end;) {
        int lo = from & 63;
        int n = std::min(64 - lo, end - from);
        uint64_t mask = (n == 64 ? ~uint64_t{0} : (uint64_t{1} << n) - 1) << lo;
        if (!f(from >> 6, mask))
            return false;
        from += n;
    }
    return true;
}

bool RangeFree(const uint64_t *bits, int from, int count) {
    return ForRange(from, count, [&](int w, uint64_t m) { return (bits[w] & m) == m; });
}

// First node in pos .. limit-1 that is free (free == true) or used; limit when none.
MEM_INLINE int NextNode(const uint64_t *bits, int pos, bool free, int limit) {
    if (pos >= limit)
        return limit;
    int w = pos >> 6;
    int lastWord = (limit - 1) >> 6;
    uint64_t flip = free ? 0 : ~uint64_t{0};
    uint64_t word = (bits[w] ^ flip) & (~uint64_t{0} << (pos & 63));
    while (!word) {
        if (++w > lastWord)
            return limit;
        word = bits[w] ^ flip;
    }
    return std::min(limit, w * 64 + std::countr_zero(word));
}

// Start of the run of free nodes that ends just before pos, looking no further
// back than floor.
int RunStartBefore(const uint64_t *bits, int pos, int floor) {
    if (pos <= floor)
        return floor;
    int last = pos - 1;
    int w = last >> 6;
    int firstWord = floor >> 6;
    uint64_t used = ~bits[w] & (ALL >> (63 - (last & 63)));
    while (!used) {
        if (--w < firstWord)
            return floor;
        used = ~bits[w];
    }
    return std::max(floor, w * 64 + 64 - std::countl_zero(used));
}

// Length of the free run around nodes i .. i+k-1, looking at most reach nodes to
// either side of them.
int RunAround(const uint64_t *bits, int i, int k, int reach) {
    if (reach <= 0)
        return k;
    int left = RunStartBefore(bits, i, std::max(0, i - reach));
    int right = NextNode(bits, i + k, false, std::min(NODES, i + k + reach));
    return right - left;
}

// ---- runs within one word --------------------------------------------------------

// Positions in x where k set bits in a row start (k from 1 to 64). With rN the
// positions where N start, k is assembled from its binary digits.
uint64_t RunStarts(uint64_t x, int k) {
    uint64_t r2 = x & (x >> 1), r4 = r2 & (r2 >> 2), r8 = r4 & (r4 >> 4);
    uint64_t r16 = r8 & (r8 >> 8), r32 = r16 & (r16 >> 16);
    if (k == 64)
        return r32 & (r32 >> 32);
    uint64_t at = ALL;
    int len = 0;
    auto take = [&](uint64_t r, int n) {
        if (k & n) {
            at &= r >> len;
            len += n;
        }
    };
    take(r32, 32);
    take(r16, 16);
    take(r8, 8);
    take(r4, 4);
    take(r2, 2);
    take(x, 1);
    return at;
}

// Length of the longest run of set bits in x (not all set), assembled from the
// largest power of two down.
int LongestOnes(uint64_t x) {
    uint64_t r2 = x & (x >> 1), r4 = r2 & (r2 >> 2), r8 = r4 & (r4 >> 4);
    uint64_t r16 = r8 & (r8 >> 8), r32 = r16 & (r16 >> 16);
    int len = 0;
    uint64_t at = ALL;  // positions where len set bits start
    auto extend = [&](uint64_t r, int n) {
        uint64_t next = at & (r >> len);
        if (next) {
            at = next;
            len += n;
        }
    };
    extend(r32, 32);
    extend(r16, 16);
    extend(r8, 8);
    extend(r4, 4);
    extend(r2, 2);
    extend(x, 1);
    return len;
}

// Bits of x without its runs at the low and the high end.
uint64_t InnerBits(uint64_t x, int low, int high) {
    uint64_t lowMask = (uint64_t{1} << low) - 1;
    uint64_t highMask = high ? ALL << (64 - high) : 0;
    return x & ~lowMask & ~highMask;
}

MemWordRuns RunsOfWord(uint64_t x) {
    if (x == ALL)
        return MemWordRuns{64, 64, 0};
    int low = std::countr_zero(~x), high = std::countl_zero(~x);
    return MemWordRuns{static_cast<uint8_t>(low), static_cast<uint8_t>(high),
                       static_cast<uint8_t>(LongestOnes(InnerBits(x, low, high)))};
}

// ---- run counts and search bounds -------------------------------------------------
//
// A block counts its free runs by length, so that its longest run is known exactly
// and the directory passes over it for any longer request. The counts are kept from
// the first search for more than one node on; a block that only ever serves
// one-node requests never counts (it needs only its first free node), and its
// longest run is kept as an upper bound instead.
//
// SearchFrom[k - 1] is a lower bound of where the first run of k free nodes starts,
// so that a search need not walk again over the runs it has passed. Taking nodes
// cannot make such a run start earlier; freeing them lowers the bounds of every
// k the joined run can hold to its start; a search sets the bound of its k exactly.
// (A run of 64 or more nodes starts no earlier than the bound of 64.)

constexpr int BOUNDS = 64;

MEM_INLINE int16_t &From(MemBlock *b, int k) { return b->SearchFrom[std::min(k, BOUNDS) - 1]; }

void CountRun(MemBlock *b, int len, int delta) {
    if (len <= 0)
        return;
    b->RunCount[len] = static_cast<uint16_t>(b->RunCount[len] + delta);
    if (delta > 0 && len > b->MaxRunHint)
        b->MaxRunHint = len;
}

void DropLongest(MemBlock *b) {
    while (b->MaxRunHint > 0 && b->RunCount[b->MaxRunHint] == 0)
        --b->MaxRunHint;
}

void CountAllRuns(MemBlock *b) {
    for (int w = 0; w < WORDS; ++w)
        b->WordRuns[w] = RunsOfWord(b->FreeBits[w]);
    std::memset(b->RunCount, 0, sizeof b->RunCount);
    std::fill(std::begin(b->SearchFrom), std::end(b->SearchFrom), 0);
    b->MaxRunHint = 0;
    for (int pos = 0; pos < NODES;) {
        int start = NextNode(b->FreeBits, pos, true, NODES);
        if (start == NODES)
            break;
        pos = NextNode(b->FreeBits, start, false, NODES);
        CountRun(b, pos - start, 1);
    }
    b->RunsCounted = 1;
}

// Nodes i .. i+k-1, all free, are about to be taken (runs counted).
void CountTaken(MemBlock *b, int i, int k) {
    int start = RunStartBefore(b->FreeBits, i, 0);
    int end = NextNode(b->FreeBits, i + k, false, NODES);
    CountRun(b, end - start, -1);
    CountRun(b, i - start, 1);
    CountRun(b, end - i - k, 1);
    DropLongest(b);
}

// Nodes i .. i+k-1 have just been freed, and the block does not count its runs:
// the run they joined may be longer than the bound. Only a longer one matters,
// so the sides are looked at no further than that.
void RaiseRunHint(MemBlock *b, int i, int k) {
    int hint = b->MaxRunHint;
    if (RunAround(b->FreeBits, i, k, hint + 1 - k) > hint)
        b->MaxRunHint = RunAround(b->FreeBits, i, k, NODES);
}

// Nodes i .. i+k-1 have just been freed (runs counted).
void CountFreed(MemBlock *b, int i, int k) {
    int start = RunStartBefore(b->FreeBits, i, 0);
    int end = NextNode(b->FreeBits, i + k, false, NODES);
    CountRun(b, i - start, -1);
    CountRun(b, end - i - k, -1);
    CountRun(b, end - start, 1);
    // the bounds of 1 to end - start nodes, eight at a time
    using Bounds = int16_t __attribute__((vector_size(16)));
    Bounds at = {}, lengths = {1, 2, 3, 4, 5, 6, 7, 8};
    at += static_cast<int16_t>(start);
    int n = std::min(end - start, BOUNDS);
    for (int j = 0; j < n; j += 8, lengths += 8) {
        Bounds from;
        std::memcpy(&from, b->SearchFrom + j, sizeof from);
        Bounds lower = (lengths <= static_cast<int16_t>(n)) & (at < from);
        from = (from & ~lower) | (at & lower);
        std::memcpy(b->SearchFrom + j, &from, sizeof from);
    }
}

MEM_INLINE void RunTaken(MemBlock *b, int i, int k) {
    if (b->RunsCounted)
        CountTaken(b, i, k);
}

// A bound of FreeNodeCount or more needs no look at the runs.
MEM_INLINE void RunFreed(MemBlock *b, int i, int k) {
    if (b->RunsCounted)
        CountFreed(b, i, k);
    else if (b->MaxRunHint < b->FreeNodeCount)
        RaiseRunHint(b, i, k);
}

MEM_INLINE void FoundRun(MemBlock *b, int k, int start) {
    if (k <= BOUNDS)
        From(b, k) = static_cast<int16_t>(start);
}

// The lowest-numbered run of k free nodes, or -1. Words are walked from the search
// bound: a run carried over from the words before comes first, then a run inside
// the word; the run at the word's high end is carried on.
int FindLongRun(MemBlock *b, int k) {
    if (!b->RunsCounted)
        CountAllRuns(b);
    if (b->MaxRunHint < k)
        return -1;
    int from = From(b, k);
    int carry = 0;
    for (int w = from >> 6; w < WORDS; ++w) {
        uint64_t x = b->FreeBits[w];
        MemWordRuns runs = b->WordRuns[w];
        int start = -1;
        if (w == from >> 6 && (from & 63)) {
            // a run begun before the bound is too short: look from the bound on
            x &= ALL << (from & 63);
            uint64_t at = k <= 64 ? RunStarts(x, k) : 0;
            if (at)
                start = w * 64 + std::countr_zero(at);
            runs.Low = 0;
            runs.High = static_cast<uint8_t>(std::countl_zero(~x));
        } else if (carry + runs.Low >= k) {
            start = w * 64 - carry;
        } else if (runs.Inner >= k) {
            start = w * 64 + std::countr_zero(RunStarts(InnerBits(x, runs.Low, runs.High), k));
        }
        if (start >= 0) {
            FoundRun(b, k, start);
            return start;
        }
        carry = runs.Low == 64 ? carry + 64 : runs.High;
    }
    if (carry >= k) {
        FoundRun(b, k, NODES - carry);
        return NODES - carry;
    }
    return -1;
}

// A single node is the first free one (from the bound on, where there is one).
MEM_INLINE int FindRun(MemBlock *b, int k) {
    if (k > 1)
        return FindLongRun(b, k);
    int i = NextNode(b->FreeBits, b->RunsCounted ? From(b, 1) : 0, true, NODES);
    if (i == NODES)
        return -1;
    if (b->RunsCounted)
        FoundRun(b, 1, i);
    return i;
}

void MarkManyNodes(MemBlock *b, int i, int k, bool free);

// Marks nodes i .. i+k-1 free or used in both maps.
MEM_INLINE void MarkNodes(MemBlock *b, int i, int k, bool free) {
    int first = i >> 6, last = (i + k - 1) >> 6;
    if (first == last) {  // the common case: one word
        b->NodeMap[i] = free ? ' ' : 'U';
        if (k > 1)
            std::memset(b->NodeMap + i + 1, free ? ' ' : 'U', k - 1);
        uint64_t m = (k == 64 ? ALL : (uint64_t{1} << k) - 1) << (i & 63);
        b->FreeBits[first] = free ? b->FreeBits[first] | m : b->FreeBits[first] & ~m;
        if (b->RunsCounted)
            b->WordRuns[first] = RunsOfWord(b->FreeBits[first]);
        return;
    }
    MarkManyNodes(b, i, k, free);
}

void MarkManyNodes(MemBlock *b, int i, int k, bool free) {
    int first = i >> 6, last = (i + k - 1) >> 6;
    std::memset(b->NodeMap + i, free ? ' ' : 'U', k);
    for (int w = first; w <= last; ++w) {
        int lo = w == first ? i & 63 : 0;
        int hi = w == last ? ((i + k - 1) & 63) + 1 : 64;
        uint64_t m = (hi - lo == 64 ? ALL : (uint64_t{1} << (hi - lo)) - 1) << lo;
        b->FreeBits[w] = free ? b->FreeBits[w] | m : b->FreeBits[w] & ~m;
        if (b->RunsCounted)
            b->WordRuns[w] = RunsOfWord(b->FreeBits[w]);
    }
}

// Zeroes k nodes from p; the common small cases without a library call.
MEM_INLINE void ZeroNodes(char *p, int k) {
    if (k <= 4) {
        for (int j = 0; j < k; ++j)
            std::memset(p + NODE * j, 0, NODE);
    } else {
        std::memset(p, 0, NODE * k);
    }
}

MEM_INLINE void TakeNodes(MemBlock *b, int i, int k) {
    RunTaken(b, i, k);
    MarkNodes(b, i, k, false);
    b->FreeNodeCount -= k;
    UpdateFit(b);
}

MEM_INLINE void GiveNodes(MemBlock *b, int i, int k) {
    MarkNodes(b, i, k, true);
    b->FreeNodeCount += k;
    RunFreed(b, i, k);
    UpdateFit(b);
}

// ---- allocations -------------------------------------------------------------

// Marks node i as the start of an allocation, or no longer one; kept in step with
// the MAT.
MEM_INLINE void SetStart(MemBlock *b, int i, bool start) {
    uint64_t m = uint64_t{1} << (i & 63);
    b->StartBits[i >> 6] = start ? b->StartBits[i >> 6] | m : b->StartBits[i >> 6] & ~m;
}

MEM_INLINE void *AllocAt(MemBlock *b, int i, int k) {
    TakeNodes(b, i, k);
    char *p = NodeAddr(b, i);
    b->MAT[i].Nodes = static_cast<uint16_t>(k);
    b->MAT[i].pAddr = p;
    SetStart(b, i, true);
    ZeroNodes(p, k);
    return p;
}

void *GetDedicated(size_t rounded) {
    MemBlock *b = GetNewBlock(AreaFor(rounded));
    if (!b)
        return nullptr;
    if (b->HeapParts & MEM_HEAP_AREA)  // a mapping of /dev/zero arrives zeroed
        std::memset(b->pMemory, 0, rounded);
    std::memset(b->NodeMap, 'U', NODES);
    std::fill(std::begin(b->FreeBits), std::end(b->FreeBits), 0);
    b->RunsCounted = 0;
    b->MaxRunHint = 0;
    b->FreeNodeCount = 0;
    b->UsedSize = static_cast<int32_t>(rounded);
    UpdateFit(b);
    return b->pMemory;
}

// Node of the allocation that starts at p in area a (0 for a dedicated block), or
// -1 when p is not the start of one.
MEM_INLINE int AllocationIndex(const AreaRange &a, const void *p) {
    size_t off = reinterpret_cast<uintptr_t>(p) - a.Start;
    if (IsDedicatedArea(a))
        return off == 0 ? 0 : -1;
    if (off % NODE)
        return -1;
    int i = static_cast<int>(off / NODE);
    return (a.pBlock->StartBits[i >> 6] >> (i & 63)) & 1 ? i : -1;
}

// Nodes of the allocation that starts at node i of a shared block: it ends at the
// next allocation or the next free node. Read from the bit maps, which stay in
// cache, rather than from the far larger MAT.
MEM_INLINE int AllocationNodes(const MemBlock *b, int i) {
    int end = NextNode(b->FreeBits, i + 1, true, NODES);
    return NextNode(b->StartBits, i + 1, true, end) - i;
}

void *MoveTo(void *p, size_t keep, int size) {
    void *q = GetMem(size);
    if (!q)
        return nullptr;
    std::memcpy(q, p, keep);
    PutMem(p);
    return q;
}

// Resizing inside a shared block: shrink in place, grow into the following nodes,
// grow into the preceding ones, or move, in that order.
void *AdjustShared(MemBlock *b, int i, int nodes, int size) {
    MATEntry &e = b->MAT[i];
    int old = e.Nodes;
    char *p = NodeAddr(b, i);
    if (nodes == old)
        return p;
    if (nodes < old) {
        std::memset(p + NODE * nodes, 0, NODE * (old - nodes));
        e.Nodes = static_cast<uint16_t>(nodes);
        GiveNodes(b, i + nodes, old - nodes);
        return p;
    }
    int d = nodes - old;
    if (i + old + d <= NODES && RangeFree(b->FreeBits, i + old, d)) {
        TakeNodes(b, i + old, d);
        std::memset(p + NODE * old, 0, NODE * d);
        e.Nodes = static_cast<uint16_t>(nodes);
        return p;
    }
    if (i >= d && RangeFree(b->FreeBits, i - d, d)) {
        TakeNodes(b, i - d, d);
        char *q = p - NODE * d;
        std::memmove(q, p, NODE * old);
        std::memset(q + NODE * old, 0, NODE * d);
        b->MAT[i - d] = MATEntry{static_cast<uint16_t>(nodes), q};
        e = MATEntry{0, nullptr};
        SetStart(b, i, false);
        SetStart(b, i - d, true);
        return q;
    }
    return MoveTo(p, NODE * old, size);
}

// Resizing a dedicated block's allocation, or a shared one beyond a shared block.
void *AdjustLarge(MemBlock *b, int i, size_t rounded, int size) {
    char *mem = static_cast<char *>(b->pMemory);
    size_t used = static_cast<size_t>(b->UsedSize);
    if (IsDedicated(b) && rounded <= static_cast<size_t>(b->Size)) {
        if (rounded < used)
            std::memset(mem + rounded, 0, used - rounded);
        else if (rounded > used)
            std::memset(mem + used, 0, rounded - used);
        b->UsedSize = static_cast<int32_t>(rounded);
        return mem;
    }
    if (IsDedicated(b))
        return MoveTo(mem, used, size);
    return MoveTo(NodeAddr(b, i), NODE * b->MAT[i].Nodes, size);
}

void DumpShared(const MemBlock *b) {
    int blanks = static_cast<int>(std::count(b->NodeMap, b->NodeMap + NODES, ' '));
    int nodes = 0;
    for (const MATEntry &e : b->MAT)
        nodes += e.Nodes;
    std::printf("\n============ Block(%li) size(%li) Free(%i) Used(%i) FreeNodeCount(%i) "
                "SizeCnt(%i) <==(%li) (%li)==>\n\tBlock MAT:",
                Addr(b), static_cast<long>(b->Size), blanks, NODES - blanks, b->FreeNodeCount,
                NODES - nodes, Addr(b->pPrev), Addr(b->pNext));
    for (int i = 0; i < NODES; ++i) {
        if (i % 64 == 0)
            std::fputs("\n\t", stdout);
        std::putchar(b->NodeMap[i] == ' ' ? '_' : b->NodeMap[i]);
    }
    std::fputs("\n\n\tAllocated Nodes:\n", stdout);
    for (int i = 0; i < NODES; ++i) {
        const MATEntry &e = b->MAT[i];
        if (!e.Nodes || !e.pAddr)
            continue;
        // the contents are printed as a string, but never past the allocation
        int len = e.Nodes * MEM_NODE_SIZE;
        std::printf("\tMAT index(%6i) Memory Addr(%6li) nodes(%5i) size(%5i) Memory(%.*s)\n", i,
                    Addr(e.pAddr), e.Nodes, len, len, static_cast<const char *>(e.pAddr));
    }
    std::putchar('\n');
}

}  // namespace

// ---- blocks -----------------------------------------------------------------

void MemCloseZero() {
    if (Mem.ZeroFd >= 0)
        close(Mem.ZeroFd);
    Mem.ZeroFd = -1;
}

void *MapBlock(size_t size, bool *pFromHeap) {
    if (Mem.ZeroFd == -1)
        Mem.ZeroFd = OpenZero();
    size_t len = MapLength(size);
    if (pFromHeap)
        *pFromHeap = Mem.ZeroFd < 0;
    if (Mem.ZeroFd < 0) {
        Mem.ZeroFd = -1;  // opened again at the next mapping
        return std::malloc(len);
    }
    void *p = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE, Mem.ZeroFd, 0);
    return p == MAP_FAILED ? nullptr : p;
}

MemBlock *GetNewBlock(size_t size) {
    size_t area = size <= MEM_BLOCK_SIZE ? MEM_BLOCK_SIZE : size;
    bool headHeap = false, areaHeap = false;
    bool room = area <= LARGEST_AREA && ReserveDirectory(Mem.Count + 1);
    void *head = room ? MapBlock(sizeof(MemBlock), &headHeap) : nullptr;
    void *mem = head ? MapBlock(area, &areaHeap) : nullptr;
    if (!mem) {
        if (head)
            Unmap(head, sizeof(MemBlock), headHeap);
        std::fprintf(stderr, "ERROR: %s\n", OutOfMem);
        return nullptr;
    }
    auto *b = static_cast<MemBlock *>(head);
    if (headHeap)  // a mapping of /dev/zero arrives zeroed
        std::memset(b, 0, sizeof *b);
    std::memset(b->NodeMap, ' ', NODES);
    b->NodeMap[NODES] = '\0';
    std::fill(std::begin(b->FreeBits), std::end(b->FreeBits), ~uint64_t{0});
    b->RunsCounted = 0;
    b->MaxRunHint = NODES;
    b->HeapParts = static_cast<uint8_t>((headHeap ? MEM_HEAP_HEADER : 0) |
                                        (areaHeap ? MEM_HEAP_AREA : 0));
    b->Size = static_cast<int32_t>(area);
    b->pMemory = mem;
    b->FreeNodeCount = NODES;
    PushBlock(b);
    return b;
}

void PushBlock(MemBlock *b) {
    MemBlock *tail = pMemB;
    if (Mem.Count > 0)
        tail = Mem.pBlocks[Mem.Count - 1];
    while (tail && tail->pNext)
        tail = tail->pNext;
    b->pNext = nullptr;
    b->pPrev = tail;
    if (tail)
        tail->pNext = b;
    else
        pMemB = b;
    b->ListPos = -1;
    if (ReserveDirectory(Mem.Count + 1))  // GetNewBlock has made the room already
        AddToDirectory(b);
}

void PopBlock(MemBlock *b) {
    if (b->pPrev)
        b->pPrev->pNext = b->pNext;
    else if (pMemB == b)
        pMemB = b->pNext;
    if (b->pNext)
        b->pNext->pPrev = b->pPrev;
    b->pNext = b->pPrev = nullptr;
    RemoveFromDirectory(b);
}

MemBlock *FindBlock(const void *p) {
    AreaRange a;
    return Locate(p, &a) ? a.pBlock : nullptr;
}

void FreeBlock(MemBlock *b) {
    if (!b)
        return;
    PopBlock(b);
    Unmap(b->pMemory, static_cast<size_t>(b->Size), b->HeapParts & MEM_HEAP_AREA);
    Unmap(b, sizeof(MemBlock), b->HeapParts & MEM_HEAP_HEADER);
}

bool TestMAT(const char *pos, char ch, int count) {
    if (!pos)
        return false;
    for (int j = 0; j < count; ++j) {
        if (pos[j] != ch)
            return false;
        if (pos[j] == '\0')  // the map ends here
            return j + 1 == count;
    }
    return true;
}

// ---- the public operations -----------------------------------------------------

void *GetMem(int size) {
    size_t rounded = RoundSize(size);
    if (!rounded)
        return nullptr;
    if (rounded > MEM_BLOCK_SIZE)
        return GetDedicated(rounded);
    int k = static_cast<int>(rounded / NODE);
    // First fit in list order; a block whose free nodes (or longest run) fall
    // short of k is passed over without a look at its map.
    for (int j = NextFit(0, k); j < Mem.Count; j = NextFit(j + 1, k)) {
        MemBlock *b = Mem.pBlocks[j];
        int i = FindRun(b, k);
        if (i >= 0)
            return AllocAt(b, i, k);
        UpdateFit(b);  // its runs are counted now: the longest is exact
    }
    MemBlock *b = GetNewBlock(MEM_BLOCK_SIZE);
    return b ? AllocAt(b, 0, k) : nullptr;
}

void PutMem(void *p) {
    AreaRange area;
    if (!Locate(p, &area))
        return;
    MemBlock *b = area.pBlock;
    int i = AllocationIndex(area, p);
    if (IsDedicatedArea(area)) {
        if (i == 0)
            FreeBlock(b);
        return;
    }
    if (i >= 0) {
        int nodes = AllocationNodes(b, i);
        SetStart(b, i, false);
        GiveNodes(b, i, nodes);
        b->MAT[i] = MATEntry{0, nullptr};  // last: its line is seldom in cache
    }
    if (b->FreeNodeCount == NODES)
        FreeBlock(b);
}

void *AdjustMem(void *p, int size) {
    if (size == 0) {
        PutMem(p);
        return nullptr;
    }
    if (size < 0)
        return nullptr;
    AreaRange area{};
    int i = Locate(p, &area) ? AllocationIndex(area, p) : -1;
    MemBlock *b = area.pBlock;
    if (i < 0)  // contents behind a pointer that starts no allocation are not copied
        return GetMem(size);
    size_t rounded = RoundSize(size);
    if (!rounded)
        return nullptr;
    if (!IsDedicated(b) && rounded <= MEM_BLOCK_SIZE)
        return AdjustShared(b, i, static_cast<int>(rounded / NODE), size);
    return AdjustLarge(b, i, rounded, size);
}

void DumpMem() {
    for (const MemBlock *b = pMemB; b; b = b->pNext) {
        if (IsDedicated(b))
            std::printf("\n============ Dedicated Block(%li) size(%li) FreeNodeCount(%i) "
                        "<==(%li) (%li)==>",
                        Addr(b->pMemory), static_cast<long>(b->Size), b->FreeNodeCount,
                        Addr(b->pPrev), Addr(b->pNext));
        else
            DumpShared(b);
    }
    std::fflush(stdout);
}
