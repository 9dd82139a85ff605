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
#include "support/adapters.h"
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

const char* ApplyAdapter(std::string_view value) {
    if (ParseIpv4(value, &NetworkSetting.Address)) {
        NetworkSetting.Choice = ADAPTER_BY_ADDRESS;
        return nullptr;
    }
    if (value.size() >= sizeof(NetworkSetting.Description)) {
        return "longer than any adapter description";
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

const char* ApplySimConnect(std::string_view value) {
    if (value.size() >= sizeof(SimLibrarySetting.Path)) {
        return "longer than a Windows path can be (259 characters)";
    }
    memcpy(SimLibrarySetting.Path, value.data(), value.size());
    SimLibrarySetting.Path[value.size()] = '\0';
    return nullptr;
}

const char* ApplySteamBuilds(std::string_view value) {
    if (value == "yes") {
        SimLibrarySetting.SteamBuilds = true;
        return nullptr;
    }
    return value == "no" ? AS_WITHOUT : "neither yes nor no";
}

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

// One line of the file; `seen` marks the settings already taken (the first one counts).
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
    std::string shown(value);
    const SettingRow* row = FindSetting(key);
    if (row == nullptr) {
        std::string keys; // "a, b or c" from the table
        for (size_t i = 0; i < SETTING_COUNT; ++i) {
            keys += std::string(i == 0 ? "" : (i + 1 == SETTING_COUNT ? " or " : ", ")) +
                    SETTINGS[i].Key;
        }
        ConsoleAndLog("Setting %s not used: no such setting (%s)\n", key.c_str(), keys.c_str());
        return;
    }
    size_t index = static_cast<size_t>(row - SETTINGS);
    if (seen[index]) {
        ConsoleAndLog("Setting %s = %s not used: %s is set above already\n", row->Key,
                      shown.c_str(), row->Key);
        return;
    }
    seen[index] = true;
    const char* wrong = value.empty() ? "no value" : row->Apply(value);
    if (wrong == AS_WITHOUT) {
        ConsoleAndLog("Setting %s = %s: %s\n", row->Key, shown.c_str(), row->Fallback);
        return;
    }
    if (wrong != nullptr) {
        ConsoleAndLog("Setting %s = %s not used: %s; %s\n", row->Key, shown.c_str(), wrong,
                      row->Fallback);
        return;
    }
    ConsoleAndLog("Setting %s = %s: %s\n", row->Key, shown.c_str(), row->Effect);
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
