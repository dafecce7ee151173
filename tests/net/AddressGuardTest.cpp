#include <gtest/gtest.h>
#ifndef _WIN32
#include <netinet/in.h>
#endif

#include <cstring>

#include "net/AddressGuard.h"

namespace norvo {
namespace {

sockaddr_in6 V6(const char* text, int port) {
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(static_cast<uint16_t>(port));
    const auto ip = IpAddress::Parse(text);
    EXPECT_TRUE(ip && ip->v6) << text;
    if (ip)
        std::memcpy(&a.sin6_addr, ip->bytes.data(), 16);
    return a;
}

sockaddr_in V4(const char* text, int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    const auto ip = IpAddress::Parse(text);
    EXPECT_TRUE(ip && !ip->v6) << text;
    if (ip)
        std::memcpy(&a.sin_addr, ip->bytes.data(), 4);
    return a;
}

TEST(AddressClassification, EveryNonPublicRangeAndItsNeighbours) {
    const struct {
        const char* address;
        bool nonPublic;
    } cases[] = {
        {"0.0.0.0", true},
        {"10.0.0.1", true},
        {"10.255.255.255", true},
        {"11.0.0.1", false},
        {"100.64.0.1", true},
        {"100.128.0.1", false},
        {"127.0.0.1", true},
        {"127.255.0.9", true},
        {"169.254.169.254", true},
        {"169.255.0.1", false},
        {"172.15.255.255", false},
        {"172.16.0.1", true},
        {"172.31.255.255", true},
        {"172.32.0.0", false},
        {"192.168.1.1", true},
        {"192.169.0.1", false},
        {"224.0.0.1", true},
        {"239.255.255.250", true},
        {"255.255.255.255", true},
        {"198.18.0.1", true},
        {"8.8.8.8", false},
        {"208.80.154.224", false},
        {"::", true},
        {"::1", true},
        {"::ffff:127.0.0.1", true},
        {"::ffff:8.8.8.8", false},
        {"64:ff9b::10.0.0.1", true},
        {"64:ff9b::8.8.8.8", false},
        {"2002:a00:1::", true},
        {"2002:808:808::", false},
        {"fc00::1", true},
        {"fdff::1", true},
        {"fe80::1", true},
        {"fec0::1", true},
        {"ff02::1", true},
        {"2001:db8::1", true},
        {"2620:0:862:ed1a::1", false},
    };
    for (const auto& c : cases) {
        const auto ip = IpAddress::Parse(c.address);
        ASSERT_TRUE(ip) << c.address;
        EXPECT_EQ(IsNonPublic(*ip), c.nonPublic) << c.address;
    }
}

TEST(AddressGuardList, LetsExactlyTheNamedEndpointsThrough) {
    const auto guard = AddressGuard::FromList(" 127.0.0.1:8123 ,[::1]:9000");
    ASSERT_TRUE(guard);
    const sockaddr_in named = V4("127.0.0.1", 8123);
    const sockaddr_in otherPort = V4("127.0.0.1", 8124);
    const sockaddr_in otherHost = V4("127.0.0.2", 8123);
    const sockaddr_in6 namedV6 = V6("::1", 9000);
    const sockaddr_in6 mappedV4 = V6("::ffff:127.0.0.1", 8123);
    const sockaddr_in publicV4 = V4("93.184.216.34", 443);
    auto allows = [&](const auto& a) {
        return guard->Allows(reinterpret_cast<const sockaddr*>(&a), sizeof a);
    };
    EXPECT_TRUE(allows(named));
    EXPECT_FALSE(allows(otherPort));
    EXPECT_FALSE(allows(otherHost));
    EXPECT_TRUE(allows(namedV6));
    EXPECT_FALSE(allows(mappedV4));
    EXPECT_TRUE(allows(publicV4));
    // A socket address cut short is never trusted.
    EXPECT_FALSE(guard->Allows(reinterpret_cast<const sockaddr*>(&publicV4), 4));

    const auto none = AddressGuard::FromList("");
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->NamesEndpoints());
    EXPECT_FALSE(none->Allows(reinterpret_cast<const sockaddr*>(&named), sizeof named));
}

TEST(AddressGuardList, RefusesMalformedEntriesByName) {
    for (const char* bad :
         {"localhost:80", "127.0.0.1", "127.0.0.1:", "127.0.0.1:0", "127.0.0.1:65536",
          "127.0.0.1:8x", "::1:80", "[127.0.0.1]:80", "[::1]", "1.2.3:80"}) {
        std::string entry;
        EXPECT_FALSE(AddressGuard::FromList(std::string("127.0.0.1:1,") + bad, &entry)) << bad;
        EXPECT_EQ(entry, bad);
    }
}

}  // namespace
}  // namespace norvo
