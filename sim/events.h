// The client event map: the program's own event numbers, each tied to one simulator event,
// registered on every connection that the session loop sets up. ChangeVar transmits these
// numbers; the dispatch handler recognises them (and the system-event ids) when they come back.
#pragma once

#include <cstdint>

#include "sim/simconnect_api.h"

// Client events with a meaning of their own in the program.
constexpr SC_DWORD EVENT_MY_EVENT = 1; // "My.event", in notification group 0
constexpr SC_DWORD EVENT_MY_KEY = 85;  // "My.KeyX": joystick 0 button 6, notification group 1
// System events, subscribed by the session set-up under these ids.
constexpr SC_DWORD EVENT_SIM_START = 0;
constexpr SC_DWORD EVENT_CRASHED = 72;
constexpr SC_DWORD EVENT_FLIGHT_LOADED = 83;
constexpr SC_DWORD EVENT_AIRCRAFT_LOADED = 84;
// Object added and removed (never subscribed; the dispatch handler still knows them).
constexpr SC_DWORD EVENT_OBJECT_ADDED = 75;
constexpr SC_DWORD EVENT_OBJECT_REMOVED = 76;

// Client events that ChangeVar transmits, by the simulator event they are mapped to.
constexpr SC_DWORD EVENT_TOGGLE_FLIGHT_DIRECTOR = 2;
constexpr SC_DWORD EVENT_PARKING_BRAKES = 3;
constexpr SC_DWORD EVENT_HEADING_BUG_SET = 4;
constexpr SC_DWORD EVENT_AP_SPD_VAR_SET = 5;
constexpr SC_DWORD EVENT_AP_HDG_HOLD_ON = 6;
constexpr SC_DWORD EVENT_AP_HDG_HOLD_OFF = 7;
constexpr SC_DWORD EVENT_AP_ALT_HOLD_ON = 8;
constexpr SC_DWORD EVENT_AP_ALT_HOLD_OFF = 9;
constexpr SC_DWORD EVENT_AP_ALT_VAR_SET_ENGLISH = 10;
constexpr SC_DWORD EVENT_AUTOPILOT_ON = 11;
constexpr SC_DWORD EVENT_AUTOPILOT_OFF = 12;
constexpr SC_DWORD EVENT_AP_PANEL_SPEED_ON = 14;
constexpr SC_DWORD EVENT_AP_PANEL_SPEED_OFF = 15;
constexpr SC_DWORD EVENT_AP_VS_VAR_SET_ENGLISH = 16;
constexpr SC_DWORD EVENT_SPOILERS_SET = 17;
constexpr SC_DWORD EVENT_GEAR_SET = 18;
constexpr SC_DWORD EVENT_FLAPS_INCR = 19;
constexpr SC_DWORD EVENT_FLAPS_DECR = 20;
constexpr SC_DWORD EVENT_FLAPS_UP = 21;
constexpr SC_DWORD EVENT_FLAPS_DOWN = 22;
constexpr SC_DWORD EVENT_FLAPS_SET = 23;
constexpr SC_DWORD EVENT_NAV1_RADIO_SWAP = 24;     // first of the ten NAV radio events 24 to 33
constexpr SC_DWORD EVENT_COM_STBY_RADIO_SWAP = 36; // first of the ten COM radio events 36 to 45
constexpr SC_DWORD EVENT_INCREASE_DECISION_HEIGHT = 48;
constexpr SC_DWORD EVENT_DECREASE_DECISION_HEIGHT = 49;
constexpr SC_DWORD EVENT_KOHLSMAN_INC = 50;
constexpr SC_DWORD EVENT_KOHLSMAN_DEC = 51;
constexpr SC_DWORD EVENT_VOR1_SET = 52;
constexpr SC_DWORD EVENT_VOR2_SET = 53;
constexpr SC_DWORD EVENT_NAV1_STBY_SET = 54;
constexpr SC_DWORD EVENT_NAV2_STBY_SET = 55;
constexpr SC_DWORD EVENT_COM_STBY_RADIO_SET = 56;
constexpr SC_DWORD EVENT_COM2_STBY_RADIO_SET = 57;
// 58 and 59 are second ids of "VOR1_SET" and "VOR2_SET", used for settings taken as given.
constexpr SC_DWORD EVENT_VOR1_SET_DIRECT = 58;
constexpr SC_DWORD EVENT_VOR2_SET_DIRECT = 59;
constexpr SC_DWORD EVENT_KOHLSMAN_SET = 60;
constexpr SC_DWORD EVENT_PAUSE_ON = 61;
constexpr SC_DWORD EVENT_PAUSE_OFF = 62;
constexpr SC_DWORD EVENT_AUTO_THROTTLE_ARM = 63;
constexpr SC_DWORD EVENT_AP_APR_HOLD_ON = 64;
constexpr SC_DWORD EVENT_AP_APR_HOLD_OFF = 65;
constexpr SC_DWORD EVENT_AP_NAV1_HOLD_ON = 66;
constexpr SC_DWORD EVENT_AP_NAV1_HOLD_OFF = 67;
constexpr SC_DWORD EVENT_NAV1_RADIO_SET = 70;
constexpr SC_DWORD EVENT_NAV2_RADIO_SET = 71;
constexpr SC_DWORD EVENT_THROTTLE_SET = 74;
constexpr SC_DWORD EVENT_ADF_COMPLETE_SET = 77;
constexpr SC_DWORD EVENT_ADF2_COMPLETE_SET = 78;

// Ids 0 to 85; the simulator event name of each mapped id, null for an id that is not mapped.
constexpr SC_DWORD EVENT_ID_COUNT = 86;
extern const char* const EVENT_NAMES[EVENT_ID_COUNT];

// Order in which the mapped ids other than 85 are registered (85 comes first, with its input
// and group); 1 is last.
constexpr uint32_t EVENT_MAP_ORDER_COUNT = 78;
extern const SC_DWORD EVENT_MAP_ORDER[EVENT_MAP_ORDER_COUNT];

constexpr const char* JOYSTICK_INPUT = "joystick:0:button:6";
constexpr SC_DWORD JOYSTICK_DOWN_VALUE = 10;
constexpr SC_DWORD JOYSTICK_UP_VALUE = 20;
constexpr SC_DWORD INPUT_GROUP_JOYSTICK = 0;
constexpr SC_DWORD NOTIFY_GROUP_MY_EVENT = 0;
constexpr SC_DWORD NOTIFY_GROUP_MY_KEY = 1;

// Registers the event map on the current connection (everything but notification group 0,
// which the session set-up adds). Failures are reported and passed over.
void MapEvents();
