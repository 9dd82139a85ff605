// The optional configuration file "kivfsx.cfg": one key, "port".
#pragma once

#include <cstdint>

constexpr int32_t DEFAULT_LISTEN_PORT = 9030;

// UDP port this node listens on and announces. Written by ReadCfgFile at start-up before
// any thread starts; read afterwards.
extern int32_t ListenPort;

// Reads "kivfsx.cfg" from the working directory, if there is one.
void ReadCfgFile();
