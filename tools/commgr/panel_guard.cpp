// Who the browser panel answers (see tools/commgr/panel_guard.h).
#include "tools/commgr/panel_guard.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "platform/platform.h"

PanelHostList PanelHosts;

namespace {

// The kinds of body a form of another site can send without asking (prefixes, any case).
const char* const FORM_BODIES[] = {"application/x-www-form-urlencoded", "multipart/form-data",
                                   "text/plain"};

void AddHost(const char* name, uint16_t port) {
    if (PanelHosts.Count == PANEL_MAX_HOSTS || name[0] == '\0') {
        return;
    }
    snprintf(PanelHosts.Hosts[PanelHosts.Count++], PANEL_HOST_SIZE, "%s:%u", name,
             static_cast<unsigned>(port));
    if (port == 80 && PanelHosts.Count < PANEL_MAX_HOSTS) { // a browser leaves the port out
        snprintf(PanelHosts.Hosts[PanelHosts.Count++], PANEL_HOST_SIZE, "%s", name);
    }
}

bool IsOwnHost(const char* host) {
    for (uint32_t i = 0; i < PanelHosts.Count; ++i) {
        if (strcasecmp(host, PanelHosts.Hosts[i]) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

void PanelHostsInit(const char* address, uint16_t port, const char* name) {
    PanelHosts = PanelHostList{};
    AddHost("localhost", port);
    AddHost(name, port);
    if (strcmp(address, "0.0.0.0") != 0) {
        AddHost(address, port);
        return;
    }
    AddHost("127.0.0.1", port);
    uint32_t size = 0;
    if (Os.GetAdaptersInfo(nullptr, &size) != PLATFORM_ADAPTERS_BUFFER_OVERFLOW || size == 0) {
        return;
    }
    void* list = Os.Alloc(size);
    if (list != nullptr && Os.GetAdaptersInfo(list, &size) == PLATFORM_ADAPTERS_OK) {
        for (const void* a = PlatformAdapterFirst(list); a != nullptr; a = PlatformAdapterNext(a)) {
            AddHost(PlatformAdapterIp(a), port);
        }
    }
    if (list != nullptr) {
        Os.Free(list);
    }
}

PanelVerdict PanelCheckRequest(const char* method, const char* host, const char* origin,
                               bool marked, const char* contentType) {
    if (host == nullptr || !IsOwnHost(host)) {
        return {403, "not a host name of this panel"};
    }
    // The page's own origin is this very Host, which is one of the panel's.
    char own[PANEL_HOST_SIZE + 8];
    snprintf(own, sizeof(own), "http://%s", host);
    if (origin != nullptr && strcasecmp(origin, own) != 0) {
        return {403, "a page of another site"};
    }
    if (strcmp(method, "GET") == 0 || strcmp(method, "HEAD") == 0) {
        return {0, ""};
    }
    if (origin == nullptr || !marked) {
        return {403, "a change is taken only from the panel's own page"};
    }
    if (contentType != nullptr) {
        for (const char* form : FORM_BODIES) {
            if (strncasecmp(contentType, form, strlen(form)) == 0) {
                return {415, "a change comes without a form body"};
            }
        }
    }
    return {0, ""};
}
