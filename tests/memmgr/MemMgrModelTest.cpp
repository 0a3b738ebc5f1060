// Random sequences of GetMem, PutMem and AdjustMem checked against a plain model
// of the blocks (one character per node, first fit found with a substring search)
// and against the invariants of every block after every step.
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "MemMgr.h"

namespace {

constexpr int NODES = MEM_BLOCK_NODES;
constexpr size_t AREA = MEM_BLOCK_SIZE;

struct ModelBlock {
    int Id;
    bool Dedicated;
    size_t Size;
    size_t Used;      // dedicated: rounded size of its allocation
    std::string Map;  // shared: ' ' free, 'U' used
};

// Where the model puts an allocation.
struct Place {
    int BlockId;
    int Node;
    int Nodes;  // shared only
};

size_t Rounded(int n) { return (static_cast<size_t>(n) + 32) / 32 * 32; }

class Model {
public:
    std::vector<ModelBlock> Blocks;

    Place Get(int n) {
        size_t r = Rounded(n);
        if (r > AREA) {
            Blocks.push_back({nextId_++, true, (r + AREA - 1) / AREA * AREA, r, ""});
            return {Blocks.back().Id, 0, 0};
        }
        int k = static_cast<int>(r / 32);
        std::string run(k, ' ');
        for (ModelBlock &b : Blocks) {
            if (b.Dedicated || Free(b) < k)
                continue;
            size_t at = b.Map.find(run);
            if (at != std::string::npos) {
                b.Map.replace(at, k, k, 'U');
                return {b.Id, static_cast<int>(at), k};
            }
        }
        Blocks.push_back({nextId_++, false, AREA, 0, std::string(k, 'U') + std::string(NODES - k, ' ')});
        return {Blocks.back().Id, 0, k};
    }

    void Put(const Place &pl) {
        size_t i = Index(pl.BlockId);
        ModelBlock &b = Blocks[i];
        if (!b.Dedicated)
            b.Map.replace(pl.Node, pl.Nodes, pl.Nodes, ' ');
        if (b.Dedicated || b.Map.find('U') == std::string::npos)
            Blocks.erase(Blocks.begin() + static_cast<long>(i));
    }

    // The resized place; moved tells whether a new allocation was made.
    Place Adjust(const Place &pl, int n, bool *moved) {
        *moved = false;
        ModelBlock &b = Blocks[Index(pl.BlockId)];
        size_t r = Rounded(n);
        if (!b.Dedicated && r <= AREA) {
            int nodes = static_cast<int>(r / 32), old = pl.Nodes, i = pl.Node, d = nodes - old;
            if (d <= 0) {
                b.Map.replace(i + nodes, -d, -d, ' ');
                return {pl.BlockId, i, nodes};
            }
            if (i + old + d <= NODES && b.Map.compare(i + old, d, std::string(d, ' ')) == 0) {
                b.Map.replace(i + old, d, d, 'U');
                return {pl.BlockId, i, nodes};
            }
            if (i >= d && b.Map.compare(i - d, d, std::string(d, ' ')) == 0) {
                b.Map.replace(i - d, d, d, 'U');
                return {pl.BlockId, i - d, nodes};
            }
        } else if (b.Dedicated && r <= b.Size) {
            b.Used = r;
            return pl;
        }
        *moved = true;
        Place q = Get(n);
        Put(pl);
        return q;
    }

    size_t Index(int id) const {
        for (size_t i = 0; i < Blocks.size(); ++i)
            if (Blocks[i].Id == id)
                return i;
        ADD_FAILURE() << "model block " << id << " missing";
        return 0;
    }

private:
    int nextId_ = 0;
    static int Free(const ModelBlock &b) {
        return static_cast<int>(std::count(b.Map.begin(), b.Map.end(), ' '));
    }
};

struct Live {
    char *P;
    int Size;
    unsigned char Fill;
    Place Where;
};

std::vector<MemBlock *> RealBlocks() {
    std::vector<MemBlock *> v;
    for (MemBlock *b = pMemB; b; b = b->pNext)
        v.push_back(b);
    return v;
}

// First byte of p[from, to) that differs from c, or -1.
long FirstOther(const char *p, long from, long to, unsigned char c) {
    for (long j = from; j < to; ++j)
        if (static_cast<unsigned char>(p[j]) != c)
            return j;
    return -1;
}

// The first node where the bit map and the node map disagree, or -1.
int MapsDisagree(const MemBlock *b) {
    for (int i = 0; i < NODES; ++i) {
        bool freeBit = (b->FreeBits[i / 64] >> (i % 64)) & 1;
        if (b->NodeMap[i] != (freeBit ? ' ' : 'U'))
            return i;
    }
    return -1;
}

// The first node whose MAT entry or map character breaks the rules, or -1; used
// receives the nodes the MAT accounts for.
int MatBroken(const MemBlock *b, int *used) {
    *used = 0;
    for (int i = 0; i < NODES;) {
        const MATEntry &e = b->MAT[i];
        if (e.Nodes == 0) {
            if (e.pAddr || b->NodeMap[i] != ' ')
                return i;
            ++i;
            continue;
        }
        if (e.pAddr != static_cast<char *>(b->pMemory) + 32 * i || i + e.Nodes > NODES)
            return i;
        for (int j = i; j < i + e.Nodes; ++j)
            if (b->NodeMap[j] != 'U' || (j > i && (b->MAT[j].Nodes || b->MAT[j].pAddr)))
                return j;
        *used += e.Nodes;
        i += e.Nodes;
    }
    return -1;
}

// The invariants every block keeps, whatever was done before.
void CheckBlock(const MemBlock *b) {
    ASSERT_EQ('\0', b->NodeMap[NODES]);
    ASSERT_EQ(-1, MapsDisagree(b)) << "bit map and node map disagree";
    int blanks = static_cast<int>(std::count(b->NodeMap, b->NodeMap + NODES, ' '));
    ASSERT_EQ(blanks, b->FreeNodeCount);
    if (b->Size > MEM_BLOCK_SIZE) {
        ASSERT_EQ(0, blanks);
        for (const MATEntry &e : b->MAT)
            ASSERT_TRUE(e.Nodes == 0 && e.pAddr == nullptr);
        ASSERT_EQ(0, b->Size % MEM_BLOCK_SIZE);
        ASSERT_LE(b->UsedSize, b->Size);
        return;
    }
    ASSERT_EQ(MEM_BLOCK_SIZE, b->Size);
    int used = 0;
    ASSERT_EQ(-1, MatBroken(b, &used)) << "MAT and node map disagree";
    ASSERT_EQ(NODES - blanks, used);
    ASSERT_GT(used, 0) << "an empty block was kept";
}

// Checks the blocks against the model and where each live allocation is; when
// deep, also every block's invariants and that no allocation was overwritten.
void CheckAll(const Model &model, const std::vector<Live> &live, bool deep = true) {
    std::vector<MemBlock *> real = RealBlocks();
    ASSERT_EQ(model.Blocks.size(), real.size());
    for (size_t i = 0; i < real.size(); ++i) {
        ASSERT_EQ(i ? real[i - 1] : nullptr, real[i]->pPrev);
        if (deep) {
            ASSERT_NO_FATAL_FAILURE(CheckBlock(real[i]));
        }
        const ModelBlock &m = model.Blocks[i];
        ASSERT_EQ(m.Dedicated, real[i]->Size > MEM_BLOCK_SIZE) << "block " << i;
        ASSERT_EQ(m.Size, static_cast<size_t>(real[i]->Size)) << "block " << i;
        if (m.Dedicated)
            ASSERT_EQ(m.Used, static_cast<size_t>(real[i]->UsedSize)) << "block " << i;
        else
            ASSERT_EQ(m.Map, std::string(real[i]->NodeMap)) << "block " << i;
    }
    for (const Live &l : live) {
        size_t want = model.Index(l.Where.BlockId);
        ASSERT_EQ(real[want], FindBlock(l.P));
        ASSERT_EQ(static_cast<char *>(real[want]->pMemory) + 32 * l.Where.Node, l.P);
        if (deep) {
            ASSERT_EQ(-1, FirstOther(l.P, 0, l.Size + 1L, l.Fill)) << "an allocation was overwritten";
        }
    }
}

int RandomSize(std::mt19937 &rng) {
    int kind = std::uniform_int_distribution<int>(0, 99)(rng);
    if (kind < 70)
        return std::uniform_int_distribution<int>(1, 300)(rng);
    if (kind < 93)
        return std::uniform_int_distribution<int>(301, 6000)(rng);
    if (kind < 97)
        return std::uniform_int_distribution<int>(30000, 65535)(rng);
    return std::uniform_int_distribution<int>(65536, 200000)(rng);
}

// Checks that fresh or grown bytes are zero, then fills the allocation.
void Fill(Live &l, int zeroFrom, std::mt19937 &rng) {
    ASSERT_EQ(-1, FirstOther(l.P, zeroFrom, static_cast<long>(Rounded(l.Size)), 0))
        << "a new or grown allocation is not zeroed";
    l.Fill = static_cast<unsigned char>(std::uniform_int_distribution<int>(1, 255)(rng));
    std::memset(l.P, l.Fill, static_cast<size_t>(l.Size) + 1);
}

void RunSequence(unsigned seed, int steps) {
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    Model model;
    std::vector<Live> live;
    std::string lastOp;
    for (int step = 0; step < steps; ++step) {
        SCOPED_TRACE(testing::Message() << "step " << step);
        int op = std::uniform_int_distribution<int>(0, 99)(rng);
        // allocation grows the live set up to about a hundred, then it hovers
        bool grow = live.empty() || (op < 45 && live.size() < 150) || (op < 30);
        if (grow) {
            Live l{nullptr, RandomSize(rng), 0, {}};
            l.P = static_cast<char *>(GetMem(l.Size));
            ASSERT_NE(nullptr, l.P);
            l.Where = model.Get(l.Size);
            ASSERT_NO_FATAL_FAILURE(Fill(l, 0, rng));
            live.push_back(l);
            lastOp = "GetMem(" + std::to_string(l.Size) + ")";
        } else {
            size_t pick = std::uniform_int_distribution<size_t>(0, live.size() - 1)(rng);
            Live &l = live[pick];
            if (op < 70) {
                if (op % 7 == 0)  // now and then an interior pointer first, which is ignored
                    PutMem(l.P + (Rounded(l.Size) > 32 ? 32 : 1));
                PutMem(l.P);
                model.Put(l.Where);
                lastOp = "PutMem(node " + std::to_string(l.Where.Node) + ")";
                live.erase(live.begin() + static_cast<long>(pick));
            } else {
                int size = RandomSize(rng);
                lastOp = "AdjustMem(node " + std::to_string(l.Where.Node) + " size " +
                         std::to_string(l.Size) + ", " + std::to_string(size) + ")";
                char *q = static_cast<char *>(AdjustMem(l.P, size));
                ASSERT_NE(nullptr, q);
                bool moved = false;
                Place where = model.Adjust(l.Where, size, &moved);
                int kept = std::min(l.Size, size);
                ASSERT_EQ(-1, FirstOther(q, 0, kept + 1L, l.Fill)) << "contents lost";
                int oldSize = l.Size;
                l.P = q;
                l.Size = size;
                l.Where = where;
                // bytes past the request but inside its last node are the caller's;
                // growth is zeroed from the old allocation's end
                int zeroFrom = static_cast<int>(std::min(Rounded(oldSize), Rounded(size)));
                ASSERT_NO_FATAL_FAILURE(Fill(l, zeroFrom, rng));
                (void)moved;
            }
        }
        ASSERT_NO_FATAL_FAILURE(CheckAll(model, live, step % 16 == 0)) << lastOp;
    }
    ASSERT_NO_FATAL_FAILURE(CheckAll(model, live));
    for (Live &l : live)
        PutMem(l.P);
    EXPECT_EQ(nullptr, pMemB);
}

TEST(MemModel, RandomSequencesMatchTheModelAndKeepEveryInvariant) {
    ASSERT_EQ(nullptr, pMemB);
    for (unsigned seed = 1; seed <= 8; ++seed) {
        RunSequence(seed, 1500);
        if (HasFatalFailure())
            break;
    }
    while (pMemB)
        FreeBlock(pMemB);
}

// Many small allocations over several blocks: first fit across blocks and
// within fragmented maps.
TEST(MemModel, FragmentedBlocksMatchTheModel) {
    ASSERT_EQ(nullptr, pMemB);
    std::mt19937 rng(99);
    Model model;
    std::vector<Live> live;
    for (int step = 0; step < 20000; ++step) {
        bool grow = live.size() < 3000 && (live.size() < 1500 || rng() % 2);
        if (grow) {
            Live l{nullptr, std::uniform_int_distribution<int>(1, 700)(rng), 0, {}};
            l.P = static_cast<char *>(GetMem(l.Size));
            ASSERT_NE(nullptr, l.P);
            l.Where = model.Get(l.Size);
            ASSERT_EQ(static_cast<char *>(RealBlocks()[model.Index(l.Where.BlockId)]->pMemory) +
                          32 * l.Where.Node,
                      l.P)
                << "step " << step;
            live.push_back(l);
        } else {
            size_t pick = std::uniform_int_distribution<size_t>(0, live.size() - 1)(rng);
            PutMem(live[pick].P);
            model.Put(live[pick].Where);
            live[pick] = live.back();
            live.pop_back();
        }
        if (step % 500 == 0) {
            ASSERT_NO_FATAL_FAILURE(CheckAll(model, {})) << "step " << step;
        }
    }
    ASSERT_NO_FATAL_FAILURE(CheckAll(model, {}));
    for (Live &l : live)
        PutMem(l.P);
    EXPECT_EQ(nullptr, pMemB);
    while (pMemB)
        FreeBlock(pMemB);
}

}  // namespace
