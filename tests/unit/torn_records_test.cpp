// No torn records: while the dispatch handler copies records into the blocks as fast as it
// can, the sender's snapshots and ChangeVar's current-value reads must each see one whole
// record. Every 32-bit word of a record carries the same generation number, so a snapshot
// that mixes two records shows two different numbers.
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "net/blocks.h"
#include "sim/dispatch.h"
#include "sim_fake.h"

namespace {

constexpr uint32_t GENERATIONS = 10000;
constexpr uint32_t READER_COUNT = 2;
constexpr uint64_t READER_ITERATION_CAP = 2000000;
constexpr auto TIME_CAP = std::chrono::seconds(60);

struct Region {
    const Block* Source;
    uint32_t From, To; // record bytes of the block
};

const Region REGIONS[3] = {{&Block3, 32, 400}, {&Block2, 32, 268}, {&Block1, 32, 352}};

void SetGeneration(std::vector<uint8_t>& message, uint32_t generation) {
    for (size_t at = 40; at + 4 <= message.size(); at += 4) {
        memcpy(message.data() + at, &generation, 4);
    }
}

// True when all words of [from, to) in `snapshot` are equal; stores that value.
bool Uniform(const uint32_t* snapshot, uint32_t from, uint32_t to, uint32_t* value) {
    *value = snapshot[from / 4];
    for (uint32_t i = from / 4; i < to / 4; ++i) {
        if (snapshot[i] != *value) {
            return false;
        }
    }
    return true;
}

// A double whose two words differ was read while being written.
bool Torn(double value) {
    uint32_t words[2];
    memcpy(words, &value, sizeof(words));
    return words[0] != words[1];
}

struct ReaderResult {
    uint64_t Iterations = 0, Torn = 0, WentBack = 0;
};

void Reader(const std::atomic<bool>* done, ReaderResult* result) {
    auto start = std::chrono::steady_clock::now();
    uint32_t last[3] = {0, 0, 0};
    uint32_t snapshot[BLOCK_MAX_SIZE / 4];
    while (!done->load() && result->Iterations < READER_ITERATION_CAP &&
           std::chrono::steady_clock::now() - start < TIME_CAP) {
        ++result->Iterations;
        for (int r = 0; r < 3; ++r) {
            // The sender's copy: the whole block at once.
            BlockSnapshot(*REGIONS[r].Source, 0, snapshot, REGIONS[r].Source->Size);
            uint32_t value;
            if (!Uniform(snapshot, REGIONS[r].From, REGIONS[r].To, &value)) {
                ++result->Torn;
            } else if (value < last[r]) {
                ++result->WentBack;
            } else {
                last[r] = value;
            }
        }
        // ChangeVar's reads: doubles out of the newest records.
        result->Torn += Torn(BlockGetF64(Block3, BLOCK3_AP_HEADING_LOCK_DIR)) +
                        Torn(BlockGetF64(Block3, BLOCK3_AP_ALT_LOCK_VAR)) +
                        Torn(BlockGetF64(Block2, BLOCK2_NAV_OBS1));
        BlockGetI32(Block3, BLOCK3_ADF_ACTIVE1); // a single word: seen by the thread checker
    }
}

} // namespace

using TornRecordsTest = SimTest;

TEST_F(TornRecordsTest, RecordsAreNeverSeenHalfCopied) {
    std::vector<uint8_t> records[3];
    const uint32_t REQUEST[3] = {0, 2, 3}, SIZE[3] = {368, 236, 320}; // Block3, Block2, Block1
    for (int r = 0; r < 3; ++r) {
        std::vector<uint8_t> zeros(SIZE[r]);
        records[r] =
            MsgData(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, REQUEST[r], 1, 1, zeros.data(), SIZE[r]);
    }
    std::atomic<bool> done{false};
    ReaderResult results[READER_COUNT];
    std::vector<std::thread> readers;
    for (uint32_t i = 0; i < READER_COUNT; ++i) {
        readers.emplace_back(Reader, &done, &results[i]);
    }
    uint32_t lastWritten = 0;
    std::thread writer([&] {
        auto start = std::chrono::steady_clock::now();
        for (uint32_t g = 1;
             g <= GENERATIONS && std::chrono::steady_clock::now() - start < TIME_CAP; ++g) {
            for (std::vector<uint8_t>& m : records) {
                SetGeneration(m, g);
                HandleSimMsgs(reinterpret_cast<SIMCONNECT_RECV*>(m.data()),
                              static_cast<SC_DWORD>(m.size()), nullptr);
            }
            lastWritten = g;
        }
        done.store(true);
    });
    writer.join();
    for (std::thread& t : readers) {
        t.join();
    }
    for (const ReaderResult& r : results) {
        EXPECT_GT(r.Iterations, 0u);
        EXPECT_EQ(r.Torn, 0u);
        EXPECT_EQ(r.WentBack, 0u);
    }
    EXPECT_GT(lastWritten, 1u);
    // Once the writer is done, every record holds its last generation.
    uint32_t snapshot[BLOCK_MAX_SIZE / 4];
    for (const Region& region : REGIONS) {
        BlockSnapshot(*region.Source, 0, snapshot, region.Source->Size);
        uint32_t value;
        EXPECT_TRUE(Uniform(snapshot, region.From, region.To, &value));
        EXPECT_EQ(value, lastWritten);
    }
}
