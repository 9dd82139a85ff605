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
    std::string Handle(std::vector<uint8_t> message) {
        testing::internal::CaptureStdout();
        Deliver(std::move(message));
        return testing::internal::GetCapturedStdout();
    }
    std::string HandleSized(std::vector<uint8_t> message, SC_DWORD size) {
        testing::internal::CaptureStdout();
        DeliverSized(std::move(message), size);
        return testing::internal::GetCapturedStdout();
    }
};

} // namespace

TEST_F(DispatchTest, ExceptionOpenAndQuit) {
    EXPECT_EQ(Handle(MsgException(3, 7, 2)), "RECV_ID_EXCEPTION\n");
    EXPECT_EQ(Handle(MsgHeaderOnly(SIMCONNECT_RECV_ID_OPEN)), "");
    EXPECT_EQ(Log(), "Log started.\nEXCEPTION=3  SendID=7  Index=2  cbData=24\n"
                     "SimConnect Open Event received\n");

    hSimConnect.store(FakeHandle(1));
    EXPECT_EQ(Handle(MsgHeaderOnly(SIMCONNECT_RECV_ID_QUIT)), "Quit received\n");
    EXPECT_EQ(hSimConnect.load(), nullptr);
    EXPECT_TRUE(SimQuit.load());
    EXPECT_TRUE(FakeSimCalls().empty());
}

TEST_F(DispatchTest, SystemAndClientEvents) {
    hSimConnect.store(FakeHandle(1));
    EXPECT_EQ(Handle(MsgEvent(SIMCONNECT_RECV_ID_EVENT, 0, 0)), "");
    ASSERT_EQ(FakeSimCallsOf("SetInputGroupState").size(), 1u);
    EXPECT_EQ(FakeSimCallsOf("SetInputGroupState")[0].Args, (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(Handle(MsgEvent(SIMCONNECT_RECV_ID_EVENT, 1, 0)), "MESSAGE RECEIVED EVENT\n");
    EXPECT_EQ(Handle(MsgEvent(SIMCONNECT_RECV_ID_EVENT, 85, 10)), "Event KEY RECEIVED. EVT: 10\n");
    // A flight-loaded id as a plain event, and ids without a meaning, do nothing.
    for (SC_DWORD id : {83u, 84u, 2u, 75u, 1000u}) {
        EXPECT_EQ(Handle(MsgEvent(SIMCONNECT_RECV_ID_EVENT, id, 1)), "") << id;
    }
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_FLIGHT_CHANGED), 0);
    EXPECT_EQ(Handle(MsgEvent(SIMCONNECT_RECV_ID_EVENT, 72, 0)), "");
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_FLIGHT_CHANGED), 1);
    EXPECT_EQ(Log(), "Log started.\nSim start event.\nSim aircraft crash cvent\n");
    EXPECT_EQ(FakeSimCalls().size(), 1u);
}

TEST_F(DispatchTest, FileNameEvents) {
    EXPECT_EQ(Handle(MsgEvent(SIMCONNECT_RECV_ID_EVENT_FILENAME, 84, 0)), "");
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_FLIGHT_CHANGED), 0);
    EXPECT_EQ(Handle(MsgEvent(SIMCONNECT_RECV_ID_EVENT_FILENAME, 83, 0)), "");
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_FLIGHT_CHANGED), 1);
    // Other ids are handled as plain events.
    EXPECT_EQ(Handle(MsgEvent(SIMCONNECT_RECV_ID_EVENT_FILENAME, 0, 0)), "");
    EXPECT_EQ(FakeSimCallsOf("SetInputGroupState").size(), 1u);
    EXPECT_EQ(Handle(MsgEvent(SIMCONNECT_RECV_ID_EVENT_FILENAME, 85, 10)),
              "Event KEY RECEIVED. EVT: 10\n");
    EXPECT_EQ(Log(), "Log started.\nSim aircraft loaded event.\nSim flight loaded event.\n"
                     "Sim start event.\n");
}

TEST_F(DispatchTest, ObjectsAddedAndRemoved) {
    EXPECT_EQ(Handle(MsgAddRemove(75, 2, 4711)), "AI object added: Type=2, ObjectID=4711\n");
    std::vector<FakeCall> requests = FakeSimCallsOf("RequestDataOnSimObject");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Args, (std::vector<uint32_t>{7, 6, 4711, 1, 0, 0, 0, 0}));
    EXPECT_EQ(Handle(MsgAddRemove(75, 3, 12)), "AI object added: Type=3, ObjectID=12\n");
    EXPECT_EQ(Handle(MsgAddRemove(76, 2, 4711)), "AI object removed: Type=2, ObjectID=4711\n");
    EXPECT_EQ(Handle(MsgAddRemove(77, 2, 4711)), "");
    EXPECT_EQ(FakeSimCalls().size(), 1u);
}

TEST_F(DispatchTest, RecordsLandInTheirBlocksAndNothingElseIsTouched) {
    BlockSetI32(Block2, BLOCK_PAYLOAD + 236, 0x22222222);
    BlockSetI32(Block1, BLOCK1_AIRCRAFT_TYPE + 4, 0x11111111);
    BlockSetI32(Block3, 28, 0x33333333); // header word before the record
    Handle(RecordMsg(0, 368, 0xA3));
    Handle(RecordMsg(2, 236, 0xA2));
    AircraftType = 2;
    Handle(RecordMsg(3, 320, 0xA1));
    EXPECT_EQ(Bytes(Block3, 32, 400), Filled(368, 0xA3));
    EXPECT_EQ(BlockGetI32(Block3, 28), 0x33333333);
    EXPECT_EQ(Bytes(Block2, 32, 268), Filled(236, 0xA2));
    EXPECT_EQ(BlockGetI32(Block2, 268), 0x22222222);
    EXPECT_EQ(Bytes(Block1, 32, 352), Filled(320, 0xA1));
    EXPECT_EQ(BlockGetI32(Block1, BLOCK1_AIRCRAFT_TYPE), 2);
    EXPECT_EQ(BlockGetI32(Block1, 356), 0x11111111);
    // Longer messages: only the record's own bytes are used.
    Handle(RecordMsg(0, 400, 0xB3));
    EXPECT_EQ(Bytes(Block3, 32, 400), Filled(368, 0xB3));
    // Other requests change nothing.
    for (SC_DWORD request : {1u, 4u, 6u, 7u}) {
        Handle(RecordMsg(request, 368, 0xCC));
    }
    EXPECT_EQ(Bytes(Block3, 32, 400), Filled(368, 0xB3));
    EXPECT_EQ(Bytes(Block2, 32, 268), Filled(236, 0xA2));
    EXPECT_TRUE(FakeSimCalls().empty());
}

TEST_F(DispatchTest, TheModelTextSetsTheAircraftTypeForTheNextBlock1Record) {
    const std::pair<const char*, int32_t> cases[] = {
        {"B738", 1}, {"A321", 2}, {"B7380", 0}, {"b738", 0}, {"A3210", 0}, {"", 0}, {"A321", 2}};
    for (const auto& c : cases) {
        AircraftType = 7;
        Handle(ModelMsg(c.first));
        EXPECT_EQ(AircraftType, c.second) << c.first;
    }
    EXPECT_EQ(BlockGetI32(Block1, BLOCK1_AIRCRAFT_TYPE), 0); // not until a record arrives
    Handle(RecordMsg(3, 320, 0));
    EXPECT_EQ(BlockGetI32(Block1, BLOCK1_AIRCRAFT_TYPE), 2);

    FakeSimScript([](const FakeCall&) { return -1; });
    Handle(ModelMsg("B738"));
    EXPECT_EQ(AircraftType, 2);
    ASSERT_FALSE(FakeSimCallsOf("RetrieveString").empty());
    EXPECT_EQ(FakeSimCallsOf("RetrieveString").back().Args[0], 72u); // the message size
}

TEST_F(DispatchTest, MessagesShorterThanTheirRecordsAreIgnored) {
    hSimConnect.store(FakeHandle(1));
    Handle(RecordMsg(0, 368, 0x55));
    BlockSetI32(Block2, BLOCK2_FLIGHT_CHANGED, 0);
    std::string console;
    console += HandleSized(RecordMsg(0, 368, 0x66), 40 + 367);
    console += HandleSized(RecordMsg(2, 236, 0x66), 40 + 235);
    console += HandleSized(RecordMsg(3, 320, 0x66), 40 + 319);
    console += HandleSized(ModelMsg("A321"), 40 + 31);
    console += HandleSized(MsgTraffic(6, 5, 1, 1.0, 2.0, 300.0), 40 + 23);
    console += HandleSized(MsgException(1, 2, 3), 23);
    console += HandleSized(MsgEvent(SIMCONNECT_RECV_ID_EVENT, 85, 10), 23);
    console += HandleSized(MsgEvent(SIMCONNECT_RECV_ID_EVENT_FILENAME, 83, 0), 23);
    console += HandleSized(MsgAddRemove(75, 2, 9), 27);
    console += HandleSized(MsgCloud(4, {255, 255, 255, 255}), 19);
    console += HandleSized(MsgHeaderOnly(SIMCONNECT_RECV_ID_QUIT), 11);
    console += HandleSized(MsgHeaderOnly(SIMCONNECT_RECV_ID_QUIT), 0);
    HandleSimMsgs(nullptr, 100, nullptr);
    EXPECT_EQ(console, "");
    EXPECT_EQ(Bytes(Block3, 32, 400), Filled(368, 0x55));
    EXPECT_EQ(Bytes(Block2, 32, 268), Filled(236, 0));
    EXPECT_EQ(Bytes(Block1, 32, 352), Filled(320, 0));
    EXPECT_EQ(AircraftType, 0);
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_FLIGHT_CHANGED), 0);
    EXPECT_EQ(hSimConnect.load(), FakeHandle(1));
    EXPECT_TRUE(FakeSimCalls().empty());
    EXPECT_EQ(TrafficTable[0].ObjectId, 0u);
    EXPECT_EQ(Log(), "Log started.\n");
}

TEST_F(DispatchTest, UnknownMessageKindsAreIgnored) {
    for (SC_DWORD id : {0u, 7u, 10u, 12u, 20u, 0xFFFFFFFFu}) {
        EXPECT_EQ(Handle(MsgEvent(id, 85, 10)), "") << id;
    }
    EXPECT_EQ(Log(), "Log started.\n");
}

TEST_F(DispatchTest, CloudStatePrintsTheGridItHolds) {
    std::vector<uint8_t> cells(4096, 0);
    cells[0] = 255;
    cells[1] = 25;
    cells[2] = 26;
    cells[64] = 128;
    cells[4095] = 230;
    std::string expected = "4096\n";
    for (int row = 0; row < 64; ++row) {
        std::string line(64, '0');
        if (row == 0) {
            line[0] = '9';
            line[2] = '1';
        } else if (row == 1) {
            line[0] = '5';
        } else if (row == 63) {
            line[63] = '8';
        }
        expected += line + "\n";
    }
    expected += "\n";
    EXPECT_EQ(Handle(MsgCloud(4096, cells)), expected);
    // A message that holds fewer cells than it claims prints only those it holds.
    EXPECT_EQ(Handle(MsgCloud(4096, std::vector<uint8_t>(66, 255))),
              "4096\n" + std::string(64, '9') + "\n99\n\n");
    EXPECT_EQ(Handle(MsgCloud(3, std::vector<uint8_t>(10, 128))), "3\n555\n\n");
    EXPECT_EQ(Handle(MsgCloud(0, {})), "0\n\n");
}

TEST_F(DispatchTest, TrafficAnswersArePublishedAtTheFirstEntryOfTheNextAnswer) {
    // The very first answer publishes the empty table.
    BlockSetI32(Block2, BLOCK2_TRAFFIC + 24, 99);
    Handle(MsgTraffic(6, 1001, 1, 11.0, 21.0, 1001.0));
    for (const TrafficSlot& s : Published()) {
        EXPECT_EQ(s.ObjectId, 0u);
    }
    for (uint32_t i = 2; i <= 25; ++i) {
        Handle(MsgTraffic(6, 1000 + i, i, 10.0 + i, 20.0 + i, 1000.0 + i));
    }
    Handle(MsgTraffic(6, 2001, 1, 1.0, 2.0, 300.0)); // next answer
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
    Handle(MsgTraffic(6, 3001, 1, 7.0, 8.0, 900.0));
    Handle(MsgTraffic(6, 3002, 2, 7.0, 8.0, 900.0));
    Handle(MsgTraffic(6, 3003, 3, 7.0, 8.0, 900.0));
    Handle(MsgTraffic(6, 4001, 1, 0.0, 0.0, 900.0));
    slots = Published();
    EXPECT_EQ(slots[0].ObjectId, 3001u);
    EXPECT_EQ(slots[2].ObjectId, 3003u);
    for (uint32_t k = 3; k < 20; ++k) {
        EXPECT_EQ(slots[k].ObjectId, 0u) << k;
    }
    EXPECT_EQ(slots[3].Latitude, 4.0);
    EXPECT_EQ(slots[4].AltitudeAboveGround, 1500.0);
}

TEST_F(DispatchTest, TrafficFilterAndForeignRequests) {
    Handle(MsgTraffic(6, 1, 1, 1.0, 1.0, 5000.0)); // the user: publishes but is not listed
    Handle(MsgTraffic(6, 11, 2, 1.0, 1.0, 50.0));
    Handle(MsgTraffic(6, 12, 3, 1.0, 1.0, 50.1));
    Handle(MsgTraffic(6, 13, 4, 1.0, 1.0, std::nan("")));
    Handle(MsgTraffic(6, 14, 5, 1.0, 1.0, -10.0));
    Handle(MsgTraffic(5, 15, 6, 1.0, 1.0, 900.0)); // not the traffic request
    Handle(MsgTraffic(6, 16, 1, 1.0, 1.0, 10.0));  // next answer, itself filtered out
    std::vector<TrafficSlot> slots = Published();
    EXPECT_EQ(slots[0].ObjectId, 12u);
    EXPECT_EQ(slots[1].ObjectId, 0u);
    EXPECT_EQ(TrafficTable[0].ObjectId, 0u);
    // A by-type answer under another request is not even a new answer.
    Handle(MsgTraffic(7, 17, 1, 1.0, 1.0, 900.0));
    EXPECT_EQ(Published()[0].ObjectId, 12u);
}

TEST_F(DispatchTest, TrafficTableDirectly) {
    AddTraffic(1, 1.0, 2.0, 3.0);
    EXPECT_EQ(TrafficTable[0].ObjectId, 0u);
    EXPECT_EQ(TrafficTable[0].Latitude, 0.0);
    AddTraffic(77, 1.0, 2.0, 3.0);
    AddTraffic(77, 4.0, 5.0, 6.0); // the same id twice is not checked
    EXPECT_EQ(TrafficTable[1].ObjectId, 77u);
    TrafficTable[1].Reserved = 0;
    TransferTraffic();
    EXPECT_EQ(Published()[1].Longitude, 5.0);
    for (const TrafficSlot& s : TrafficTable) {
        EXPECT_EQ(s.ObjectId, 0u);
    }
    EXPECT_EQ(TrafficTable[1].Longitude, 5.0); // coordinates stay
    // The lock is free again afterwards.
    EXPECT_EQ(Os.MutexWait(Block2Mutex), PLATFORM_WAIT_TAKEN);
    EXPECT_TRUE(Os.MutexRelease(Block2Mutex));
}
