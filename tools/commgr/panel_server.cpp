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
#include "tools/commgr/panel_guard.h"
#include "tools/commgr/panel_state.h"

namespace {

constexpr uint32_t UPDATE_MS = 100; // at most 10 updates a second
constexpr int32_t MAX_STREAMS = 4;  // pages open at once; each holds one worker
constexpr size_t MAX_BODY = 1024;   // a control's form is a few dozen bytes
constexpr time_t IO_TIMEOUT_S = 5;  // a client that stops reading or writing is dropped
constexpr const char* EVENT_PREFIX = "data: ";
constexpr uint32_t MAX_REFUSALS_SHOWN = 40; // refused requests named on the console

httplib::Server* Server = nullptr; // made once by PanelStart
std::atomic<int32_t> Streams{0};

void Serve(void*) {
    Server->listen_after_bind();
}

void Refuse(httplib::Response& res, int status, const std::string& why) {
    res.status = status;
    res.set_content(why + "\n", "text/plain");
}

// POST /set?index=I&value=V from the panel's own page (the guard has seen to that): one
// variable change to KivFSX.
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

// Every request passes the guard before it is routed (tools/commgr/panel_guard.h); a refused
// one gets its 4xx and a line on the hub's console (the first few only).
httplib::Server::HandlerResponse Guard(const httplib::Request& req, httplib::Response& res) {
    static std::atomic<uint32_t> refusals{0};
    auto header = [&](const char* name) -> std::string {
        return req.has_header(name) ? req.get_header_value(name) : std::string();
    };
    std::string host = header("Host"), origin = header("Origin"), type = header("Content-Type");
    PanelVerdict v = PanelCheckRequest(
        req.method.c_str(), req.has_header("Host") ? host.c_str() : nullptr,
        req.has_header("Origin") ? origin.c_str() : nullptr, req.has_header(PANEL_MARK_HEADER),
        req.has_header("Content-Type") ? type.c_str() : nullptr);
    if (v.Status == 0) {
        return httplib::Server::HandlerResponse::Unhandled;
    }
    uint32_t n = refusals.fetch_add(1);
    if (n < MAX_REFUSALS_SHOWN) {
        Problem("commgr: panel refused %.8s %.60s (Host %.60s, Origin %.60s): %s%s\n",
                req.method.c_str(), req.path.c_str(), host.c_str(),
                origin.empty() ? "none" : origin.c_str(), v.Reason,
                n + 1 == MAX_REFUSALS_SHOWN ? "; further refusals are not shown" : "");
    }
    Refuse(res, v.Status, v.Reason);
    return httplib::Server::HandlerResponse::Handled;
}

} // namespace

bool PanelStart(const char* address, uint16_t port, char* error, size_t errorSize) {
    PanelHostsInit(address, port, HubOptions.PanelName);
    Server = new httplib::Server; // lives as long as the process
    // No other site may frame the page, and it loads nothing from anywhere else.
    Server->set_default_headers(
        {{"Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'; form-action "
                                     "'self'"},
         {"X-Content-Type-Options", "nosniff"},
         {"Referrer-Policy", "no-referrer"}});
    Server->set_pre_routing_handler(Guard);
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
