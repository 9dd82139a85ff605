// The browser panel's HTTP side, on cpp-httplib: the built-in files, the live updates as
// Server-Sent Events, and the variable changes the page's controls post.
//
// Threads: the library's listening thread (started here, blocked in accept while no page is
// open) and its workers. An open page holds one worker with its event stream, which builds one
// snapshot (tools/commgr/panel_state.h) every UPDATE_MS; nothing is built while no page is
// open. Everything they read of the hub is atomic or taken under the hub's locks.
#include <httplib.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "tools/commgr/hub.h"
#include "tools/commgr/messages.h"
#include "tools/commgr/options.h"
#include "tools/commgr/panel.h"
#include "tools/commgr/panel_assets.h"
#include "tools/commgr/panel_state.h"

namespace {

constexpr uint32_t UPDATE_MS = 100; // at most 10 updates a second
constexpr int32_t MAX_STREAMS = 4;  // pages open at once; each holds one worker
constexpr size_t MAX_BODY = 1024;   // a control's form is a few dozen bytes
constexpr time_t IO_TIMEOUT_S = 5;  // a client that stops reading or writing is dropped
constexpr const char* EVENT_PREFIX = "data: ";

httplib::Server* Server = nullptr; // made once by PanelStart
std::atomic<int32_t> Streams{0};

void Serve(void*) {
    Server->listen_after_bind();
}

void Refuse(httplib::Response& res, int status, const std::string& why) {
    res.status = status;
    res.set_content(why + "\n", "text/plain");
}

// POST /set with the form index=I&value=V: one variable change to KivFSX.
void PostSet(const httplib::Request& req, httplib::Response& res) {
    if (!req.has_param("index") || !req.has_param("value")) {
        Refuse(res, 400, "needs index and value");
        return;
    }
    std::string text = req.get_param_value("index") + "=" + req.get_param_value("value");
    VarSetting setting{};
    char error[160];
    if (text.size() >= COMMGR_SET_TEXT_SIZE ||
        !ParseVarSetting(text.c_str(), &setting, error, sizeof(error))) {
        Refuse(res, 400, text.size() >= COMMGR_SET_TEXT_SIZE ? "too long" : error);
        return;
    }
    uint8_t message[COMMGR_MAX_VAR_MESSAGE];
    uint32_t length = BuildVarChange(&setting, 1, message);
    char entries[96];
    char detail[128];
    FormatVarSettings(&setting, 1, entries, sizeof(entries));
    snprintf(detail, sizeof(detail), "count=1 entries=%s", entries);
    if (!SendToPeer("set", message, length, detail)) {
        Refuse(res, 409, "KivFSX has not been heard yet");
        return;
    }
    res.set_content(std::string("sent ") + entries + "\n", "text/plain");
}

// GET /events: the snapshot every UPDATE_MS for as long as the page reads them.
void GetEvents(const httplib::Request&, httplib::Response& res) {
    if (Streams.fetch_add(1) >= MAX_STREAMS) {
        Streams.fetch_sub(1);
        Refuse(res, 503, "too many open pages");
        return;
    }
    res.set_header("Cache-Control", "no-cache");
    res.set_chunked_content_provider(
        "text/event-stream",
        [](size_t, httplib::DataSink& sink) {
            static thread_local char event[PANEL_SNAPSHOT_SIZE + 16];
            Os.SleepMs(UPDATE_MS);
            size_t prefix = snprintf(event, sizeof(event), "%s", EVENT_PREFIX);
            size_t length = PanelSnapshot(HubNowMs(), event + prefix, PANEL_SNAPSHOT_SIZE);
            if (length == 0) {
                return false;
            }
            length += prefix;
            event[length++] = '\n';
            event[length++] = '\n';
            return sink.write(event, length);
        },
        [](bool) { Streams.fetch_sub(1); });
}

} // namespace

bool PanelStart(const char* address, uint16_t port, char* error, size_t errorSize) {
    Server = new httplib::Server; // lives as long as the process
    Server->set_payload_max_length(MAX_BODY);
    Server->set_read_timeout(IO_TIMEOUT_S, 0);
    Server->set_write_timeout(IO_TIMEOUT_S, 0);
    for (uint32_t i = 0; i < PANEL_ASSET_COUNT; ++i) {
        const PanelAsset& a = PANEL_ASSETS[i];
        Server->Get(a.Path, [&a](const httplib::Request&, httplib::Response& res) {
            res.set_content(reinterpret_cast<const char*>(a.Data), a.Size, a.Type);
            res.set_header("Cache-Control", "no-cache");
        });
    }
    Server->Get("/events", GetEvents);
    Server->Post("/set", PostSet);
    Server->set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) {
            res.set_content(std::to_string(res.status) + "\n", "text/plain");
        }
    });
    if (!Server->bind_to_port(address, port)) {
        snprintf(error, errorSize, "cannot listen on %s:%u (in use?)", address,
                 static_cast<unsigned>(port));
        return false;
    }
    if (!Os.StartThread(Serve, nullptr)) {
        snprintf(error, errorSize, "cannot start the panel's thread");
        return false;
    }
    return true;
}
