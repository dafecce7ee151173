// The guard as curl meets it: names, redirects and literal addresses that lead into local or
// private networks are refused before any connection is made.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>

#include "../module/HttpcTestSupport.h"
#include "net/HttpFetcher.h"

namespace norvo {
namespace {

// A listening socket nobody accepts on: a connection attempt leaves it readable.
class SilentListener {
public:
    explicit SilentListener(bool v6) {
        m_fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage storage{};
        socklen_t size = 0;
        if (v6) {
            auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
            a->sin6_family = AF_INET6;
            a->sin6_addr = in6addr_loopback;
            size = sizeof *a;
        } else {
            auto* a = reinterpret_cast<sockaddr_in*>(&storage);
            a->sin_family = AF_INET;
            a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            size = sizeof *a;
        }
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&storage), size) != 0 ||
            ::listen(m_fd, 8) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&storage), &size) != 0) {
            return;
        }
        m_port = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                          : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
    }
    ~SilentListener() {
        if (m_fd >= 0) ::close(m_fd);
    }
    int port() const { return m_port; }
    bool SawConnection() const {
        pollfd p{m_fd, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
    }

private:
    int m_fd = -1;
    int m_port = 0;
};

FetchLimits ShortLimits() {
    FetchLimits limits;
    limits.connectTimeoutSeconds = 5;
    limits.transferTimeoutSeconds = 10;
    return limits;
}

FetchStatus Fetch(const HttpFetcher& fetcher, const std::string& address, std::string* body = nullptr) {
    std::string sink;
    long code = 0;
    const FetchStatus status = fetcher.Fetch(
        address,
        [&](const char* data, std::size_t size) {
            sink.append(data, size);
            return true;
        },
        1 << 20, code);
    if (body) *body = sink;
    return status;
}

class GuardedFetch : public ::testing::Test {
protected:
    void SetUp() override {
        m_allowed.routes().Get("/ok", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("fine", "text/plain");
        });
        m_allowed.routes().Get("/to", [](const httplib::Request& req, httplib::Response& res) {
            res.set_redirect(req.get_param_value("where"));
        });
        m_allowed.Start();
        m_guard = *AddressGuard::FromList("127.0.0.1:" + std::to_string(m_allowed.port()));
    }
    HttpFetcher Guarded() const {
        return HttpFetcher(ShortLimits(), FetchOptions{.userAgent = "test", .guard = &m_guard});
    }
    std::string RedirectTo(const std::string& where) const {
        std::string encoded;
        for (const char c : where) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
            encoded += std::isalnum(static_cast<unsigned char>(c)) ? std::string(1, c) : hex;
        }
        return m_allowed.Url("/to?where=" + encoded);
    }

    test::LoopbackServer m_allowed;
    AddressGuard m_guard;
};

TEST_F(GuardedFetch, TheNamedEndpointAnswersAndEveryOtherLocalOneIsNeverContacted) {
    std::string body;
    EXPECT_EQ(Fetch(Guarded(), m_allowed.Url("/ok"), &body), FetchStatus::Ok);
    EXPECT_EQ(body, "fine");

    SilentListener other(false);
    ASSERT_GT(other.port(), 0);
    const std::string port = std::to_string(other.port());
    for (const std::string& address :
         {"http://127.0.0.1:" + port + "/x", "http://localhost:" + port + "/x",
          "http://sub.localhost:" + port + "/x", "http://127.1:" + port + "/x",
          "http://2130706433:" + port + "/x", RedirectTo("http://127.0.0.1:" + port + "/x"),
          RedirectTo("http://localhost:" + port + "/x")}) {
        EXPECT_EQ(Fetch(Guarded(), address), FetchStatus::AddressRefused) << address;
    }
    EXPECT_FALSE(other.SawConnection());
    // Without the guard the same address is reached: the listener is a real one.
    HttpFetcher(FetchLimits{.connectTimeoutSeconds = 1, .probeTimeoutSeconds = 1})
        .Probe("http://127.0.0.1:" + port + "/x");
    EXPECT_TRUE(other.SawConnection());
}

TEST_F(GuardedFetch, PrivateLinkLocalAndIpv6LocalAddressesAreRefusedAtOnce) {
    SilentListener v6(true);
    std::vector<std::string> addresses = {
        "http://10.0.0.1/x",          "http://169.254.169.254/latest/meta-data/",
        "http://192.168.1.1/",        "http://[fc00::1]/x",
        "http://[fe80::1%25lo]/x",    "http://0.0.0.0:" + std::to_string(m_allowed.port()) + "/ok",
        RedirectTo("http://10.1.2.3/x"), RedirectTo("http://[fd00::7]:8080/x"),
    };
    if (v6.port() > 0) {
        addresses.push_back("http://[::1]:" + std::to_string(v6.port()) + "/x");
        addresses.push_back(RedirectTo("http://[::1]:" + std::to_string(v6.port()) + "/x"));
    }
    for (const std::string& address : addresses) {
        EXPECT_EQ(Fetch(Guarded(), address), FetchStatus::AddressRefused) << address;
    }
    if (v6.port() > 0) {
        EXPECT_FALSE(v6.SawConnection());
    }
}

}  // namespace
}  // namespace norvo
