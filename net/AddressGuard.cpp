#include "net/AddressGuard.h"

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include <cstring>

namespace norvo {

namespace {

struct V4Range {
    unsigned char first[4];
    int prefix;
};

// Everything outside the public unicast space, from the IANA special-purpose registry.
constexpr V4Range kNonPublicV4[] = {
    {{0, 0, 0, 0}, 8},        // "this network", the unspecified address
    {{10, 0, 0, 0}, 8},       // private
    {{100, 64, 0, 0}, 10},    // shared address space (carrier NAT)
    {{127, 0, 0, 0}, 8},      // loopback
    {{169, 254, 0, 0}, 16},   // link-local (also cloud metadata services)
    {{172, 16, 0, 0}, 12},    // private
    {{192, 0, 0, 0}, 24},     // protocol assignments
    {{192, 0, 2, 0}, 24},     // documentation
    {{192, 168, 0, 0}, 16},   // private
    {{198, 18, 0, 0}, 15},    // benchmarking
    {{198, 51, 100, 0}, 24},  // documentation
    {{203, 0, 113, 0}, 24},   // documentation
    {{224, 0, 0, 0}, 4},      // multicast
    {{240, 0, 0, 0}, 4},      // reserved, and the broadcast address
};

bool InPrefix(const unsigned char* address, const unsigned char* first, int prefix) {
    const int whole = prefix / 8;
    if (std::memcmp(address, first, static_cast<std::size_t>(whole)) != 0) {
        return false;
    }
    const int rest = prefix % 8;
    if (rest == 0) {
        return true;
    }
    const auto mask = static_cast<unsigned char>(0xFF << (8 - rest));
    return (address[whole] & mask) == (first[whole] & mask);
}

bool IsNonPublicV4(const unsigned char* a) {
    for (const V4Range& range : kNonPublicV4) {
        if (InPrefix(a, range.first, range.prefix)) {
            return true;
        }
    }
    return false;
}

bool IsNonPublicV6(const unsigned char* a) {
    static constexpr unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    static constexpr unsigned char kNat64[12] = {0, 0x64, 0xFF, 0x9B};
    static constexpr unsigned char k6to4[2] = {0x20, 0x02};
    static constexpr unsigned char kTeredo[4] = {0x20, 0x01, 0, 0};
    static constexpr unsigned char kDocumentation[4] = {0x20, 0x01, 0x0D, 0xB8};
    static constexpr unsigned char kDiscard[8] = {0x01, 0x00};
    static constexpr unsigned char kLocalNat64[6] = {0, 0x64, 0xFF, 0x9B, 0, 0x01};

    // Addresses that carry an IPv4 address are judged by it.
    if (std::memcmp(a, kMapped, 12) == 0 || std::memcmp(a, kNat64, 12) == 0) {
        return IsNonPublicV4(a + 12);
    }
    if (std::memcmp(a, k6to4, 2) == 0) {
        return IsNonPublicV4(a + 2);
    }
    return a[0] == 0                                   // ::, ::1, IPv4-compatible, reserved
           || InPrefix(a, kLocalNat64, 48)             // local-use NAT64
           || std::memcmp(a, kDiscard, 8) == 0         // discard-only
           || std::memcmp(a, kTeredo, 4) == 0          // Teredo: the real peer is hidden
           || std::memcmp(a, kDocumentation, 4) == 0   // documentation
           || (a[0] & 0xFE) == 0xFC                    // unique local fc00::/7
           || (a[0] == 0xFE && (a[1] & 0xC0) == 0x80)  // link-local fe80::/10
           || (a[0] == 0xFE && (a[1] & 0xC0) == 0xC0)  // site-local fec0::/10
           || a[0] == 0xFF;                            // multicast
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

}  // namespace

std::optional<IpAddress> IpAddress::FromSockaddr(const sockaddr* address, socklen_t length,
                                                 int* port) {
    if (address == nullptr) {
        return std::nullopt;
    }
    IpAddress ip;
    if (address->sa_family == AF_INET && length >= static_cast<socklen_t>(sizeof(sockaddr_in))) {
        sockaddr_in in{};
        std::memcpy(&in, address, sizeof in);
        std::memcpy(ip.bytes.data(), &in.sin_addr, 4);
        if (port)
            *port = ntohs(in.sin_port);
        return ip;
    }
    if (address->sa_family == AF_INET6 && length >= static_cast<socklen_t>(sizeof(sockaddr_in6))) {
        sockaddr_in6 in6{};
        std::memcpy(&in6, address, sizeof in6);
        ip.v6 = true;
        std::memcpy(ip.bytes.data(), &in6.sin6_addr, 16);
        if (port)
            *port = ntohs(in6.sin6_port);
        return ip;
    }
    return std::nullopt;
}

std::optional<IpAddress> IpAddress::Parse(const std::string& text) {
    IpAddress ip;
    if (inet_pton(AF_INET, text.c_str(), ip.bytes.data()) == 1) {
        return ip;
    }
    ip.v6 = true;
    if (inet_pton(AF_INET6, text.c_str(), ip.bytes.data()) == 1) {
        return ip;
    }
    return std::nullopt;
}

bool IsNonPublic(const IpAddress& address) {
    return address.v6 ? IsNonPublicV6(address.bytes.data()) : IsNonPublicV4(address.bytes.data());
}

std::optional<AddressGuard> AddressGuard::FromList(std::string_view list, std::string* bad) {
    AddressGuard guard;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string_view entry = Trimmed(list.substr(start, comma - start));
        start = comma + 1;
        if (entry.empty()) {
            continue;
        }
        auto refuse = [&] {
            if (bad)
                *bad = std::string(entry);
            return std::nullopt;
        };
        const std::size_t colon = entry.rfind(':');
        if (colon == std::string_view::npos || colon + 1 == entry.size() ||
            entry.size() - colon - 1 > 5) {
            return refuse();
        }
        std::string_view host = entry.substr(0, colon);
        const bool bracketed = host.size() >= 2 && host.front() == '[' && host.back() == ']';
        if (bracketed) {
            host = host.substr(1, host.size() - 2);
        }
        const std::optional<IpAddress> address = IpAddress::Parse(std::string(host));
        if (!address || address->v6 != bracketed) {
            return refuse();
        }
        int port = 0;
        for (const char c : entry.substr(colon + 1)) {
            if (c < '0' || c > '9') {
                return refuse();
            }
            port = port * 10 + (c - '0');
        }
        if (port < 1 || port > 65535) {
            return refuse();
        }
        guard.m_allowed.push_back({*address, port});
    }
    return guard;
}

bool AddressGuard::Allows(const sockaddr* address, socklen_t length) const {
    int port = 0;
    const std::optional<IpAddress> ip = IpAddress::FromSockaddr(address, length, &port);
    if (!ip) {
        return false;  // neither IPv4 nor IPv6: nothing a web fetch needs
    }
    if (!IsNonPublic(*ip)) {
        return true;
    }
    for (const Endpoint& endpoint : m_allowed) {
        if (endpoint.address == *ip && endpoint.port == port) {
            return true;
        }
    }
    return false;
}

}  // namespace norvo
