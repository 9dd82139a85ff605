// The outgoing blocks and their lock-free, tear-free access (see net/blocks.h).
#include "net/blocks.h"

#include <cstring>
#include <thread>

Block Block1{{}, {0}, BLOCK1_SIZE, 1};
Block Block2{{}, {0}, BLOCK2_SIZE, 2};
Block Block3{{}, {0}, BLOCK3_SIZE, 3};

namespace {

// A reader that finds a region being written spins briefly, then yields to the writer.
constexpr int SPINS_BEFORE_YIELD = 64;

uint32_t LoadWord(const Block& block, uint32_t index) {
    return std::atomic_ref<uint32_t>(const_cast<uint32_t&>(block.Words[index]))
        .load(std::memory_order_relaxed);
}

void StoreWord(Block& block, uint32_t index, uint32_t value) {
    std::atomic_ref<uint32_t>(block.Words[index]).store(value, std::memory_order_relaxed);
}

} // namespace

void BlockPublish(Block& block, uint32_t offset, const void* data, uint32_t size) {
    const auto* src = static_cast<const uint8_t*>(data);
    // Odd: a write is in progress. Each word is a release store: a reader whose acquire load
    // sees it also sees the odd counter, and retries. The last store makes it even again.
    uint32_t seq = block.Seq.load(std::memory_order_relaxed);
    block.Seq.store(seq + 1, std::memory_order_relaxed);
    for (uint32_t i = 0; i < size / 4; ++i) {
        uint32_t word;
        memcpy(&word, src + 4 * i, 4);
        std::atomic_ref<uint32_t>(block.Words[offset / 4 + i])
            .store(word, std::memory_order_release);
    }
    block.Seq.store(seq + 2, std::memory_order_release);
}

void BlockSnapshot(const Block& block, uint32_t offset, void* out, uint32_t size) {
    auto* dst = static_cast<uint8_t*>(out);
    for (int attempt = 0;; ++attempt) {
        uint32_t before = block.Seq.load(std::memory_order_acquire);
        if ((before & 1u) == 0) {
            // Acquire loads: the second look at the counter cannot move ahead of them.
            for (uint32_t i = 0; i < size / 4; ++i) {
                uint32_t word =
                    std::atomic_ref<uint32_t>(const_cast<uint32_t&>(block.Words[offset / 4 + i]))
                        .load(std::memory_order_acquire);
                memcpy(dst + 4 * i, &word, 4);
            }
            if (block.Seq.load(std::memory_order_relaxed) == before) {
                return;
            }
        }
        if (attempt >= SPINS_BEFORE_YIELD) {
            std::this_thread::yield();
        }
    }
}

void BlockSetI32(Block& block, uint32_t offset, int32_t value) {
    StoreWord(block, offset / 4, static_cast<uint32_t>(value));
}

int32_t BlockGetI32(const Block& block, uint32_t offset) {
    return static_cast<int32_t>(LoadWord(block, offset / 4));
}

double BlockGetF64(const Block& block, uint32_t offset) {
    double value;
    BlockSnapshot(block, offset, &value, sizeof(value));
    return value;
}

void BlocksResetForTest() {
    for (Block* block : {&Block1, &Block2, &Block3}) {
        for (uint32_t i = 0; i < BLOCK_MAX_SIZE / 4; ++i) {
            StoreWord(*block, i, 0);
        }
        block->Seq.store(0);
    }
}
