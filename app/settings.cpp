// The settings file "kivfsx-settings.txt" (see app/settings.h).
//
// One setting a line, "key = value"; blank lines and lines beginning with # or ; are notes.
// Blanks around the key and the value do not count, a value may hold blanks, and one pair of
// double quotes around it is taken off (as Explorer's "Copy as path" puts them). The file is
// UTF-8 (a byte-order mark at its start is passed over), so a path may hold any character.
#include "app/settings.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "net/senders.h"
#include "platform/platform.h"
#include "sim/loader.h"
#include "sim/session.h"
#include "sim/traffic.h"
#include "support/adapters.h"
#include "support/log.h"
#include "support/process.h"

namespace {

// What a value says, or why it cannot be used (a text for the line that says so).
using Applier = const char* (*)(std::string_view value);

// A setting: its key, what it does when in effect, what happens without it (also when it
// cannot be used), and the function that takes its value (null when it takes it, AS_WITHOUT
// when the value asks for the default; else the reason it cannot).
struct SettingRow {
    const char* Key;
    const char* Effect;
    const char* Fallback;
    Applier Apply;
};

// A strict dotted IPv4 address, four decimal numbers 0 to 255, into network order.
bool ParseIpv4(std::string_view text, uint32_t* addr) {
    uint8_t bytes[4];
    const char* p = text.data();
    const char* end = text.data() + text.size();
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (p == end || *p != '.') {
                return false;
            }
            ++p;
        }
        unsigned value = 0;
        auto [next, ec] = std::from_chars(p, end, value);
        if (ec != std::errc() || next == p || next - p > 3 || value > 255) {
            return false;
        }
        bytes[i] = static_cast<uint8_t>(value);
        p = next;
    }
    if (p != end) {
        return false;
    }
    memcpy(addr, bytes, sizeof(bytes)); // bytes in address order are network order
    return true;
}

const char* NOT_AN_ADDRESS = "not an IPv4 address (A.B.C.D)";
// What an Applier returns for a value that asks for the default: shown with the row's Fallback.
const char* const AS_WITHOUT = "";
// What happens instead of a refused setting, when an Applier knows better than its row's
// Fallback (on a build where the row's default does not apply); reset before each Apply.
const char* Instead = nullptr;

// The characters of UTF-8 `text` as Windows counts them (UTF-16 units: two for a character
// beyond the Basic Multilingual Plane) into `units`; false when it is not UTF-8.
bool Utf16Units(std::string_view text, size_t* units) {
    size_t n = 0;
    for (size_t i = 0; i < text.size();) {
        auto lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80           ? 1
                        : (lead >> 5) == 0x6  ? 2
                        : (lead >> 4) == 0xE  ? 3
                        : (lead >> 3) == 0x1E ? 4
                                              : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        n += length == 4 ? 2 : 1;
        i += length;
    }
    *units = n;
    return true;
}

// "yes" sets `flag`; "no" asks for the default.
const char* ApplyYesNo(std::string_view value, bool* flag) {
    if (value == "yes") {
        *flag = true;
        return nullptr;
    }
    return value == "no" ? AS_WITHOUT : "neither yes nor no";
}

const char* ApplyAdapter(std::string_view value) {
    if (ParseIpv4(value, &NetworkSetting.Address)) {
        NetworkSetting.Choice = ADAPTER_BY_ADDRESS;
        return nullptr;
    }
    size_t characters = 0;
    if (!Utf16Units(value, &characters)) {
        return "not UTF-8 text (save the settings file as UTF-8)";
    }
    if (characters > ADAPTER_DESCRIPTION_CHARS || value.size() >= ADAPTER_DESCRIPTION_SIZE) {
        return "longer than any adapter description (131 characters)";
    }
    NetworkSetting.Choice = ADAPTER_BY_DESCRIPTION;
    memcpy(NetworkSetting.Description, value.data(), value.size());
    NetworkSetting.Description[value.size()] = '\0';
    return nullptr;
}

const char* ApplyBroadcast(std::string_view value) {
    if (!ParseIpv4(value, &NetworkSetting.Broadcast)) {
        return NOT_AN_ADDRESS;
    }
    NetworkSetting.HasBroadcast = true;
    return nullptr;
}

const char* ApplyHub(std::string_view value) {
    if (!ParseIpv4(value, &NetworkSetting.Hub)) {
        return NOT_AN_ADDRESS;
    }
    NetworkSetting.HasHub = true;
    return nullptr;
}

// Without a library named here, a build that the store cannot serve loads none.
const char* NO_LIBRARY_WITHOUT = "without it this KivFSX has no library to load";

// The path is made whole here, once: the loader checks and loads that very path (a relative
// one would be checked in the working directory but looked up by LoadLibrary's own order).
// Its length counts as Windows counts it: at most 259 UTF-16 units, whole.
const char* ApplySimConnect(std::string_view value) {
    if (!SimStoreServesThisBuild()) {
        Instead = NO_LIBRARY_WITHOUT;
    }
    const char* tooLong = "longer than a Windows path can be (259 characters)";
    size_t units = 0;
    if (!Utf16Units(value, &units)) {
        return "not UTF-8 text (save the settings file as UTF-8)";
    }
    if (units >= SIM_PATH_SIZE) {
        return tooLong;
    }
    char whole[4 * SIM_SETTING_PATH_SIZE];
    if (!Os.FullPath(std::string(value).c_str(), whole, sizeof(whole)) ||
        !Utf16Units(whole, &units)) {
        return "not a path this system can make whole";
    }
    if (units >= SIM_PATH_SIZE || strlen(whole) >= sizeof(SimLibrarySetting.Path)) {
        return "longer than a Windows path can be (259 characters) once joined to the working "
               "folder";
    }
    memcpy(SimLibrarySetting.Path, whole, strlen(whole) + 1);
    return nullptr;
}

const char* ApplySteamBuilds(std::string_view value) {
    if (!SimStoreServesThisBuild()) {
        // The store's builds cannot load into this build: there is no search to widen.
        static char why[120];
        snprintf(why, sizeof(why),
                 "does not apply to this %d-bit KivFSX, which loads no %d-bit library from the "
                 "store",
                 static_cast<int>(SIM_BUILD_BITS), static_cast<int>(Os.StoreLibraryBits()));
        Instead = "the library comes from the setting simconnect";
        return why;
    }
    return ApplyYesNo(value, &SimLibrarySetting.SteamBuilds);
}

const char* ApplyUserAircraftId(std::string_view value) {
    return ApplyYesNo(value, &TrafficSetting.UserById);
}

const char* ApplyEndWithSimulator(std::string_view value) {
    return ApplyYesNo(value, &SessionSetting.EndWithSimulator);
}

// Minimised at once: the settings are read at start-up, before the simulator and the network.
const char* ApplyQuietConsole(std::string_view value) {
    bool quiet = false;
    const char* wrong = ApplyYesNo(value, &quiet);
    if (wrong != nullptr) {
        return wrong;
    }
    switch (Os.MinimiseConsole()) {
    case PLATFORM_CONSOLE_MINIMISED:
        return nullptr;
    case PLATFORM_CONSOLE_NO_WINDOW:
        return "this KivFSX has no console window (it was started without one)";
    default: {
        static char why[80];
        snprintf(why, sizeof(why), "no effect on %s, which has no console window to minimise",
                 PLATFORM_SYSTEM_NAME);
        return why;
    }
    }
}

static_assert(EXIT_SIMULATOR_ENDED == 50, "the row end-with-simulator names exit code 50");

// senders: one or more IPv4 addresses or the word hub (the setting hub's address), apart by
// commas or blanks. The hub's address is known only once the whole file is read (FinishSenders).
bool SendersNameHub = false;
char SendersShown[160];

const char* ApplySenders(std::string_view value) {
    static char wrong[96];
    snprintf(SendersShown, sizeof(SendersShown), "%.*s", static_cast<int>(value.size()),
             value.data());
    SenderFilterSettings filter{};
    bool namesHub = false;
    uint32_t items = 0;
    const char* separators = ", \t";
    while (!value.empty()) {
        size_t start = value.find_first_not_of(separators);
        if (start == std::string_view::npos) {
            break;
        }
        value.remove_prefix(start);
        std::string_view item = value.substr(0, value.find_first_of(separators));
        value.remove_prefix(item.size());
        if (++items > MAX_ACCEPTED_SENDERS) {
            snprintf(wrong, sizeof(wrong), "more than %u senders",
                     static_cast<unsigned>(MAX_ACCEPTED_SENDERS));
            return wrong;
        }
        uint32_t addr = 0;
        if (item == "hub") {
            namesHub = true;
        } else if (!ParseIpv4(item, &addr)) {
            snprintf(wrong, sizeof(wrong), "%.40s is neither an IPv4 address (A.B.C.D) nor hub",
                     std::string(item).c_str());
            return wrong;
        } else if (addr == 0) {
            return "0.0.0.0 is no sender's address";
        } else {
            filter.Addr[filter.Count++] = addr;
        }
    }
    SenderFilter = filter;
    SendersNameHub = namesHub;
    return nullptr;
}

// After the whole file: the hub's address joins the accepted senders, or the setting is not
// used when it names a hub that no setting gives. The senders in effect are shown in one line.
void FinishSenders(const char* shownValue) {
    if (SendersNameHub) {
        SendersNameHub = false;
        if (!NetworkSetting.HasHub) {
            SenderFilter = SenderFilterSettings{};
            ConsoleAndLog("Setting senders = %s not used: it names hub, but the setting hub is "
                          "not in effect; every sender is accepted as usual\n",
                          shownValue);
            return;
        }
        SenderFilter.Addr[SenderFilter.Count++] = NetworkSetting.Hub;
    }
    if (SenderFilter.Count == 0) {
        return;
    }
    char list[MAX_ACCEPTED_SENDERS * 17] = "";
    for (uint32_t i = 0; i < SenderFilter.Count; ++i) {
        char dotted[16];
        PlatformInetNtoa(SenderFilter.Addr[i], dotted);
        snprintf(list + strlen(list), sizeof(list) - strlen(list), "%s%s", i == 0 ? "" : ", ",
                 dotted);
    }
    ConsoleAndLog("Datagrams are handled only from %s (setting senders); any other sender's are "
                  "dropped unread\n",
                  list);
}

const SettingRow SETTINGS[] = {
    {"adapter",
     "discovery, listening and announcing on the adapter with this address or description",
     "the last adapter decides as usual", ApplyAdapter},
    {"broadcast", "discovery broadcast to this address, port 9019",
     "discovery goes to the adapter's broadcast address as usual", ApplyBroadcast},
    {"hub", "discovery sent straight to the hub at this address, port 9019 (no broadcast)",
     "discovery is broadcast as usual", ApplyHub},
    {"simconnect", "this SimConnect.dll is loaded instead of searching the store",
     "the store is searched as usual", ApplySimConnect},
    {"steam-builds",
     "the store search also accepts FSX Steam Edition builds (10.0.62615.0 to "
     "10.0.62607.0)",
     "only the three FSX builds are accepted", ApplySteamBuilds},
    {"user-aircraft-id",
     "the user's aircraft is left out of the traffic also by the object id that the answers to "
     "its own requests give it, as object 1 is",
     "only object 1 is left out of the traffic", ApplyUserAircraftId},
    {"end-with-simulator", "KivFSX ends when the simulator quits or has gone (exit code 50)",
     "KivFSX waits for the simulator to come back", ApplyEndWithSimulator},
    {"quiet-console", "the console window is minimised, and the focus stays where it is",
     "the console stays as it is", ApplyQuietConsole},
    {"senders",
     "datagrams only from these senders are handled (hub: the setting hub's address); any "
     "other sender's are dropped unread",
     "every sender is accepted as usual", ApplySenders},
};
constexpr size_t SETTING_COUNT = sizeof(SETTINGS) / sizeof(SETTINGS[0]);

std::string_view Trim(std::string_view text) {
    const char* blanks = " \t\r\v\f";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

const SettingRow* FindSetting(std::string_view key) {
    for (const SettingRow& row : SETTINGS) {
        if (key == row.Key) {
            return &row;
        }
    }
    return nullptr;
}

// The keys of the table as a list, "a, b or c", for the line about an unknown key.
std::string KeyList() {
    std::string list;
    for (size_t i = 0; i < SETTING_COUNT; ++i) {
        list += i == 0 ? "" : i + 1 == SETTING_COUNT ? " or " : ", ";
        list += SETTINGS[i].Key;
    }
    return list;
}

// One line of the file; `seen` marks the settings already in effect (the first one counts; a
// refused one leaves the way open for a later line).
void ReadLine(std::string_view line, int32_t number, bool* seen) {
    line = Trim(line);
    if (line.empty() || line[0] == '#' || line[0] == ';') {
        return;
    }
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        ConsoleAndLog("Settings line %d not used: not of the form key = value\n", number);
        return;
    }
    std::string key(Trim(line.substr(0, equals)));
    std::string_view value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = Trim(value.substr(1, value.size() - 2));
    }
    // What the lines echo: cut to fit, so that each line keeps its end.
    char shown[SHOWN_VALUE_SIZE];
    ShownValue(value.data(), value.size(), shown);
    const SettingRow* row = FindSetting(key);
    if (row == nullptr) {
        char shownKey[SHOWN_VALUE_SIZE];
        ShownValue(key.data(), key.size(), shownKey);
        ConsoleAndLog("Setting %s not used: no such setting (%s)\n", shownKey, KeyList().c_str());
        return;
    }
    size_t index = static_cast<size_t>(row - SETTINGS);
    if (seen[index]) {
        ConsoleAndLog("Setting %s = %s not used: %s is set above already\n", row->Key, shown,
                      row->Key);
        return;
    }
    Instead = nullptr;
    const char* wrong = value.empty() ? "no value" : row->Apply(value);
    const char* fallback = Instead != nullptr ? Instead : row->Fallback;
    if (wrong == AS_WITHOUT) {
        seen[index] = true;
        ConsoleAndLog("Setting %s = %s: %s\n", row->Key, shown, fallback);
        return;
    }
    if (wrong != nullptr) {
        ConsoleAndLog("Setting %s = %s not used: %s; %s\n", row->Key, shown, wrong, fallback);
        return;
    }
    seen[index] = true;
    ConsoleAndLog("Setting %s = %s: %s\n", row->Key, shown, row->Effect);
}

} // namespace

void ReadSettingsText(const char* text, uint32_t size) {
    std::string_view all(text, size);
    if (all.substr(0, 3) == "\xEF\xBB\xBF") {
        all.remove_prefix(3);
    }
    bool seen[SETTING_COUNT] = {};
    for (int32_t number = 1; !all.empty(); ++number) {
        size_t end = all.find('\n');
        ReadLine(all.substr(0, end), number, seen);
        all.remove_prefix(end == std::string_view::npos ? all.size() : end + 1);
    }
    if (NetworkSetting.HasHub && NetworkSetting.HasBroadcast) {
        char dotted[16];
        PlatformInetNtoa(NetworkSetting.Broadcast, dotted);
        ConsoleAndLog("Setting broadcast = %s not used: the setting hub sends discovery "
                      "straight to the hub\n",
                      dotted);
        NetworkSetting.HasBroadcast = false;
    }
    FinishSenders(SendersShown);
}

void ReadSettingsFile() {
    FILE* f = Os.OpenFile(SETTINGS_FILE_NAME, "r");
    if (f == nullptr) {
        return;
    }
    std::string text;
    char chunk[512];
    size_t n;
    while ((n = fread(chunk, 1, sizeof(chunk), f)) > 0) {
        text.append(chunk, n);
    }
    fclose(f);
    ReadSettingsText(text.data(), static_cast<uint32_t>(text.size()));
}
