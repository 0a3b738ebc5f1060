// MemMgr.h - the block allocator every module allocates through.
// GetMem(n) returns zeroed memory with room for n + 1 bytes, or null for n <= 0,
// for a size whose rounding would overflow, or when memory is exhausted (after
// "ERROR: Unable to allocate memory" on stderr). PutMem(p) releases an allocation
// by its start address (its bytes are not cleared); null, unknown and interior
// pointers are ignored.
// AdjustMem(p, n) resizes (grow after, grow before, move, in that order), zeroing
// growth; n == 0 releases p and returns null; when a new allocation cannot be had
// (or n is negative or too large) it returns null and p stays intact. A p that is
// not the start of an allocation is treated like one no block holds: the result is
// a fresh GetMem(n). DumpMem prints every block on stdout.
// Shared blocks are 64 KiB of 2048 nodes of 32 bytes; a rounded size above 65536
// gets a dedicated block. Empty blocks go back to the system at once.
// Not reentrant; single-threaded.
//
// Out of memory, one rule for every module: GetMem, AdjustMem and the functions
// whose contract says so (list nodes, listings, whole-file reads) return null and
// the caller decides; everything that cannot return null stops the program through
// OutOfMemory(): "\n<my_name>: Unable to allocate memory : <reason>" on stderr and
// status 1 (the saved-string builders, MemAllocator for standard containers, and
// operator new, whose handler this module installs). No exception for exhausted
// memory ever leaves a module, and the program never aborts for it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

constexpr int MEM_NODE_SIZE = 32;
constexpr int MEM_BLOCK_NODES = 2048;
constexpr int MEM_BLOCK_SIZE = MEM_NODE_SIZE * MEM_BLOCK_NODES;  // 65536

struct MATEntry {
    uint16_t Nodes;  // nodes of the allocation starting here, 0 when none
    void *pAddr;     // its address, null when none
};

// The free runs of 64 nodes: the run at the low end, the run at the high end (both
// 64 when all are free) and the longest run touching neither end.
struct MemWordRuns {
    uint8_t Low, High, Inner;
};

constexpr uint8_t MEM_HEAP_HEADER = 1;
constexpr uint8_t MEM_HEAP_AREA = 2;

struct MemBlock {
    MemBlock *pNext;
    MemBlock *pPrev;
    int32_t Size;           // bytes of the memory area
    int32_t UsedSize;       // dedicated block: rounded size of its allocation
    int32_t FreeNodeCount;  // free nodes (0 in a dedicated block)
    void *pMemory;          // start of the memory area
    MATEntry MAT[MEM_BLOCK_NODES];
    char NodeMap[MEM_BLOCK_NODES + 1];        // ' ' free, 'U' used
    uint64_t FreeBits[MEM_BLOCK_NODES / 64];  // bit i set: node i free, in step with NodeMap
    uint64_t StartBits[MEM_BLOCK_NODES / 64];  // bit i set: MAT[i] records an allocation
    // Search aids derived from FreeBits. While RunsCounted is set, RunCount[n] is
    // the number of runs of exactly n free nodes, MaxRunHint the longest run, no
    // run of k free nodes starts before SearchFrom[k - 1] (k up to 64), and
    // WordRuns[w] describes the runs of word w of FreeBits. Otherwise MaxRunHint
    // is an upper bound of the longest run and the rest is not kept.
    uint16_t RunCount[MEM_BLOCK_NODES + 1];
    int16_t SearchFrom[64];
    MemWordRuns WordRuns[MEM_BLOCK_NODES / 64];
    int32_t MaxRunHint;
    uint8_t RunsCounted;
    uint8_t HeapParts;  // MEM_HEAP_HEADER, MEM_HEAP_AREA: that part came from malloc
    int32_t ListPos;    // position in the list, 0 at pMemB; -1 when not listed
};

extern MemBlock *pMemB;           // head of the block list, in creation order
extern const char *const OutOfMem; // "Unable to allocate memory"

void *GetMem(int size);
[[noreturn]] void OutOfMemory();
void PutMem(void *p);
void *AdjustMem(void *p, int size);
void DumpMem();

// Internal operations, visible for tests.
// MapBlock maps (size / page size + 1) pages from /dev/zero, or takes them from
// malloc when /dev/zero cannot be opened (the open is tried again next time);
// *pFromHeap, when given, tells which. Null when no memory could be had.
void *MapBlock(size_t size, bool *pFromHeap = nullptr);
MemBlock *GetNewBlock(size_t size);
void PushBlock(MemBlock *b);
void PopBlock(MemBlock *b);
MemBlock *FindBlock(const void *p);
void FreeBlock(MemBlock *b);
bool TestMAT(const char *pos, char ch, int count);

// Test seams. When pMemOpenHook is set, /dev/zero is opened through it instead
// of open(2). MemCloseZero closes the kept descriptor so that the next mapping
// opens /dev/zero again.
extern int (*pMemOpenHook)(const char *path, int flags);
void MemCloseZero();

// Owner of a GetMem allocation: PutMem at the end of its scope (MemStr: a saved
// string; std::unique_ptr<T, MemFree>: a record).
struct MemFree {
    void operator()(void *p) const noexcept { PutMem(p); }
};
using MemStr = std::unique_ptr<char, MemFree>;

// Allocator for standard containers, so that they allocate through GetMem.
template <class T> struct MemAllocator {
    using value_type = T;
    MemAllocator() noexcept = default;
    template <class U> MemAllocator(const MemAllocator<U> &) noexcept {}
    T *allocate(size_t n) {
        if (n > static_cast<size_t>(INT32_MAX - 64) / sizeof(T))
            OutOfMemory();
        // a request for no elements still gets a distinct allocation
        void *p = GetMem(n ? static_cast<int>(n * sizeof(T)) : 1);
        if (!p)
            OutOfMemory();
        return static_cast<T *>(p);
    }
    void deallocate(T *p, size_t) noexcept { PutMem(p); }
    template <class U> bool operator==(const MemAllocator<U> &) const noexcept { return true; }
};
