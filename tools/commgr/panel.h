// The browser panel: one page, served by the hub, that shows the link, the flight, the traffic
// and every block field live, and sends variable changes from its controls through the hub.
#pragma once

#include <cstddef>
#include <cstdint>

// Serves the panel on http://address:port/ from a thread of its own (and the HTTP library's
// workers). False, with the reason in `error`, when it cannot listen there or this build has
// no panel.
bool PanelStart(const char* address, uint16_t port, char* error, size_t errorSize);
