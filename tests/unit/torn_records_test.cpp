// No torn records: while the library's dispatch hands records to the handler as fast as it
// can, the sender's snapshots and ChangeVar's current-value reads must each see one whole
// record. In the stand-in's generation mode every 32-bit word of a record carries the same
// generation number, so a snapshot that mixes two records shows two different numbers.
#include <atomic>
#include <chrono>
#include <cstring>
#include <vector>

#include "sim/dispatch.h"
#include "sim_standin.h"

namespace {

constexpr uint32_t DISPATCHES = 100; // each brings 50 records of every definition
constexpr uint32_t READER_COUNT = 2;
constexpr uint64_t READER_ITERATION_CAP = 2000000;
constexpr auto TIME_CAP = std::chrono::seconds(60);

struct Region {
    const Block* Source;
    uint32_t From, To; // record bytes of the block
};

const Region REGIONS[3] = {{&Block3, 32, 400}, {&Block2, 32, 268}, {&Block1, 32, 352}};

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

// `running` counts the readers that have made their first snapshot: the writer starts only
// then, so the reads overlap the writes however late a busy machine runs the readers.
void Reader(const std::atomic<bool>* done, std::atomic<uint32_t>* running, ReaderResult* result) {
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
        if (result->Iterations == 1) {
            running->fetch_add(1);
        }
    }
}

} // namespace

using TornRecordsTest = SimTest;

TEST_F(TornRecordsTest, RecordsAreNeverSeenHalfCopied) {
    Control({"generation 1"});
    ASSERT_EQ(Turn(), "Connected to Simulator\n");
    std::atomic<bool> done{false};
    std::atomic<uint32_t> running{0};
    ReaderResult results[READER_COUNT];
    TestThreads readers;
    for (uint32_t i = 0; i < READER_COUNT; ++i) {
        readers.Start([&done, &running, &results, i] { Reader(&done, &running, &results[i]); });
    }
    uint32_t dispatched = 0;
    TestThreads writer;
    writer.Start([&] {
        auto start = std::chrono::steady_clock::now();
        while (running.load() < READER_COUNT &&
               std::chrono::steady_clock::now() - start < TIME_CAP) {
            Os.SleepMs(1);
        }
        for (; dispatched < DISPATCHES && std::chrono::steady_clock::now() - start < TIME_CAP;
             ++dispatched) {
            SimApi.CallDispatch(hSimConnect.load(), HandleSimMsgs, nullptr);
        }
        done.store(true);
    });
    ASSERT_TRUE(writer.Join());
    ASSERT_TRUE(readers.Join());
    for (const ReaderResult& r : results) {
        EXPECT_GT(r.Iterations, 0u);
        EXPECT_EQ(r.Torn, 0u);
        EXPECT_EQ(r.WentBack, 0u);
    }
    EXPECT_GT(dispatched, 1u);
    // Once the writer is done, every record is whole, and a later one than the first.
    uint32_t snapshot[BLOCK_MAX_SIZE / 4];
    for (const Region& region : REGIONS) {
        BlockSnapshot(*region.Source, 0, snapshot, region.Source->Size);
        uint32_t value;
        EXPECT_TRUE(Uniform(snapshot, region.From, region.To, &value));
        EXPECT_GT(value, 150u);
    }
}
