// The run's shared record and its processes (main.cpp), used by the phases (phases.cpp).
// Everything here belongs to kivbench's main thread.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "bench.h"
#include "proc.h"

constexpr uint32_t FRAME_HZ = 60; // the stand-in's visual frames per second
constexpr const char* KIVFSX_ADDRESS = "10.77.0.2";
constexpr const char* HUB_ADDRESS = "10.77.0.3";

// The work directory and the build directory; set by main.
extern std::string Work, Build;
// The programs the run started, the figures and the notes below the table.
extern Proc Hub, BareHub, Kiv, BareSleep;
extern std::vector<Figure> Figures;
extern std::vector<std::string> Notes;

std::string SelfPath();
// Waits (at most 20 s) until the hub has received blocks sent after `sinceUs`.
bool WaitLinked(int64_t sinceUs);
void Note(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string StoreDir(); // the simulator store entry holding the stand-in
// KivFSX with the stand-in delivering a record of each block every visual frame.
Proc StartKivfsx(std::map<std::string, std::string> env);

// The phases, in their order.
void Steady(uint32_t seconds);
void Bursts();
void Latency();
