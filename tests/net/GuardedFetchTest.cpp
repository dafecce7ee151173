// The guard as curl meets it: names, redirects and literal addresses that lead into local or
// private networks are refused before any connection is made.
#include <gtest/gtest.h>
#include "../module/HttpcTestSupport.h"
#include "net/HttpFetcher.h"

namespace norvo {
namespace {

using test::SilentListener;

FetchLimits ShortLimits() {
    FetchLimits limits;
    limits.connectTimeoutSeconds = 5;
    limits.transferTimeoutSeconds = 10;
    return limits;
}

FetchStatus Fetch(const HttpFetcher& fetcher, const std::string& address,
                  std::string* body = nullptr) {
    std::string sink;
    long code = 0;
    const FetchStatus status = fetcher.Fetch(
        address,
        [&](const char* data, std::size_t size) {
            sink.append(data, size);
            return true;
        },
        1 << 20, code);
    if (body)
        *body = sink;
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
        "http://10.0.0.1/x",
        "http://169.254.169.254/latest/meta-data/",
        "http://192.168.1.1/",
        "http://[fc00::1]/x",
        "http://[fe80::1%25lo]/x",
        "http://0.0.0.0:" + std::to_string(m_allowed.port()) + "/ok",
        RedirectTo("http://10.1.2.3/x"),
        RedirectTo("http://[fd00::7]:8080/x"),
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
