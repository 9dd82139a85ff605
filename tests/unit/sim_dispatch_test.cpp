// The dispatch handler for every message kind, the traffic table it feeds, and its refusal of
// messages shorter than their records (each message is handed over in a buffer of exactly
// its stated size, so a sanitizer build catches any read beyond it).
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "net/blocks.h"
#include "sim/dispatch.h"
#include "sim/session.h"
#include "sim/traffic.h"
#include "sim_fake.h"

namespace {

std::vector<uint8_t> Filled(size_t size, uint8_t value) {
    return std::vector<uint8_t>(size, value);
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<uint8_t> ModelMsg(const char* text) {
    char record[32] = {};
    memcpy(record, text, strnlen(text, sizeof(record) - 1));
    return MsgData(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 5, 1, 1, record, sizeof(record));
}

std::vector<uint8_t> RecordMsg(SC_DWORD request, size_t size, uint8_t value) {
    std::vector<uint8_t> record = Filled(size, value);
    return MsgData(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, request, 1, 1, record.data(), size);
}

std::vector<uint8_t> Bytes(const Block& block, uint32_t from, uint32_t to) {
    std::vector<uint8_t> out(to - from);
    BlockSnapshot(block, from, out.data(), to - from);
    return out;
}

std::vector<TrafficSlot> Published() {
    std::vector<TrafficSlot> slots(TRAFFIC_SLOT_COUNT);
    BlockSnapshot(Block2, BLOCK2_TRAFFIC, slots.data(), BLOCK2_TRAFFIC_SIZE);
    return slots;
}

class DispatchTest : public SimTest {
  protected:
    // Delivers a message (cut to `size` bytes when given) and returns the console output.
    std::string Handle(std::vector<uint8_t> message, int64_t size = -1) {
        testing::internal::CaptureStdout();
        DeliverSized(message, static_cast<SC_DWORD>(size < 0 ? message.size() : size));
        return testing::internal::GetCapturedStdout();
    }
};

} // namespace

TEST_F(DispatchTest, EventsAndNotices) {
    hSimConnect.store(FakeHandle(1));
    const SC_DWORD EVENT = SIMCONNECT_RECV_ID_EVENT, FILENAME = SIMCONNECT_RECV_ID_EVENT_FILENAME;
    struct Case {
        std::vector<uint8_t> Msg;
        const char* Shown;
        int32_t FlightChanged;
    } cases[] = {
        {MsgException(3, 7, 2), "RECV_ID_EXCEPTION\n", 0},
        {MsgHeaderOnly(SIMCONNECT_RECV_ID_OPEN), "", 0},
        {MsgEvent(EVENT, 0, 0), "", 0}, // sim start: the input group goes on
        {MsgEvent(EVENT, 1, 0), "MESSAGE RECEIVED EVENT\n", 0},
        {MsgEvent(EVENT, 85, 10), "Event KEY RECEIVED. EVT: 10\n", 0},
        {MsgEvent(EVENT, 83, 1), "", 0}, // flight loaded as a plain event: nothing
        {MsgEvent(EVENT, 1000, 1), "", 0},
        {MsgEvent(FILENAME, 84, 0), "", 0},
        {MsgEvent(FILENAME, 85, 10), "Event KEY RECEIVED. EVT: 10\n", 0}, // as a plain event
        {MsgEvent(20, 85, 10), "", 0},                                    // unknown kind
        {MsgAddRemove(75, 2, 4711), "AI object added: Type=2, ObjectID=4711\n", 0},
        {MsgAddRemove(76, 2, 4711), "AI object removed: Type=2, ObjectID=4711\n", 0},
        {MsgAddRemove(77, 2, 4711), "", 0},
        {MsgEvent(FILENAME, 83, 0), "", 1},
        {MsgEvent(EVENT, 72, 0), "", 1},
    };
    for (const Case& c : cases) {
        BlockSetI32(Block2, BLOCK2_FLIGHT_CHANGED, 0);
        EXPECT_EQ(Handle(c.Msg), c.Shown);
        EXPECT_EQ(BlockGetI32(Block2, BLOCK2_FLIGHT_CHANGED), c.FlightChanged) << c.Shown;
    }
    EXPECT_EQ(Log(), "Log started.\nEXCEPTION=3  SendID=7  Index=2  cbData=24\n"
                     "SimConnect Open Event received\nSim start event.\n"
                     "Sim aircraft loaded event.\nSim flight loaded event.\n"
                     "Sim aircraft crash cvent\n");
    std::vector<FakeCall> calls = FakeSimCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].Args, (std::vector<uint32_t>{0, 1})); // SetInputGroupState
    EXPECT_EQ(calls[1].Args, (std::vector<uint32_t>{7, 6, 4711, 1, 0, 0, 0, 0}));

    EXPECT_EQ(Handle(MsgHeaderOnly(SIMCONNECT_RECV_ID_QUIT)), "Quit received\n");
    EXPECT_EQ(hSimConnect.load(), nullptr);
    EXPECT_TRUE(SimQuit.load());
}

TEST_F(DispatchTest, RecordsLandInTheirBlocksAndTheModelSetsTheAircraftType) {
    BlockSetI32(Block2, BLOCK_PAYLOAD + 236, 0x22222222);
    BlockSetI32(Block1, BLOCK1_AIRCRAFT_TYPE + 4, 0x11111111);
    BlockSetI32(Block3, 28, 0x33333333); // header word before the record
    Handle(RecordMsg(0, 400, 0xA3));     // longer: only the record's own bytes are used
    Handle(RecordMsg(2, 236, 0xA2));
    for (SC_DWORD request : {1u, 4u, 6u, 7u}) { // other requests change nothing
        Handle(RecordMsg(request, 368, 0xCC));
    }
    EXPECT_EQ(Bytes(Block3, 28, 400), Filled(4, 0x33) + Filled(368, 0xA3));
    EXPECT_EQ(Bytes(Block2, 32, 272), Filled(236, 0xA2) + Filled(4, 0x22));

    const std::pair<const char*, int32_t> models[] = {{"B738", 1}, {"A321", 2}, {"B7380", 0},
                                                      {"b738", 0}, {"", 0},     {"A321", 2}};
    for (const auto& [text, type] : models) {
        AircraftType = 7;
        Handle(ModelMsg(text));
        EXPECT_EQ(AircraftType, type) << text;
    }
    EXPECT_EQ(BlockGetI32(Block1, BLOCK1_AIRCRAFT_TYPE), 0); // not until a record arrives
    Handle(RecordMsg(3, 320, 0xA1));
    EXPECT_EQ(Bytes(Block1, 32, 352), Filled(320, 0xA1));
    EXPECT_EQ(BlockGetI32(Block1, BLOCK1_AIRCRAFT_TYPE), 2);
    EXPECT_EQ(BlockGetI32(Block1, 356), 0x11111111);

    FakeSimScript([](const FakeCall&) { return -1; }); // the text cannot be had
    Handle(ModelMsg("B738"));
    EXPECT_EQ(AircraftType, 2);
    EXPECT_EQ(FakeSimCallsOf("RetrieveString").back().Args[0], 72u); // the message size
}

TEST_F(DispatchTest, MessagesShorterThanTheirRecordsAreIgnored) {
    hSimConnect.store(FakeHandle(1));
    const std::pair<std::vector<uint8_t>, SC_DWORD> cases[] = {
        {RecordMsg(0, 368, 0x66), 40 + 367},
        {RecordMsg(2, 236, 0x66), 40 + 235},
        {RecordMsg(3, 320, 0x66), 40 + 319},
        {ModelMsg("A321"), 40 + 31},
        {MsgTraffic(6, 5, 1, 1.0, 2.0, 300.0), 40 + 23},
        {MsgException(1, 2, 3), 23},
        {MsgEvent(SIMCONNECT_RECV_ID_EVENT, 85, 10), 23},
        {MsgEvent(SIMCONNECT_RECV_ID_EVENT_FILENAME, 83, 0), 23},
        {MsgAddRemove(75, 2, 9), 27},
        {MsgCloud(4, {255, 255, 255, 255}), 19},
        {MsgHeaderOnly(SIMCONNECT_RECV_ID_QUIT), 11},
        {MsgHeaderOnly(SIMCONNECT_RECV_ID_QUIT), 0}};
    for (const auto& [msg, size] : cases) {
        EXPECT_EQ(Handle(msg, size), "") << size;
    }
    HandleSimMsgs(nullptr, 100, nullptr);
    EXPECT_EQ(Bytes(Block1, 32, 352), Filled(320, 0));
    EXPECT_EQ(Bytes(Block2, 32, 268), Filled(236, 0));
    EXPECT_EQ(Bytes(Block3, 32, 400), Filled(368, 0));
    EXPECT_EQ(AircraftType, 0);
    EXPECT_EQ(hSimConnect.load(), FakeHandle(1));
    EXPECT_TRUE(FakeSimCalls().empty());
    EXPECT_EQ(TrafficTable[0].ObjectId, 0u);
    EXPECT_EQ(Log(), "Log started.\n");
}

TEST_F(DispatchTest, CloudStatePrintsTheCellsItHolds) {
    std::vector<uint8_t> cells(4096, 0);
    cells[0] = 255; // each cell shows as a digit 0-9 of its density
    cells[1] = 25;
    cells[2] = 26;
    cells[64] = 128;
    std::string expected = "4096\n9010" + std::string(60, '0') + "\n5" + std::string(63, '0');
    for (int row = 2; row < 64; ++row) {
        expected += "\n" + std::string(64, '0');
    }
    EXPECT_EQ(Handle(MsgCloud(4096, cells)), expected + "\n\n");
    // A message that holds fewer cells than it claims prints only those it holds.
    EXPECT_EQ(Handle(MsgCloud(4096, std::vector<uint8_t>(66, 255))),
              "4096\n" + std::string(64, '9') + "\n99\n\n");
    EXPECT_EQ(Handle(MsgCloud(3, std::vector<uint8_t>(10, 128))), "3\n555\n\n");
}

TEST_F(DispatchTest, TrafficAnswersArePublishedAtTheFirstEntryOfTheNextAnswer) {
    // The very first answer publishes the empty table.
    BlockSetI32(Block2, BLOCK2_TRAFFIC + 24, 99);
    Handle(MsgTraffic(6, 1001, 1, 11.0, 21.0, 1001.0));
    EXPECT_EQ(Published()[1].ObjectId, 0u);
    for (uint32_t i = 2; i <= 25; ++i) {
        Handle(MsgTraffic(6, 1000 + i, i, 10.0 + i, 20.0 + i, 1000.0 + i));
    }
    Handle(MsgTraffic(6, 2001, 1, 1.0, 2.0, 300.0)); // next answer: the first 20 are shown
    std::vector<TrafficSlot> slots = Published();
    for (uint32_t k = 0; k < 20; ++k) {
        EXPECT_EQ(slots[k].ObjectId, 1001 + k);
        EXPECT_EQ(slots[k].Latitude, 10.0 + (k + 1));
        EXPECT_EQ(slots[k].Longitude, 20.0 + (k + 1));
        EXPECT_EQ(slots[k].AltitudeAboveGround, 1000.0 + (k + 1));
        EXPECT_EQ(slots[k].Reserved, 0u);
    }
    // That answer has 5 aircraft, the one after it 3: the 3 come first, then free slots,
    // of which slots 3 and 4 still carry the earlier coordinates.
    for (uint32_t i = 2; i <= 5; ++i) {
        Handle(MsgTraffic(6, 2000 + i, i, 1.0 * i, 2.0 * i, 300.0 * i));
    }
    for (uint32_t i = 1; i <= 3; ++i) {
        Handle(MsgTraffic(6, 3000 + i, i, 7.0, 8.0, 900.0));
    }
    Handle(MsgTraffic(6, 4001, 1, 0.0, 0.0, 900.0));
    slots = Published();
    EXPECT_EQ(slots[2].ObjectId, 3003u);
    for (uint32_t k = 3; k < 20; ++k) {
        EXPECT_EQ(slots[k].ObjectId, 0u) << k;
    }
    EXPECT_EQ(slots[3].Latitude, 4.0);
    EXPECT_EQ(slots[4].AltitudeAboveGround, 1500.0);
    // The lock is free again afterwards.
    EXPECT_EQ(Os.MutexWait(Block2Mutex), PLATFORM_WAIT_TAKEN);
    EXPECT_TRUE(Os.MutexRelease(Block2Mutex));
}

TEST_F(DispatchTest, TrafficFilterAndForeignRequests) {
    Handle(MsgTraffic(6, 1, 1, 1.0, 1.0, 5000.0)); // the user: publishes but is not listed
    Handle(MsgTraffic(6, 11, 2, 1.0, 1.0, 50.0));
    Handle(MsgTraffic(6, 12, 3, 1.0, 1.0, 50.1));
    Handle(MsgTraffic(6, 13, 4, 1.0, 1.0, std::nan("")));
    Handle(MsgTraffic(6, 14, 5, 1.0, 1.0, -10.0));
    Handle(MsgTraffic(5, 15, 6, 1.0, 1.0, 900.0)); // not the traffic request
    Handle(MsgTraffic(6, 16, 1, 1.0, 1.0, 10.0));  // next answer, itself filtered out
    EXPECT_EQ(Published()[0].ObjectId, 12u);
    EXPECT_EQ(Published()[1].ObjectId, 0u);
    EXPECT_EQ(TrafficTable[0].ObjectId, 0u);
    // A by-type answer under another request is not even a new answer.
    Handle(MsgTraffic(7, 17, 1, 1.0, 1.0, 900.0));
    EXPECT_EQ(Published()[0].ObjectId, 12u);
}
