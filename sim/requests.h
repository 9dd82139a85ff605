// The simulator-side numbers of the session's data requests and data definitions. Plain numbers
// without the library's types, so that tools which read the program's records out of its blocks
// (the stand-in's replay among them, which has its own transcription of the library's API) can
// use them.
#pragma once

#include <cstdint>

// Request ids of the session's data requests and of the traffic request.
constexpr uint32_t REQUEST_BLOCK3 = 0;    // definition 0, every visual frame
constexpr uint32_t REQUEST_BLOCK2 = 2;    // definition 1, every visual frame
constexpr uint32_t REQUEST_BLOCK1 = 3;    // definition 2, every visual frame
constexpr uint32_t REQUEST_MODEL = 5;     // definition 4, once a second
constexpr uint32_t REQUEST_TRAFFIC = 6;   // definition 5, by the traffic thread
constexpr uint32_t REQUEST_AI_OBJECT = 7; // definition 6, once, for an added AI aircraft
constexpr uint32_t DEFINITION_BLOCK3 = 0;
constexpr uint32_t DEFINITION_BLOCK2 = 1;
constexpr uint32_t DEFINITION_BLOCK1 = 2;
constexpr uint32_t DEFINITION_MODEL = 4;
constexpr uint32_t DEFINITION_TRAFFIC = 5;
constexpr uint32_t DEFINITION_AI_OBJECT = 6; // never declared: its answers are ignored
