// The dispatch handler: the messages of every kind that the stand-in delivers, and the traffic
// table they feed; with messages built here, what the stand-in never sends: other objects'
// events, odd values, and messages shorter than their records.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

#include "sim/dispatch.h"
#include "sim/events.h"
#include "sim/traffic.h"
#include "sim_standin.h"

namespace {

const SC_DWORD QUIT = SIMCONNECT_RECV_ID_QUIT, EVENT = SIMCONNECT_RECV_ID_EVENT,
               ADDREMOVE = SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE,
               FILENAME = SIMCONNECT_RECV_ID_EVENT_FILENAME,
               DATA = SIMCONNECT_RECV_ID_SIMOBJECT_DATA, CLOUD = SIMCONNECT_RECV_ID_CLOUD_STATE;

std::vector<uint8_t> Data(SC_DWORD kind, SC_DWORD request, SC_DWORD object, SC_DWORD entry,
                          const std::vector<uint8_t>& record) {
    return Message(kind, {request, object, 0, 0, entry, entry, 1}, record);
}

std::vector<uint8_t> Traffic(SC_DWORD request, SC_DWORD object, SC_DWORD entry, double altitude) {
    const double position[3] = {50.5, 8.5, altitude};
    const auto* bytes = reinterpret_cast<const uint8_t*>(position);
    return Data(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, request, object, entry,
                std::vector<uint8_t>(bytes, bytes + sizeof(position)));
}

std::vector<uint8_t> Model(const std::string& text) {
    std::vector<uint8_t> record(text.begin(), text.end());
    record.resize(32);
    return Data(DATA, REQUEST_MODEL, 1, 1, record);
}

std::vector<TrafficSlot> Published() {
    std::vector<TrafficSlot> slots(TRAFFIC_SLOT_COUNT);
    BlockSnapshot(Block2, BLOCK2_TRAFFIC, slots.data(), BLOCK2_TRAFFIC_SIZE);
    return slots;
}

// True when every word of `block` from byte `from` on, for `size` bytes, is `word`.
bool Filled(const Block& block, uint32_t from, uint32_t size, uint32_t word) {
    std::vector<uint32_t> words(size / 4);
    BlockSnapshot(block, from, words.data(), size);
    return std::all_of(words.begin(), words.end(), [word](uint32_t w) { return w == word; });
}

using DispatchTest = SimTest;

} // namespace

TEST_F(DispatchTest, TheStandInsMessagesReachTheirHandlers) {
    EXPECT_EQ(Turn(), "Connected to Simulator\n"); // with the open notice
    EXPECT_EQ(Turn(), "");                         // sim start: the input group goes on
    EXPECT_EQ(Journal("CALL SetInputGroupState "),
              std::vector<std::string>{"CALL SetInputGroupState group=0 state=1 -> 0"});
    Control({"button joystick:0:button:6"});
    EXPECT_EQ(Turn(), "Event KEY RECEIVED. EVT: 10\n");
    TransmitClientEvent(EVENT_MY_EVENT, 0); // heard back through notification group 0
    EXPECT_EQ(Turn(), "MESSAGE RECEIVED EVENT\n");
    // A bad request as the library reports it: the call succeeds, the exception comes later.
    Control({"late-fail TransmitClientEvent 1 7"});
    Turn();
    EXPECT_EQ(Console([] { EXPECT_EQ(TransmitClientEvent(EVENT_MY_EVENT, 0), 0); }), "");
    std::vector<std::string> late = Journal("LATE TransmitClientEvent ");
    ASSERT_EQ(late.size(), 1u);
    EXPECT_EQ(Turn(), "RECV_ID_EXCEPTION\nMESSAGE RECEIVED EVENT\n");
    Control({"exception 3", "event AircraftLoaded"});
    EXPECT_EQ(Turn(), "RECV_ID_EXCEPTION\n");
    EXPECT_EQ(BlockGetI32(Block2, BLOCK2_FLIGHT_CHANGED), 0);
    for (const char* change : {"event Crashed", "event FlightLoaded"}) {
        BlockSetI32(Block2, BLOCK2_FLIGHT_CHANGED, 0);
        Control({change});
        Turn();
        EXPECT_EQ(BlockGetI32(Block2, BLOCK2_FLIGHT_CHANGED), 1) << change;
    }
    std::string log = Log(); // after the log's first line, which depends on the tests before
    EXPECT_EQ(log.substr(log.find('\n') + 1),
              "Connected to Flight Simulator.\nData Defs successfully added\n"
              "Events successfully mapped\nSimConnect Open Event received\n"
              "Sim start event.\nEXCEPTION=7  SendID=" +
                  Field(late[0], "send") +
                  "  Index=1  cbData=24\nEXCEPTION=3  SendID=1  Index=2  cbData=24\n"
                  "Sim aircraft loaded event.\nSim aircraft crash cvent\n"
                  "Sim flight loaded event.\n");
    // Quit: the connection is dropped for the loop to see.
    EXPECT_EQ(Deliver(Message(QUIT, {})), "Quit received\n");
    EXPECT_EQ(hSimConnect.load(), nullptr);
    EXPECT_TRUE(SimQuit.load());
}

// Messages that the stand-in never sends: other objects' events, unknown events and kinds,
// and messages one byte shorter than their records, which are ignored without a word.
TEST_F(DispatchTest, OtherObjectsUnknownKindsAndShortMessages) {
    const SC_HANDLE connection = reinterpret_cast<SC_HANDLE>(0x10); // the simulator's gone
    hSimConnect.store(connection);
    const std::string ADDED = "AI object added: Type=2, ObjectID=4711\n";
    const std::tuple<std::vector<uint8_t>, size_t, std::string> cases[] = {
        {Message(ADDREMOVE, {0, EVENT_OBJECT_ADDED, 4711, 2}), SIZE_MAX,
         ADDED + "RequestSimObjectData error\n"},
        {Message(ADDREMOVE, {0, EVENT_OBJECT_ADDED, 4712, 1}), SIZE_MAX,
         "AI object added: Type=1, ObjectID=4712\n"},
        {Message(ADDREMOVE, {0, EVENT_OBJECT_REMOVED, 4711, 2}), SIZE_MAX,
         "AI object removed: Type=2, ObjectID=4711\n"},
        {Message(ADDREMOVE, {0, 77, 4711, 2}), SIZE_MAX, ""},
        {Message(EVENT, {0, EVENT_FLIGHT_LOADED, 1}), SIZE_MAX, ""}, // as a plain event
        {Message(EVENT, {0, 1000, 1}), SIZE_MAX, ""},
        {Message(FILENAME, {0, EVENT_MY_KEY, 10}, std::vector<uint8_t>(264)), SIZE_MAX,
         "Event KEY RECEIVED. EVT: 10\n"}, // taken as a plain event
        {Message(20, {0, EVENT_MY_KEY, 10}), SIZE_MAX, ""},
        {Data(DATA, REQUEST_BLOCK3, 1, 1, std::vector<uint8_t>(368, 0x66)), 40 + 367, ""},
        {Data(DATA, REQUEST_BLOCK2, 1, 1, std::vector<uint8_t>(236, 0x66)), 40 + 235, ""},
        {Data(DATA, REQUEST_BLOCK1, 1, 1, std::vector<uint8_t>(320, 0x66)), 40 + 319, ""},
        {Data(DATA, REQUEST_BLOCK3, 1, 1, std::vector<uint8_t>(4)), 43, ""},
        {Model("A321"), 40 + 31, ""},
        {Traffic(REQUEST_TRAFFIC, 5, 1, 300.0), 40 + 23, ""},
        {Message(SIMCONNECT_RECV_ID_EXCEPTION, {1, 2, 3}), 23, ""},
        {Message(EVENT, {0, EVENT_MY_KEY, 10}), 23, ""},
        {Message(FILENAME, {0, EVENT_FLIGHT_LOADED, 0}, std::vector<uint8_t>(264)), 23, ""},
        {Message(ADDREMOVE, {0, EVENT_OBJECT_ADDED, 9, 2}), 27, ""},
        {Message(CLOUD, {0, 4}, {255, 255, 255, 255}), 19, ""},
        {Message(QUIT, {}), 11, ""},
        {Message(QUIT, {}), 0, ""}};
    for (const auto& [message, size, shown] : cases) {
        EXPECT_EQ(Deliver(message, size), shown) << size;
    }
    HandleSimMsgs(nullptr, 100, nullptr);
    EXPECT_TRUE(Filled(Block1, 0, BLOCK1_SIZE, 0) && Filled(Block2, 0, BLOCK2_SIZE, 0) &&
                Filled(Block3, 0, BLOCK3_SIZE, 0));
    EXPECT_EQ(AircraftType, AIRCRAFT_OTHER);
    EXPECT_EQ(hSimConnect.load(), connection);
    EXPECT_EQ(TrafficTable[0].ObjectId, 0u);
    // Only the added aircraft is asked for.
    EXPECT_EQ(Journal("CALL "),
              std::vector<std::string>{"CALL RequestDataOnSimObject request=7 "
                                       "define=6 object=4711 period=1 -> -2147467259"});
    EXPECT_EQ(Log(), "Log started.\nRequestSimObjectData error\n");
}

TEST_F(DispatchTest, RecordsFillTheirBlocksAndTheModelSetsTheAircraftType) {
    BlockSetI32(Block3, BLOCK_PAYLOAD - 4, 0x33333333);
    BlockSetI32(Block2, BLOCK_PAYLOAD + BLOCK2_RECORD_SIZE, 0x22222222);
    BlockSetI32(Block1, BLOCK1_AIRCRAFT_TYPE + 4, 0x11111111);
    Control({"generation 1"}); // every word of a record carries its generation number
    Turn();
    const std::pair<const Block*, uint32_t> records[] = {{&Block1, BLOCK1_RECORD_SIZE},
                                                         {&Block2, BLOCK2_RECORD_SIZE},
                                                         {&Block3, BLOCK3_RECORD_SIZE}};
    for (const auto& [block, size] : records) {
        uint32_t generation = BlockGetI32(*block, BLOCK_PAYLOAD);
        EXPECT_NE(generation, 0u);
        EXPECT_TRUE(Filled(*block, BLOCK_PAYLOAD, size, generation)) << size;
    }
    EXPECT_EQ(BlockGetI32(Block3, 28), 0x33333333); // the words around the records
    EXPECT_EQ(BlockGetI32(Block2, 268), 0x22222222);
    EXPECT_EQ(BlockGetI32(Block1, 356), 0x11111111);
    // The stand-in's model answer comes before its first Block1 record.
    EXPECT_EQ(BlockGetI32(Block1, BLOCK1_AIRCRAFT_TYPE), AIRCRAFT_B738);

    // A longer record: only its own bytes are used. Another request changes nothing.
    const uint32_t block2 = BlockGetI32(Block2, BLOCK_PAYLOAD);
    Deliver(Data(DATA, REQUEST_BLOCK3, 1, 1, std::vector<uint8_t>(400, 0xA3)));
    Deliver(Data(DATA, REQUEST_AI_OBJECT, 1, 1, std::vector<uint8_t>(368, 0xCC)));
    EXPECT_TRUE(Filled(Block3, BLOCK_PAYLOAD, BLOCK3_RECORD_SIZE, 0xA3A3A3A3u));
    EXPECT_TRUE(Filled(Block2, BLOCK_PAYLOAD, BLOCK2_RECORD_SIZE, block2));
    EXPECT_EQ(BlockGetI32(Block3, 28), 0x33333333);

    const std::pair<const char*, int32_t> models[] = {
        {"B738", 1}, {"A321", 2}, {"B7380", 0}, {"A3210", 0}, {"b738", 0}, {"", 0}, {"A321", 2}};
    for (const auto& [text, type] : models) {
        AircraftType = 7;
        Deliver(Model(text));
        EXPECT_EQ(AircraftType, type) << text;
    }
    EXPECT_EQ(BlockGetI32(Block1, BLOCK1_AIRCRAFT_TYPE), AIRCRAFT_B738); // until a record
    Deliver(Data(DATA, REQUEST_BLOCK1, 1, 1, std::vector<uint8_t>(320)));
    EXPECT_EQ(BlockGetI32(Block1, BLOCK1_AIRCRAFT_TYPE), AIRCRAFT_A321);
    // A text that does not end inside the message cannot be had: nothing changes.
    Deliver(Model(std::string(32, 'B')));
    EXPECT_EQ(AircraftType, AIRCRAFT_A321);
    EXPECT_EQ(Journal("CALL RetrieveString ").back(),
              "CALL RetrieveString size=72 offset=40 -> -2147467259");
}

TEST_F(DispatchTest, CloudStatePrintsTheCellsItHolds) {
    // The count, then each cell as a digit of its density in rows of 64, then a blank line;
    // only the cells the message holds, no more than its count, no more than the grid.
    EXPECT_EQ(Deliver(Message(CLOUD, {0, 5}, {255, 25, 26, 128, 0, 9})), "5\n90150\n\n");
    // The cells at each digit's ends: cell / 25.6 in IEEE double arithmetic, on the main thread
    // as the session loop runs it. 128 / 25.6 is exactly 5 there (4.99... at 64-bit precision).
    EXPECT_EQ(Deliver(Message(CLOUD, {0, 20}, {0,   25,  26,  51,  52,  76,  77,  102, 103, 127,
                                               128, 153, 154, 179, 180, 204, 205, 230, 231, 255})),
              "20\n00112233445566778899\n\n");
    EXPECT_EQ(Deliver(Message(CLOUD, {0, 4096}, std::vector<uint8_t>(66, 255))),
              "4096\n" + std::string(64, '9') + "\n99\n\n");
    std::string grid = Deliver(Message(CLOUD, {0, 5000}, std::vector<uint8_t>(65 * 64, 128)));
    EXPECT_EQ(grid.size(), 5 + 64 * 65 + 1u);
    EXPECT_EQ(CountOf(grid, std::string(64, '5') + "\n"), 64u);
}

TEST_F(DispatchTest, TrafficAnswersArePublishedAtTheFirstEntryOfTheNextAnswer) {
    Control({"traffic 40"}); // every third aircraft of the stand-in is on the ground
    Turn();
    BlockSetI32(Block2, BLOCK2_TRAFFIC + 24, 99);
    TrafficPollTurn();
    Turn();
    EXPECT_EQ(Published()[0].ObjectId, 0u); // the very first answer publishes the empty table
    TrafficPollTurn();
    Turn();
    std::vector<TrafficSlot> slots = Published();
    for (uint32_t k = 0; k < TRAFFIC_SLOT_COUNT; ++k) { // the first 20 in the air
        uint32_t id = 102 + k + k / 2;
        EXPECT_EQ(slots[k].ObjectId, id);
        EXPECT_EQ(slots[k].AltitudeAboveGround, 1000.0 * (id - 101));
        EXPECT_NEAR(slots[k].Latitude, 50.3, 0.4);
        EXPECT_NEAR(slots[k].Longitude, 8.56, 0.6);
        EXPECT_EQ(slots[k].Reserved, 0u);
    }
    // The user (object 1), heights of 50 ft or less or not a number, and the answers to other
    // requests are not listed.
    Deliver(Traffic(REQUEST_TRAFFIC, 1, 1, 5000.0)); // the user: publishes but is not listed
    Deliver(Traffic(REQUEST_TRAFFIC, 11, 2, 50.0));
    Deliver(Traffic(REQUEST_TRAFFIC, 12, 3, 50.1));
    Deliver(Traffic(REQUEST_TRAFFIC, 13, 4, std::nan("")));
    Deliver(Traffic(REQUEST_MODEL, 15, 6, 900.0));  // not the traffic request
    Deliver(Traffic(REQUEST_TRAFFIC, 16, 1, 10.0)); // next answer, itself filtered out
    EXPECT_EQ(Published()[0].ObjectId, 12u);
    EXPECT_EQ(Published()[1].ObjectId, 0u);
    EXPECT_EQ(TrafficTable[0].ObjectId, 0u);
    Deliver(Traffic(REQUEST_AI_OBJECT, 17, 1, 900.0)); // another request: not a new answer
    EXPECT_EQ(Published()[0].ObjectId, 12u);
}

// With the setting user-aircraft-id the answers to the user-aircraft requests name the user's
// own object id, which is then left out of the traffic as object 1 is; without it only object 1
// is left out, and a user under another id is listed.
TEST_F(DispatchTest, WithTheSettingTheUsersOwnIdIsLeftOutOfTheTraffic) {
    for (bool setting : {false, true}) {
        SCOPED_TRACE(setting);
        Control({"reset", "user-id 7", "set Plane Alt Above Ground=3000"});
        hSimConnect.store(nullptr);
        SessionReady = false;
        UserObjectId.store(0);
        TrafficSetting.UserById = setting;
        std::string shown = Turn();
        TrafficPollTurn();
        Turn();
        TrafficPollTurn();
        Turn();
        std::vector<uint32_t> ids;
        for (const TrafficSlot& slot : Published()) {
            if (slot.ObjectId != 0) {
                ids.push_back(slot.ObjectId);
            }
        }
        EXPECT_EQ(std::count(ids.begin(), ids.end(), 7u), setting ? 0 : 1);
        EXPECT_EQ(std::count_if(ids.begin(), ids.end(), [](uint32_t id) { return id > 100; }),
                  2); // the third AI aircraft is on the ground
        EXPECT_EQ(CountOf(shown, "The user's aircraft is object 7: left out of the traffic "
                                 "(setting user-aircraft-id)\n"),
                  setting ? 1u : 0u);
        EXPECT_EQ(UserObjectId.load(), setting ? 7u : 0u);
    }
    // Only the four user-aircraft requests name the user; the proxy id 0 names nobody.
    Deliver(Data(DATA, REQUEST_AI_OBJECT, 9, 1, std::vector<uint8_t>(24)));
    Deliver(Data(DATA, REQUEST_MODEL, 0, 1, std::vector<uint8_t>(32)));
    EXPECT_EQ(UserObjectId.load(), 7u);
    EXPECT_EQ(Deliver(Model("A321")), // a model answer that names object 1
              "The user's aircraft is object 1: left out of the traffic (setting "
              "user-aircraft-id)\n");
    EXPECT_EQ(UserObjectId.load(), 1u);
}
