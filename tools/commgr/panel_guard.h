// Who the browser panel answers: a web page of another site must not drive the simulator
// through it, nor read it through a name of its own that resolves to this host (DNS
// rebinding). Every request names in Host one of the panel's own host names: its address (each
// of this host's addresses when it listens on all), localhost, or the name given with
// --panel-name, each with the panel's port. A request that carries an Origin (a browser sends
// it with every change and every cross-site read) names the panel's own. A change (any method
// but GET and HEAD) also carries the Origin and the header X-KivFSX-Panel, which only the
// panel's own script sets (a form of another site cannot set a header, and a script of another
// site cannot either without the panel's consent, which it never gives), and no body of the
// kinds a form sends (form fields, multipart, text/plain). The HTTP library reads the
// requests; this only compares the values it hands over.
#pragma once

#include <cstdint>

constexpr const char* PANEL_MARK_HEADER = "X-KivFSX-Panel";
constexpr uint32_t PANEL_MAX_HOSTS = 16;
constexpr uint32_t PANEL_HOST_SIZE = 264; // a DNS name, a colon and a port

// The Host values the panel answers to. Written by PanelHostsInit before the panel serves.
struct PanelHostList {
    char Hosts[PANEL_MAX_HOSTS][PANEL_HOST_SIZE];
    uint32_t Count;
};
extern PanelHostList PanelHosts;

// The panel listens on `address` (0.0.0.0: every address of this host) and `port`; `name`, if
// not empty, is one more host name it answers to.
void PanelHostsInit(const char* address, uint16_t port, const char* name);

// What the panel does with a request: Status 0 to serve it, else a 4xx with the reason.
struct PanelVerdict {
    int32_t Status;
    const char* Reason;
};
// `origin` and `contentType` are null when the request has no such header.
PanelVerdict PanelCheckRequest(const char* method, const char* host, const char* origin,
                               bool marked, const char* contentType);
