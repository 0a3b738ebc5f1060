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

// The free runs of a block as (start, length), read from its node map.
std::vector<std::pair<int, int>> FreeRuns(const MemBlock *b) {
    std::vector<std::pair<int, int>> runs;
    for (int i = 0; i < NODES;) {
        if (b->NodeMap[i] != ' ') {
            ++i;
            continue;
        }
        int start = i;
        while (i < NODES && b->NodeMap[i] == ' ')
            ++i;
        runs.emplace_back(start, i - start);
    }
    return runs;
}

// The search aids agree with the runs: the longest run is never above the hint
// (and equal to it while runs are counted), the counts and word summaries are
// right, and no run of k nodes starts before the search bound of k.
void CheckSearchAids(const MemBlock *b) {
    std::vector<std::pair<int, int>> runs = FreeRuns(b);
    int longest = 0;
    std::vector<int> count(NODES + 1, 0);
    for (auto [start, len] : runs) {
        longest = std::max(longest, len);
        ++count[len];
    }
    ASSERT_LE(longest, b->MaxRunHint);
    if (!b->RunsCounted)
        return;
    ASSERT_EQ(longest, b->MaxRunHint);
    for (int n = 1; n <= NODES; ++n)
        ASSERT_EQ(count[n], b->RunCount[n]) << "runs of " << n;
    for (int w = 0; w < NODES / 64; ++w) {
        std::string word(b->NodeMap + 64 * w, 64);
        int low = static_cast<int>(std::min(word.find('U'), size_t{64}));
        int high = static_cast<int>(std::min(63 - word.rfind('U'), size_t{64}));
        int inner = 0;
        for (auto [start, len] : runs)
            if (start > 64 * w && start + len < 64 * (w + 1))
                inner = std::max(inner, len);
        ASSERT_EQ(low, b->WordRuns[w].Low) << "word " << w;
        ASSERT_EQ(high, b->WordRuns[w].High) << "word " << w;
        ASSERT_EQ(inner, b->WordRuns[w].Inner) << "word " << w;
    }
    for (int k = 1; k <= 64; ++k)
        for (auto [start, len] : runs)
            if (len >= k) {
                ASSERT_LE(b->SearchFrom[k - 1], start) << "bound of " << k;
                break;
            }
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
    ASSERT_NO_FATAL_FAILURE(CheckSearchAids(b));
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

// Mostly small sizes, some up to a few pages, a few near or above a block.
int MixedSize(std::mt19937 &rng) {
    int kind = std::uniform_int_distribution<int>(0, 99)(rng);
    if (kind < 70)
        return std::uniform_int_distribution<int>(1, 300)(rng);
    if (kind < 93)
        return std::uniform_int_distribution<int>(301, 6000)(rng);
    if (kind < 97)
        return std::uniform_int_distribution<int>(30000, 65535)(rng);
    return std::uniform_int_distribution<int>(65536, 200000)(rng);
}

int SmallSize(std::mt19937 &rng) { return std::uniform_int_distribution<int>(1, 700)(rng); }

struct Profile {
    int (*Size)(std::mt19937 &rng);
    size_t Live;        // the live set grows to about this, then hovers
    int AdjustPercent;  // share of the other steps that resize instead of release
    int CheckEvery;     // steps between comparisons of every block with the model
    int DeepEvery;      // steps between full invariant and contents checks
};

// Checks that fresh or grown bytes are zero, then fills the allocation.
void Fill(Live &l, int zeroFrom, std::mt19937 &rng) {
    ASSERT_EQ(-1, FirstOther(l.P, zeroFrom, static_cast<long>(Rounded(l.Size)), 0))
        << "a new or grown allocation is not zeroed";
    l.Fill = static_cast<unsigned char>(std::uniform_int_distribution<int>(1, 255)(rng));
    std::memset(l.P, l.Fill, static_cast<size_t>(l.Size) + 1);
}

// The address the model gives a place.
char *Expected(const Model &model, const Place &where) {
    return static_cast<char *>(RealBlocks()[model.Index(where.BlockId)]->pMemory) + 32 * where.Node;
}

void Resize(Model &model, Live &l, int size, std::mt19937 &rng) {
    char *q = static_cast<char *>(AdjustMem(l.P, size));
    ASSERT_NE(nullptr, q);
    bool moved = false;
    Place where = model.Adjust(l.Where, size, &moved);
    ASSERT_EQ(Expected(model, where), q);
    ASSERT_EQ(-1, FirstOther(q, 0, std::min(l.Size, size) + 1L, l.Fill)) << "contents lost";
    // bytes past the request but inside its last node are the caller's; growth is
    // zeroed from the old allocation's end
    int zeroFrom = static_cast<int>(std::min(Rounded(l.Size), Rounded(size)));
    l = Live{q, size, l.Fill, where};
    ASSERT_NO_FATAL_FAILURE(Fill(l, zeroFrom, rng));
}

void RunSequence(unsigned seed, int steps, const Profile &p) {
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    Model model;
    std::vector<Live> live;
    for (int step = 0; step < steps; ++step) {
        SCOPED_TRACE(testing::Message() << "step " << step);
        int op = std::uniform_int_distribution<int>(0, 99)(rng);
        if (live.empty() || op < (live.size() < p.Live ? 60 : 35)) {
            Live l{nullptr, p.Size(rng), 0, {}};
            l.P = static_cast<char *>(GetMem(l.Size));
            l.Where = model.Get(l.Size);
            ASSERT_EQ(Expected(model, l.Where), l.P) << "GetMem(" << l.Size << ")";
            ASSERT_NO_FATAL_FAILURE(Fill(l, 0, rng));
            live.push_back(l);
        } else {
            size_t pick = std::uniform_int_distribution<size_t>(0, live.size() - 1)(rng);
            Live &l = live[pick];
            if (op >= 100 - p.AdjustPercent) {
                ASSERT_NO_FATAL_FAILURE(Resize(model, l, p.Size(rng), rng));
            } else {
                if (op % 7 == 0)  // now and then an interior pointer first, which is ignored
                    PutMem(l.P + (Rounded(l.Size) > 32 ? 32 : 1));
                PutMem(l.P);
                model.Put(l.Where);
                live[pick] = live.back();
                live.pop_back();
            }
        }
        if (step % p.CheckEvery == 0) {
            ASSERT_NO_FATAL_FAILURE(CheckAll(model, live, step % p.DeepEvery == 0));
        }
    }
    ASSERT_NO_FATAL_FAILURE(CheckAll(model, live));
    for (Live &l : live)
        PutMem(l.P);
    EXPECT_EQ(nullptr, pMemB);
}

// Starts with no block and leaves none behind, even after a failure.
class MemModel : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(nullptr, pMemB); }
    void TearDown() override {
        while (pMemB)
            FreeBlock(pMemB);
    }
};

TEST_F(MemModel, RandomSequencesMatchTheModelAndKeepEveryInvariant) {
    for (unsigned seed = 1; seed <= 8; ++seed) {
        RunSequence(seed, 1500, Profile{MixedSize, 150, 40, 1, 16});
        if (HasFatalFailure())
            break;
    }
}

// Thousands of small allocations over many blocks: first fit across blocks and
// within fragmented maps.
TEST_F(MemModel, FragmentedBlocksMatchTheModel) {
    RunSequence(99, 15000, Profile{SmallSize, 3000, 10, 50, 500});
}

}  // namespace
