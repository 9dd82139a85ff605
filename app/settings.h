// The optional settings file "kivfsx-settings.txt": opt-in choices beyond the specified
// behaviour, for PCs with several network adapters and simulators other than FSX. Without the
// file (or with an empty one) nothing changes, on the console, in the log or on the wire.
#pragma once

#include <cstdint>

constexpr const char* SETTINGS_FILE_NAME = "kivfsx-settings.txt";

// Reads the settings file from the working directory, if there is one, into the records that
// the adapter discovery (NetworkSetting), the library loader (SimLibrarySetting), the traffic
// table (TrafficSetting) and the session loop (SessionSetting) read; quiet-console minimises
// the console window at once. Each setting in effect is shown once on the console and in the
// log; a setting that cannot be used says so in one line, and its default stays. Called once
// by main before the loader.
void ReadSettingsFile();

// The same for a text in memory, as the file would hold it (the tests use it).
void ReadSettingsText(const char* text, uint32_t size);
