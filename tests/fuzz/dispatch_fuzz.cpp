// Fuzz target: the dispatch handler fed any message that a library could deliver: any kind,
// request and event id, any size (also shorter than its kind's record). The message lies in
// a heap buffer of exactly its size, so no read past it goes unnoticed; the words of the
// blocks that the handler never writes hold canaries, so no write past a record does either.
//
// Input: the message size in the first two bytes (little-endian, below 8 KiB), then the
// message (bytes the input lacks are zero).
#include "fuzz_support.h"
#include "net/blocks.h"
#include "sim/dispatch.h"
#include "sim/events.h"
#include "sim/session.h"
#include "sim/traffic.h"

namespace {

constexpr uint32_t MAX_MESSAGE = 0x1FFF;
constexpr uint32_t CANARY = 0xC4A2C4A2u;

// Words that only the sender (headers) or the session (SimConnected) writes, and the bytes
// past each block's own size.
struct Guarded {
    Block* Target;
    uint32_t From, To; // byte range [From, To)
};
const Guarded GUARDED[] = {
    {&Block1, 0, BLOCK_PAYLOAD},
    {&Block1, BLOCK1_AIRCRAFT_TYPE + 4, BLOCK_MAX_SIZE},
    {&Block2, 0, BLOCK_PAYLOAD},
    {&Block2, BLOCK_PAYLOAD + BLOCK2_RECORD_SIZE, BLOCK2_TRAFFIC},
    {&Block2, BLOCK2_SIM_CONNECTED, BLOCK2_FLIGHT_CHANGED},
    {&Block3, 0, BLOCK_PAYLOAD},
    {&Block3, BLOCK3_SIZE, BLOCK_MAX_SIZE},
};

void CheckBlocks() {
    for (const Guarded& g : GUARDED) {
        for (uint32_t at = g.From; at < g.To; at += 4) {
            Require(BlockGetI32(*g.Target, at) == static_cast<int32_t>(CANARY));
        }
    }
    for (const Block* b : {&Block1, &Block2, &Block3}) {
        Require(b->Seq.load() % 2 == 0);
    }
    Require(Block1.Size == BLOCK1_SIZE && Block2.Size == BLOCK2_SIZE && Block3.Size == BLOCK3_SIZE);
}

bool IsAircraftCode(int32_t code) {
    if (code == AIRCRAFT_OTHER) {
        return true;
    }
    for (const AircraftModel& model : AIRCRAFT_MODELS) {
        if (model.Code == code) {
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FuzzSetUp();
    for (const Guarded& g : GUARDED) {
        for (uint32_t at = g.From; at < g.To; at += 4) {
            BlockSetI32(*g.Target, at, static_cast<int32_t>(CANARY));
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const uint32_t cbData = (data[0] | data[1] << 8) & MAX_MESSAGE;
    std::unique_ptr<uint8_t[]> message = ExactCopy(data + 2, size - 2, cbData);
    hSimConnect.store(FUZZ_HANDLE);
    SimQuit.store(false);
    const uint64_t inputStates = Library.InputStates, requests = Library.DataRequests;

    HandleSimMsgs(reinterpret_cast<SIMCONNECT_RECV*>(message.get()), cbData, nullptr);

    CheckBlocks();
    Require(IsAircraftCode(AircraftType) &&
            IsAircraftCode(BlockGetI32(Block1, BLOCK1_AIRCRAFT_TYPE)));
    // A quit drops the handle; nothing else touches the session.
    Require(SimQuit.load() == (hSimConnect.load() == nullptr));
    // Library calls: at most one, each the only one its message can ask for.
    Require(Library.InputStates - inputStates + Library.DataRequests - requests <= 1);
    if (Library.InputStates != inputStates) {
        const FuzzCall& c = Library.InputState;
        Require(c.Handle == FUZZ_HANDLE && c.A == INPUT_GROUP_JOYSTICK &&
                c.B == SIMCONNECT_STATE_ON);
    }
    if (Library.DataRequests != requests) {
        const FuzzCall& c = Library.DataRequest;
        Require(c.Handle == FUZZ_HANDLE && c.A == REQUEST_AI_OBJECT &&
                c.B == DEFINITION_AI_OBJECT &&
                c.D == static_cast<SC_DWORD>(SIMCONNECT_PERIOD_ONCE));
    }
    // The user's aircraft and aircraft on the ground are never listed.
    for (const TrafficSlot& slot : TrafficTable) {
        Require(slot.ObjectId == 0 ||
                (slot.ObjectId != 1 && slot.AltitudeAboveGround > TRAFFIC_MIN_ALTITUDE_FT));
    }
    return 0;
}
