// The stand-in's built-in flight: the user aircraft climbs out of Frankfurt and flies a wide
// right-hand circle north of the field; AI aircraft circle around it. Datum values are looked
// up by name (case-insensitive, as declared, e.g. "NAV OBS:1") in the units this program
// declares; a name the flight does not know gives 0. Values set by client events or by the
// control channel override the built-in ones until the next reset.
//
// Above the state (the model text). All functions here run with StandMutex held.
#pragma once

#include <cstdint>

// The user's aircraft is object 1 of the simulation, as in the simulator: a client names it
// by the proxy id SIMCONNECT_OBJECT_ID_USER (0), and the answers listing the aircraft around
// it give its own id. AI aircraft object ids are STAND_AI_FIRST_ID, STAND_AI_FIRST_ID + 1, ...
constexpr uint32_t STAND_USER_OBJECT_ID = 1;
constexpr uint32_t STAND_AI_FIRST_ID = 101;

// Forgets every overridden value.
void FlightReset();

// Numeric value of datum `name` of `object` (the user's aircraft, or an AI aircraft id) at
// flight time `t` seconds.
double FlightValue(const char* name, uint32_t object, double t);
// Text value (STRING datums), zero-terminated, cut to `size`.
void FlightText(const char* name, uint32_t object, char* out, uint32_t size);
// LATLONALT value: latitude, longitude (degrees) and altitude (feet).
void FlightLatLonAlt(const char* name, uint32_t object, double t, double out[3]);

// Overrides the value of a datum; false when the override table is full.
bool FlightSet(const char* name, double value);
// Applies simulator event `simEvent` with its 32-bit data; false for an event it ignores.
bool FlightApplyEvent(const char* simEvent, uint32_t data, double t);

// Position of AI aircraft number `index` (0-based) at time t.
void FlightTrafficPosition(uint32_t index, double t, double* lat, double* lon, double* agl,
                           double* heading);
// Distance in metres between two positions (flat-earth approximation, fine at this scale).
double FlightDistanceM(double lat1, double lon1, double lat2, double lon2);

// Radio frequency forms: BCD16 holds four digits of a frequency in MHz without its leading
// "1" (0x2345 is 123.45 MHz); BCD32 ("Frequency ADF BCD32") holds five digits of a frequency
// in tenths of a kHz in bits 12 to 31 (0x03450000 is 345.0 kHz).
double StandBcd16ToMhz(uint32_t bcd);
uint32_t StandMhzToBcd16(double mhz);
uint32_t StandToBcd32(int32_t tenthsKhz);
int32_t StandFromBcd32(uint32_t bcd);
