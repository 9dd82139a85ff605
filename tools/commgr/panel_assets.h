// The panel's files, built into the hub at build time (panel_embed.cmake): the hand-written
// page, script and style sheet, and the tables that panel_gen writes from the program's own.
#pragma once

#include <cstdint>

struct PanelAsset {
    const char* Path; // "/", "/panel.js", ...
    const char* Type; // its content type
    const unsigned char* Data;
    uint32_t Size;
};
extern const PanelAsset PANEL_ASSETS[];
extern const uint32_t PANEL_ASSET_COUNT;
