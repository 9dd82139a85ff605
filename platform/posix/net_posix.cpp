// POSIX backend: UDP sockets, host look-up and the adapter list.
#include "platform/backend.h"
#include "platform/platform.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// One adapter of the list that PosixGetAdaptersInfo writes. It is padded to the size of the
// Win32 adapter record, so that, as there, the first 648-byte buffer holds one adapter only.
struct PosixAdapter {
    const PosixAdapter* Next;
    char Description[132];
    char Ip[16];
    char Mask[16];
    char Padding[640 - sizeof(void*) - 132 - 32];
};
static_assert(sizeof(PosixAdapter) == 640);

bool PosixSocketsStart() {
    return true;
}

bool PosixHostName(char* out, size_t size) {
    if (gethostname(out, size) != 0) {
        return false;
    }
    out[size - 1] = '\0';
    return true;
}

bool PosixLookupHost(const char* name, char* officialName, size_t size, uint32_t* firstAddr,
                     bool* hasAddr) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* result = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &result) != 0 || result == nullptr) {
        return false;
    }
    const char* canon = result->ai_canonname != nullptr ? result->ai_canonname : name;
    snprintf(officialName, size, "%s", canon);
    *hasAddr = false;
    for (addrinfo* ai = result; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET) {
            *firstAddr = reinterpret_cast<sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr;
            *hasAddr = true;
            break;
        }
    }
    freeaddrinfo(result);
    return true;
}

PlatformSocket PosixUdpSocket(bool udpProtocol) {
    int fd = socket(AF_INET, SOCK_DGRAM, udpProtocol ? IPPROTO_UDP : 0);
    return fd < 0 ? PLATFORM_NO_SOCKET : fd;
}

sockaddr_in ToSockaddr(NetAddr addr) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(addr.Port);
    sa.sin_addr.s_addr = addr.Addr;
    return sa;
}

bool PosixBind(PlatformSocket sock, NetAddr addr) {
    sockaddr_in sa = ToSockaddr(addr);
    return bind(static_cast<int>(sock), reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) == 0;
}

bool PosixSetBroadcast(PlatformSocket sock, int32_t value) {
    int v = value;
    return setsockopt(static_cast<int>(sock), SOL_SOCKET, SO_BROADCAST, &v, sizeof(v)) == 0;
}

int32_t PosixSendTo(PlatformSocket sock, const void* data, size_t size, NetAddr to) {
    if (sock == PLATFORM_NO_SOCKET) {
        return -1;
    }
    sockaddr_in sa = ToSockaddr(to);
    ssize_t sent =
        sendto(static_cast<int>(sock), data, size, 0, reinterpret_cast<sockaddr*>(&sa), sizeof(sa));
    return sent < 0 ? -1 : static_cast<int32_t>(sent);
}

int32_t PosixRecvFrom(PlatformSocket sock, void* data, size_t size, NetAddr* from) {
    sockaddr_in sa{};
    socklen_t len = sizeof(sa);
    ssize_t got;
    do {
        // MSG_TRUNC reports the datagram's real length, so that one larger than the buffer
        // is an error here as it is on Windows.
        got = recvfrom(static_cast<int>(sock), data, size, MSG_TRUNC,
                       reinterpret_cast<sockaddr*>(&sa), &len);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        return -1;
    }
    // The sender is known also for a datagram too large for the buffer (see platform.h).
    if (from != nullptr) {
        from->Addr = sa.sin_addr.s_addr;
        from->Port = ntohs(sa.sin_port);
    }
    return static_cast<size_t>(got) > size ? -1 : static_cast<int32_t>(got);
}

bool PosixCloseSocket(PlatformSocket sock) {
    return sock != PLATFORM_NO_SOCKET && close(static_cast<int>(sock)) == 0;
}

// The IPv4 adapters that are not loopback, in the kernel's order, the name as description.
uint32_t PosixGetAdaptersInfo(void* buffer, uint32_t* size) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return 1;
    }
    uint32_t count = 0;
    for (ifaddrs* ifa = list; ifa != nullptr; ifa = ifa->ifa_next) {
        if (ifa->ifa_addr != nullptr && ifa->ifa_addr->sa_family == AF_INET &&
            (ifa->ifa_flags & IFF_LOOPBACK) == 0) {
            ++count;
        }
    }
    if (count == 0) {
        freeifaddrs(list);
        return 232; // no data: the host has no adapters
    }
    uint32_t needed = count * static_cast<uint32_t>(sizeof(PosixAdapter));
    if (buffer == nullptr || *size < needed) {
        *size = needed;
        freeifaddrs(list);
        return PLATFORM_ADAPTERS_BUFFER_OVERFLOW;
    }
    auto* out = static_cast<PosixAdapter*>(buffer);
    uint32_t n = 0;
    for (ifaddrs* ifa = list; ifa != nullptr; ifa = ifa->ifa_next) {
        if (ifa->ifa_addr == nullptr || ifa->ifa_addr->sa_family != AF_INET ||
            (ifa->ifa_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        PosixAdapter& a = out[n];
        memset(&a, 0, sizeof(a));
        snprintf(a.Description, sizeof(a.Description), "%s", ifa->ifa_name);
        PlatformInetNtoa(reinterpret_cast<sockaddr_in*>(ifa->ifa_addr)->sin_addr.s_addr, a.Ip);
        uint32_t mask = ifa->ifa_netmask != nullptr
                            ? reinterpret_cast<sockaddr_in*>(ifa->ifa_netmask)->sin_addr.s_addr
                            : 0;
        PlatformInetNtoa(mask, a.Mask);
        a.Next = (n + 1 < count) ? &out[n + 1] : nullptr;
        ++n;
    }
    freeifaddrs(list);
    return PLATFORM_ADAPTERS_OK;
}

} // namespace

void BackendNetReset(PlatformOs& os) {
    os.SocketsStart = PosixSocketsStart;
    os.HostName = PosixHostName;
    os.LookupHost = PosixLookupHost;
    os.UdpSocket = PosixUdpSocket;
    os.Bind = PosixBind;
    os.SetBroadcast = PosixSetBroadcast;
    os.SendTo = PosixSendTo;
    os.RecvFrom = PosixRecvFrom;
    os.CloseSocket = PosixCloseSocket;
    os.GetAdaptersInfo = PosixGetAdaptersInfo;
}

const void* PlatformAdapterNext(const void* adapter) {
    return static_cast<const PosixAdapter*>(adapter)->Next;
}
const char* PlatformAdapterDescription(const void* adapter) {
    return static_cast<const PosixAdapter*>(adapter)->Description;
}
const char* PlatformAdapterIp(const void* adapter) {
    return static_cast<const PosixAdapter*>(adapter)->Ip;
}
const char* PlatformAdapterMask(const void* adapter) {
    return static_cast<const PosixAdapter*>(adapter)->Mask;
}

uint32_t PlatformInetAddr(const char* text) {
    return inet_addr(text);
}

bool PlatformAnsiToUtf8(const char* text, char* out, size_t size) {
    if (size == 0) {
        return false;
    }
    if (PlatformCopyName(text, out, size)) {
        return true;
    }
    size_t len = size - 1;
    while (len > 0 && (static_cast<unsigned char>(text[len]) & 0xC0) == 0x80) {
        --len; // cut before a character, not inside one
    }
    memcpy(out, text, len);
    out[len] = '\0';
    return false;
}
