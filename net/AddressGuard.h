#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <sys/socket.h>
#endif

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norvo {

// An IP address as a connection uses it, bytes in network order.
struct IpAddress {
    bool v6 = false;
    std::array<unsigned char, 16> bytes{};  // IPv4 uses the first four

    // The address (and port, when asked) of an IPv4 or IPv6 socket address; nullopt for any
    // other family or a length too short for its family.
    static std::optional<IpAddress> FromSockaddr(const sockaddr* address, socklen_t length,
                                                 int* port = nullptr);
    // A literal "192.0.2.1" or "2001:db8::1" (no brackets); nullopt for anything else.
    static std::optional<IpAddress> Parse(const std::string& text);

    friend bool operator==(const IpAddress&, const IpAddress&) = default;
};

// True for every address a fetch made on behalf of a web answer must not reach: loopback,
// private and shared networks, link-local, multicast, unspecified, broadcast and reserved
// ranges, IPv6 unique-local and site-local, and IPv4 addresses carried inside IPv6 (mapped,
// NAT64, 6to4) when the carried address is one of those.
bool IsNonPublic(const IpAddress& address);

// Decides which addresses a guarded fetch may connect to: every public address, and the
// non-public ones only where an endpoint (address and port) was named explicitly.
class AddressGuard {
public:
    // "HOST:PORT[,HOST:PORT...]" with HOST an IPv4 literal or a bracketed IPv6 literal and
    // PORT 1 to 65535; spaces around entries are ignored and an empty list names nothing.
    // nullopt for a malformed list, with the offending entry in `bad`.
    static std::optional<AddressGuard> FromList(std::string_view list, std::string* bad = nullptr);

    // Whether a connection to this socket address may be opened.
    bool Allows(const sockaddr* address, socklen_t length) const;

    bool NamesEndpoints() const { return !m_allowed.empty(); }

private:
    struct Endpoint {
        IpAddress address;
        int port = 0;
    };
    std::vector<Endpoint> m_allowed;
};

}  // namespace norvo
