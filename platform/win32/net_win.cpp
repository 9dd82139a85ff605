// Win32 backend: Windows Sockets, host look-up and the IP Helper adapter list.
#include "platform/backend.h"
#include "platform/platform.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

// Sockets travel through the table as PlatformSocket: INVALID_SOCKET (all bits set) reads
// as PLATFORM_NO_SOCKET (-1).
SOCKET ToSocket(PlatformSocket sock) {
    return static_cast<SOCKET>(sock);
}

static_assert(sizeof(SOCKET) == sizeof(PlatformSocket));
static_assert(static_cast<PlatformSocket>(INVALID_SOCKET) == PLATFORM_NO_SOCKET);

int ClampInt(size_t size) {
    return size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

// Asks for version word 0x0909; the library settles on the highest version it has.
bool WinSocketsStart() {
    WSADATA data;
    return WSAStartup(0x0909, &data) == 0;
}

bool WinHostName(char* out, size_t size) {
    if (size == 0 || gethostname(out, ClampInt(size)) != 0) {
        return false;
    }
    out[size - 1] = '\0';
    return true;
}

bool WinLookupHost(const char* name, char* officialName, size_t size, uint32_t* firstAddr,
                   bool* hasAddr) {
    hostent* host = gethostbyname(name);
    if (host == nullptr) {
        return false;
    }
    snprintf(officialName, size, "%s", host->h_name != nullptr ? host->h_name : name);
    *hasAddr = false;
    if (host->h_addrtype == AF_INET && host->h_length == 4 && host->h_addr_list != nullptr &&
        host->h_addr_list[0] != nullptr) {
        memcpy(firstAddr, host->h_addr_list[0], 4);
        *hasAddr = true;
    }
    return true;
}

PlatformSocket WinUdpSocket(bool udpProtocol) {
    SOCKET sock = socket(AF_INET, SOCK_DGRAM, udpProtocol ? IPPROTO_UDP : 0);
    return sock == INVALID_SOCKET ? PLATFORM_NO_SOCKET : static_cast<PlatformSocket>(sock);
}

sockaddr_in ToSockaddr(NetAddr addr) {
    sockaddr_in sa;
    memset(&sa, 0, sizeof(sa));
    sa.sin_family = AF_INET;
    sa.sin_port = htons(addr.Port);
    sa.sin_addr.s_addr = addr.Addr;
    return sa;
}

bool WinBind(PlatformSocket sock, NetAddr addr) {
    sockaddr_in sa = ToSockaddr(addr);
    return bind(ToSocket(sock), reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) == 0;
}

bool WinSetBroadcast(PlatformSocket sock, int32_t value) {
    int v = value;
    return setsockopt(ToSocket(sock), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<char*>(&v),
                      sizeof(v)) == 0;
}

int32_t WinSendTo(PlatformSocket sock, const void* data, size_t size, NetAddr to) {
    if (sock == PLATFORM_NO_SOCKET) {
        return -1;
    }
    sockaddr_in sa = ToSockaddr(to);
    int sent = sendto(ToSocket(sock), static_cast<const char*>(data), ClampInt(size), 0,
                      reinterpret_cast<sockaddr*>(&sa), sizeof(sa));
    return sent == SOCKET_ERROR ? -1 : sent;
}

// A datagram larger than the buffer fails with WSAEMSGSIZE and is gone; that, like every
// other error (WSAECONNRESET after an unreachable destination included), gives -1.
int32_t WinRecvFrom(PlatformSocket sock, void* data, size_t size, NetAddr* from) {
    sockaddr_in sa;
    memset(&sa, 0, sizeof(sa));
    int len = sizeof(sa);
    int got = recvfrom(ToSocket(sock), static_cast<char*>(data), ClampInt(size), 0,
                       reinterpret_cast<sockaddr*>(&sa), &len);
    // A datagram too large for the buffer fails with its sender filled in (WSAEMSGSIZE); other
    // errors leave the address as zeroed above (see platform.h).
    if (got == SOCKET_ERROR && (from == nullptr || sa.sin_family != AF_INET)) {
        return -1;
    }
    if (from != nullptr) {
        from->Addr = sa.sin_addr.s_addr;
        from->Port = ntohs(sa.sin_port);
    }
    return got == SOCKET_ERROR ? -1 : got;
}

bool WinCloseSocket(PlatformSocket sock) {
    return sock != PLATFORM_NO_SOCKET && closesocket(ToSocket(sock)) == 0;
}

// The IP Helper answer as it is: 0, ERROR_BUFFER_OVERFLOW (111) with the needed size, or
// another code (ERROR_NO_DATA when there is no adapter).
uint32_t WinGetAdaptersInfo(void* buffer, uint32_t* size) {
    ULONG length = *size;
    DWORD rc = ::GetAdaptersInfo(static_cast<IP_ADAPTER_INFO*>(buffer), &length);
    *size = static_cast<uint32_t>(length);
    return static_cast<uint32_t>(rc);
}

const IP_ADAPTER_INFO* AsAdapter(const void* adapter) {
    return static_cast<const IP_ADAPTER_INFO*>(adapter);
}

} // namespace

static_assert(ERROR_BUFFER_OVERFLOW == PLATFORM_ADAPTERS_BUFFER_OVERFLOW);
static_assert(NO_ERROR == PLATFORM_ADAPTERS_OK);

void BackendNetReset(PlatformOs& os) {
    os.SocketsStart = WinSocketsStart;
    os.HostName = WinHostName;
    os.LookupHost = WinLookupHost;
    os.UdpSocket = WinUdpSocket;
    os.Bind = WinBind;
    os.SetBroadcast = WinSetBroadcast;
    os.SendTo = WinSendTo;
    os.RecvFrom = WinRecvFrom;
    os.CloseSocket = WinCloseSocket;
    os.GetAdaptersInfo = WinGetAdaptersInfo;
}

const void* PlatformAdapterNext(const void* adapter) {
    return AsAdapter(adapter)->Next;
}
// IP Helper gives the description in the ANSI code page; the program's texts are UTF-8.
// Each ANSI byte becomes at most 3 bytes of UTF-8. Called at start-up, on the main thread.
const char* PlatformAdapterDescription(const void* adapter) {
    static char text[sizeof(IP_ADAPTER_INFO::Description) * 3];
    PlatformAnsiToUtf8(AsAdapter(adapter)->Description, text, sizeof(text));
    return text;
}
const char* PlatformAdapterIp(const void* adapter) {
    return AsAdapter(adapter)->IpAddressList.IpAddress.String;
}
const char* PlatformAdapterMask(const void* adapter) {
    return AsAdapter(adapter)->IpAddressList.IpMask.String;
}

uint32_t PlatformInetAddr(const char* text) {
    return inet_addr(text);
}
