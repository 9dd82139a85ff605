// The client event map (see sim/events.h).
#include "sim/events.h"

#include "sim/session.h"
#include "support/log.h"
#include "support/process.h"

const char* const EVENT_NAMES[EVENT_ID_COUNT] = {
    nullptr, // 0: "SimStart" is subscribed under this id, not mapped
    "My.event",
    "TOGGLE_FLIGHT_DIRECTOR",
    "PARKING_BRAKES",
    "HEADING_BUG_SET",
    "AP_SPD_VAR_SET",
    "AP_HDG_HOLD_ON",
    "AP_HDG_HOLD_OFF",
    "AP_ALT_HOLD_ON",
    "AP_ALT_HOLD_OFF",
    "AP_ALT_VAR_SET_ENGLISH", // 10
    "AUTOPILOT_ON",
    "AUTOPILOT_OFF",
    "AUTO_THROTTLE_ARM",
    "AP_PANEL_SPEED_ON",
    "AP_PANEL_SPEED_OFF",
    "AP_VS_VAR_SET_ENGLISH",
    "SPOILERS_SET",
    "GEAR_SET",
    "FLAPS_INCR",
    "FLAPS_DECR", // 20
    "FLAPS_UP",
    "FLAPS_DOWN",
    "FLAPS_SET",
    "NAV1_RADIO_SWAP",
    "NAV2_RADIO_SWAP",
    "NAV1_RADIO_WHOLE_INC",
    "NAV2_RADIO_WHOLE_INC",
    "NAV1_RADIO_FRACT_INC",
    "NAV2_RADIO_FRACT_INC",
    "NAV1_RADIO_WHOLE_DEC", // 30
    "NAV2_RADIO_WHOLE_DEC",
    "NAV1_RADIO_FRACT_DEC",
    "NAV2_RADIO_FRACT_DEC",
    "NAV1_RADIO_SET",
    "NAV2_RADIO_SET",
    "COM_STBY_RADIO_SWAP",
    "COM2_RADIO_SWAP",
    "COM_RADIO_WHOLE_INC",
    "COM2_RADIO_WHOLE_INC",
    "COM_RADIO_FRACT_INC", // 40
    "COM2_RADIO_FRACT_INC",
    "COM_RADIO_WHOLE_DEC",
    "COM2_RADIO_WHOLE_DEC",
    "COM_RADIO_FRACT_DEC",
    "COM2_RADIO_FRACT_DEC",
    "COM_RADIO_SET",
    "COM2_RADIO_SET",
    "INCREASE_DECISION_HEIGHT",
    "DECREASE_DECISION_HEIGHT",
    "KOHLSMAN_INC", // 50
    "KOHLSMAN_DEC",
    "VOR1_SET",
    "VOR2_SET",
    "NAV1_STBY_SET",
    "NAV2_STBY_SET",
    "COM_STBY_RADIO_SET",
    "COM2_STBY_RADIO_SET",
    "VOR1_SET",
    "VOR2_SET",
    "KOHLSMAN_SET", // 60
    "PAUSE_ON",
    "PAUSE_OFF",
    "AUTO_THROTTLE_ARM",
    "AP_APR_HOLD_ON",
    "AP_APR_HOLD_OFF",
    "AP_NAV1_HOLD_ON",
    "AP_NAV1_HOLD_OFF",
    "THROTTLE_90",
    "THROTTLE_10",
    "NAV1_RADIO_SET", // 70
    "NAV2_RADIO_SET",
    nullptr, // 72: "Crashed" is subscribed under this id
    nullptr, // 73: unused
    "THROTTLE_SET",
    nullptr, // 75: object added
    nullptr, // 76: object removed
    "ADF_COMPLETE_SET",
    "ADF2_COMPLETE_SET",
    "RADIO_VOR1_IDENT_ENABLE",
    "RADIO_ADF_IDENT_ENABLE", // 80
    "KOHLSMAN_INC",
    "KOHLSMAN_DEC",
    nullptr, // 83: "FlightLoaded" is subscribed under this id
    nullptr, // 84: "AircraftLoaded" is subscribed under this id
    "My.KeyX",
};

const SC_DWORD EVENT_MAP_ORDER[EVENT_MAP_ORDER_COUNT] = {
    70, 71, 11, 12, 81, 82, 26, 27, 30, 31, 28, 29, 32, 33, 34, 35, 24, 25, 38, 39,
    42, 43, 40, 41, 44, 45, 46, 47, 36, 37, 2,  3,  4,  6,  7,  8,  9,  10, 5,  17,
    13, 14, 15, 16, 18, 19, 20, 21, 22, 23, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57,
    58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 74, 77, 78, 79, 80, 1,
};

namespace {

constexpr int32_t EVENTS_LOG_LEVEL = 10;
constexpr SC_BOOL NOT_MASKABLE = 0;

void MapOne(SC_HANDLE handle, SC_DWORD id) {
    if (SimApi.MapClientEventToSimEvent(handle, id, EVENT_NAMES[id]) != 0) {
        ConsolePrint("AddClientEvent returned error\n");
        SimLogLevel(EVENTS_LOG_LEVEL, "AddClientEvent returned error\n");
    }
}

} // namespace

void MapEvents() {
    SC_HANDLE handle = hSimConnect.load();
    MapOne(handle, EVENT_MY_KEY);
    if (SimApi.MapInputEventToClientEvent(handle, INPUT_GROUP_JOYSTICK, JOYSTICK_INPUT,
                                          EVENT_MY_KEY, JOYSTICK_DOWN_VALUE, SIMCONNECT_UNUSED,
                                          JOYSTICK_UP_VALUE, NOT_MASKABLE) != 0) {
        ConsolePrint("MapInputEventToClientEvent error\n");
        SimLogLevel(EVENTS_LOG_LEVEL, "MapInputEventToClientEvent Error.\n");
    }
    if (SimApi.AddClientEventToNotificationGroup(handle, NOTIFY_GROUP_MY_KEY, EVENT_MY_KEY,
                                                 NOT_MASKABLE) != 0) {
        ConsolePrint("AddClientEvent error\n");
        SimLogLevel(EVENTS_LOG_LEVEL, "AddClientEvent Error.\n");
    }
    for (SC_DWORD id : EVENT_MAP_ORDER) {
        MapOne(handle, id);
    }
    SimLogLevel(EVENTS_LOG_LEVEL, "Events successfully mapped\n");
}
