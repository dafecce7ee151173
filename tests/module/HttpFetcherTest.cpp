// The module's fetcher with sinks of the test's own, against a loopback server.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "HttpcTestSupport.h"
#include "net/HttpFetcher.h"

namespace norvo::test {
namespace {

// A sink that runs out of memory (a search answer growing in a string) must end the transfer
// as a refused write: an exception thrown through libcurl's C frames ends the program.
TEST(HttpFetcherTest, ExceptionsFromTheSinkEndTheTransferAsARefusedWrite) {
    LoopbackServer server;
    server.routes().Get("/body", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(100000, 'b'), "text/plain");
    });
    server.Start();
    const HttpFetcher fetcher{FetchLimits()};
    long httpCode = 0;
    int calls = 0;
    const HttpFetcher::Sink outOfMemory = [&calls](const char*, std::size_t) -> bool {
        ++calls;
        throw std::bad_alloc();
    };
    EXPECT_EQ(fetcher.Fetch(server.Url("/body"), outOfMemory, 1 << 20, httpCode),
              FetchStatus::SinkFailed);
    EXPECT_EQ(calls, 1);
    const HttpFetcher::Sink broken = [](const char*, std::size_t) -> bool {
        throw std::runtime_error("broken sink");
    };
    EXPECT_EQ(fetcher.Fetch(server.Url("/body"), broken, 1 << 20, httpCode),
              FetchStatus::SinkFailed);

    std::string body;
    const HttpFetcher::Sink keep = [&body](const char* data, std::size_t size) {
        body.append(data, size);
        return true;
    };
    EXPECT_EQ(fetcher.Fetch(server.Url("/body"), keep, 1 << 20, httpCode), FetchStatus::Ok);
    EXPECT_EQ(body.size(), 100000u);
}

}  // namespace
}  // namespace norvo::test
