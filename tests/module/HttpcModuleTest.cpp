// httpc.so through its real exports against loopback servers.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "HttpcTestSupport.h"

namespace norvo::test {
namespace {

using namespace std::string_literals;

constexpr std::size_t kFileCap = 32u * 1024 * 1024;
constexpr std::size_t kMemoryCap = 8u * 1024 * 1024;
const std::string kStart = "\"url\":\"";
const std::string kEnd = "\",\"";

// Every byte value, so that no text-mode translation can go unnoticed.
std::string BinaryPayload(std::size_t size) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    }
    return data;
}

// Bytes in chunks without a declared length; stops at `size` (or when the client leaves).
void ServeChunked(httplib::Response& res, std::size_t size) {
    res.set_chunked_content_provider(
        "application/octet-stream", [size](std::size_t offset, httplib::DataSink& sink) {
            static const std::string block(64 * 1024, 'c');
            if (offset >= size) {
                sink.done();
                return true;
            }
            return sink.write(block.data(), std::min(block.size(), size - offset));
        });
}

std::size_t SizeParam(const httplib::Request& req) {
    return static_cast<std::size_t>(std::stoull(req.matches[1].str()));
}

class HttpcModuleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_module = std::make_unique<ModuleLibrary>(HTTPC_MODULE_PATH); }
    static void TearDownTestSuite() { s_module.reset(); }

    void SetUp() override {
        auto& r = m_server.routes();
        r.Get("/file", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(BinaryPayload(300 * 1024 + 17), "application/octet-stream");
        });
        r.Get(R"(/status/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            res.status = static_cast<int>(SizeParam(req));
            res.set_content("error page with \"url\":\"http://x/e.jpg\",\"", "text/html");
        });
        r.Get(R"(/redirect/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            const std::size_t left = SizeParam(req);
            if (left == 0) {
                res.set_content("arrived", "text/plain");
            } else {
                res.set_redirect("/redirect/" + std::to_string(left - 1));
            }
        });
        r.Get("/to-file", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("file:///etc/hostname");
        });
        r.Get(R"(/bytes/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(std::string(SizeParam(req), 'z'), "application/octet-stream");
        });
        r.Get(R"(/chunked/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            ServeChunked(res, SizeParam(req));
        });
        r.Get("/endless", [](const httplib::Request&, httplib::Response& res) {
            ServeChunked(res, 1024u * 1024 * 1024);
        });
        // A few bytes, then nothing: only the low-speed or transfer limit ends the wait.
        r.Get("/stall", [this](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/plain",
                                             [this](std::size_t offset, httplib::DataSink& sink) {
                                                 if (offset == 0) {
                                                     return sink.write("x", 1);
                                                 }
                                                 WaitUntilStopping();
                                                 return false;
                                             });
        });
        r.Get("/text", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(m_body, "application/json");
        });
        ServeTrickle(m_server, "/trickle", m_trickleArrivals);
        m_server.Start();
        ASSERT_EQ(s_module->Load(m_folder.Text()), 0);
    }

    void TearDown() override {
        s_module->Unload();
        m_server.Stop();
    }

    void WaitUntilStopping() {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (!m_server.stopping() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    Answer Store(const std::string& path, const std::string& name) {
        return s_module->Request({m_server.Url(path), name});
    }

    static std::unique_ptr<ModuleLibrary> s_module;
    LoopbackServer m_server;
    WorkFolder m_folder;
    std::string m_body;
    std::atomic<int> m_trickleArrivals{0};
};

std::unique_ptr<ModuleLibrary> HttpcModuleTest::s_module;

TEST_F(HttpcModuleTest, StoresTheBodyByteForByteAndLeavesNothingElse) {
    const Answer answer = Store("/file", "photo.jpg");
    EXPECT_EQ(answer.raw, "SAORI/1.0 200 OK\r\nResult: 1\r\n\r\n");
    EXPECT_EQ(ReadFile(m_folder / "photo.jpg"), BinaryPayload(300 * 1024 + 17));
    EXPECT_EQ(m_folder.Entries(), (std::set<std::string>{"photo.jpg"}));
#ifndef _WIN32
    // Windows has no mode bits: there the work folder's access list keeps others out.
    EXPECT_EQ(
        std::filesystem::status(m_folder / "photo.jpg").permissions() & std::filesystem::perms::all,
        std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif
}

TEST_F(HttpcModuleTest, ReplacesAnEarlierFileOfTheSameName) {
    std::ofstream(m_folder / "tmpfile.xml") << "old answer";
    EXPECT_EQ(Store("/redirect/0", "tmpfile.xml").code, 200);
    EXPECT_EQ(ReadFile(m_folder / "tmpfile.xml"), "arrived");
}

TEST_F(HttpcModuleTest, FailedStoresLeaveNoFileOfThatName) {
    const struct {
        const char* path;
        const char* reason;
    } cases[] = {
        {"/status/404", "server answered with an error status 404"},
        {"/status/500", "server answered with an error status 500"},
        {"/status/302", "server answered with an error status 302"},  // redirect without target
        {"/redirect/6", "too many redirects"},
        {"/to-file", "redirect to a scheme other than http or https refused"},
        {"/endless", "answer too large"},
        {"/chunked/33554433", "answer too large"},  // counted as it arrives
        {"/bytes/33554433", "answer too large"},    // refused on the declared length
    };
    for (const auto& c : cases) {
        // A stale file of the name must not pass for the answer either.
        std::ofstream(m_folder / "out.bin") << "stale";
        const Answer answer = Store(c.path, "out.bin");
        EXPECT_EQ(answer.code, 500) << c.path;
        EXPECT_EQ(answer["Result"], "0") << c.path;
        EXPECT_EQ(answer["Reason"], c.reason) << c.path;
        EXPECT_TRUE(m_folder.Entries().empty()) << c.path;
    }
}

TEST_F(HttpcModuleTest, LimitsAcceptTheirOwnSize) {
    EXPECT_EQ(Store("/redirect/5", "five.txt").code, 200);
    EXPECT_EQ(ReadFile(m_folder / "five.txt"), "arrived");
    EXPECT_EQ(Store("/bytes/" + std::to_string(kFileCap), "declared.bin").code, 200);
    EXPECT_EQ(std::filesystem::file_size(m_folder / "declared.bin"), kFileCap);
    EXPECT_EQ(Store("/chunked/" + std::to_string(kFileCap), "counted.bin").code, 200);
    EXPECT_EQ(std::filesystem::file_size(m_folder / "counted.bin"), kFileCap);
}

TEST_F(HttpcModuleTest, StalledServerTimesOut) {
    // The module's low-speed limit ends the wait; the server would hold on far longer.
    const Answer answer = Store("/stall", "slow.txt");
    EXPECT_EQ(answer.code, 500);
    EXPECT_EQ(answer["Reason"], "timed out");
    EXPECT_TRUE(m_folder.Entries().empty());
}

// Cancelled from another thread, a store in flight ends at once (before any limit would end it)
// and leaves no file; every later request fails without reaching the server, until a new load.
TEST_F(HttpcModuleTest, CancelEndsTheStoreInFlightAndLaterRequestsUntilTheNextLoad) {
    const std::atomic<int>& arrivals = m_trickleArrivals;
    auto store = std::async(std::launch::async, [this] { return Store("/trickle", "slow.txt"); });
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (arrivals == 0 && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(arrivals, 1);
    s_module->Cancel();
    ASSERT_EQ(store.wait_for(std::chrono::seconds(120)), std::future_status::ready);
    const Answer answer = store.get();
    EXPECT_EQ(answer.code, 500);
    EXPECT_EQ(answer["Reason"], "cancelled");
    EXPECT_TRUE(m_folder.Entries().empty());

    EXPECT_EQ(Store("/trickle", "again.txt")["Reason"], "cancelled");
    EXPECT_EQ(s_module->Request({m_server.Url("/text"), "a", "b"})["Reason"], "cancelled");
    EXPECT_EQ(arrivals, 1);

    s_module->Unload();
    ASSERT_EQ(s_module->Load(m_folder.Text()), 0);
    EXPECT_EQ(Store("/file", "photo.jpg").code, 200);
}

TEST_F(HttpcModuleTest, BadStoreArgumentsAreRefusedWithoutWritingAnything) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {m_server.Url("/file"), ""},
        {m_server.Url("/file"), "."},
        {m_server.Url("/file"), ".."},
        {m_server.Url("/file"), "../escaped.jpg"},
        {m_server.Url("/file"), "/tmp/escaped.jpg"},
        {m_server.Url("/file"), "..\\escaped.jpg"},
        {m_server.Url("/file"), "a\tb"},
        {m_server.Url("/file"), std::string(201, 'n')},
        {"", "a.jpg"},
        {"file:///etc/hostname", "a.jpg"},
        {"ftp://127.0.0.1/a.jpg", "a.jpg"},
        {"127.0.0.1/no-scheme.jpg", "a.jpg"},
        {m_server.Url("/file") + " x", "a.jpg"},
    };
    const auto outside = m_folder.path().parent_path() / "escaped.jpg";
    for (const auto& [address, name] : cases) {
        const Answer answer = s_module->Request({address, name});
        EXPECT_EQ(answer.code, 400) << address << " " << name;
        EXPECT_EQ(answer["Result"], "0");
        EXPECT_FALSE(answer["Reason"].empty());
        EXPECT_TRUE(m_folder.Entries().empty()) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(outside));
    // A name of exactly the limit is fine.
    EXPECT_EQ(Store("/file", std::string(200, 'n')).code, 200);
}

TEST_F(HttpcModuleTest, CutsMarkerTextsIntoResultAndValues) {
    auto item = [](const std::string& t) { return "{" + kStart + t + kEnd + "w\":1},"; };
    const struct {
        const char* rule;
        std::string body;
        std::map<std::string, std::string> expected;
    } cases[] = {
        {"none", "{\"results\":[]}", {}},
        {"one", item("http://a/1.jpg"), {{"Result", "http://a/1.jpg"}}},
        {"four",
         item("1") + item("2") + item("3") + item("4"),
         {{"Result", "1"}, {"Value0", "2"}, {"Value1", "3"}, {"Value2", "4"}}},
        {"six",
         item("1") + item("2") + item("3") + item("4") + item("5") + item("6"),
         {{"Result", "1"}, {"Value0", "2"}, {"Value1", "3"}, {"Value2", "4"}}},
        {"markers at the very end", "x" + kStart + "last" + kEnd, {{"Result", "last"}}},
        {"CR LF inside is skipped",
         item("http://a/x\r\nResult: evil") + item("2"),
         {{"Result", "2"}}},
    };
    for (const auto& c : cases) {
        m_body = c.body;
        const Answer answer = s_module->Request({m_server.Url("/text"), kStart, kEnd});
        EXPECT_EQ(answer.code, 200) << c.rule;
        EXPECT_EQ(answer.headers, c.expected) << c.rule;
    }
    EXPECT_TRUE(m_folder.Entries().empty());
}

TEST_F(HttpcModuleTest, CuttingNeedsASuccessfulBodyWithinItsCap) {
    EXPECT_EQ(s_module->Request({m_server.Url("/status/404"), kStart, kEnd}).code, 500);
    EXPECT_EQ(
        s_module->Request({m_server.Url("/bytes/" + std::to_string(kMemoryCap)), kStart, kEnd})
            .code,
        200);
    const Answer over = s_module->Request(
        {m_server.Url("/chunked/" + std::to_string(kMemoryCap + 1)), kStart, kEnd});
    EXPECT_EQ(over.code, 500);
    EXPECT_EQ(over["Reason"], "answer too large");
    EXPECT_EQ(s_module->Request({m_server.Url("/text"), "", kEnd}).code, 400);
    EXPECT_EQ(s_module->Request({m_server.Url("/text"), kStart, ""}).code, 400);
    EXPECT_EQ(s_module->Request({"file:///etc/hostname", kStart, kEnd}).code, 400);
}

TEST_F(HttpcModuleTest, MalformedRequestsGetBadRequest) {
    const std::string cases[] = {
        "",
        "garbage",
        "\0\0\0\0"s,
        "EXECUTE SAORI/1.0\r\n",
        "GET SAORI/1.0\r\n\r\n",
        HostRequest({"only one"}),
        HostRequest({"a", "b", "c", "d"}),
        "EXECUTE SAORI/1.0\r\nArgument1: b\r\nArgument2: c\r\n\r\n",
        HostRequest({"http://127.0.0.1/\r\nbroken line", "a.jpg"}),
        std::string(70 * 1024, 'A'),
    };
    for (const auto& text : cases) {
        const Answer answer = ReadAnswer(s_module->RawRequest(text));
        EXPECT_EQ(answer.code, 400) << text.substr(0, 40);
        EXPECT_EQ(answer["Result"], "0");
    }
    EXPECT_TRUE(m_folder.Entries().empty());
}

TEST_F(HttpcModuleTest, ManyRequestsLeaveNoDescriptorsOpen) {
    const int sockets = CountOpenFds(true);  // the listening socket, no connection yet
    Store("/file", "warm.jpg");              // curl's one-time set-up may keep files open
    const int files = CountOpenFds(false);
    for (int i = 0; i < 10; ++i) {
        Store("/file", "a.jpg");
        Store("/status/404", "b.jpg");
        Store("/chunked/33554433", "c.jpg");
        s_module->Request({m_server.Url("/text"), kStart, kEnd});
    }
    EXPECT_EQ(CountOpenFds(false), files);
    // The server in this process closes its side of each connection a moment after the
    // module has closed its own; wait for that, boundedly.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (CountOpenFds(true) > sockets && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(CountOpenFds(true), sockets);
}

// The connection check reads HTTPC_PROBE_URL at load; these tests set it before any server
// thread runs and load again.
class HttpcConnectionCheckTest : public HttpcModuleTest {
protected:
    void SetUp() override {}
    void TearDown() override {
        s_module->Unload();
        ::unsetenv("HTTPC_PROBE_URL");
    }
};

TEST_F(HttpcConnectionCheckTest, LiveServerAnswersResultOneWhateverItsStatus) {
    LoopbackServer server;  // no routes: every path answers 404
    server.Bind();
    ::setenv("HTTPC_PROBE_URL", server.Url("/").c_str(), 1);
    server.Serve();
    ASSERT_EQ(s_module->Load(m_folder.Text()), 0);
    EXPECT_EQ(s_module->Request({}).raw, "SAORI/1.0 200 OK\r\nResult: 1\r\n\r\n");
}

TEST_F(HttpcConnectionCheckTest, DeadPortOrUnusableAddressAnswersResultZero) {
    for (const std::string& address :
         std::vector<std::string>{"http://127.0.0.1:" + std::to_string(DeadPort()) + "/",
                                  "file:///etc/hostname"s, "not an address"s}) {
        ::setenv("HTTPC_PROBE_URL", address.c_str(), 1);
        ASSERT_EQ(s_module->Load(m_folder.Text()), 0);
        const Answer answer = s_module->Request({});
        EXPECT_EQ(answer.code, 200) << address;
        EXPECT_EQ(answer["Result"], "0") << address;
        s_module->Unload();
    }
}

TEST_F(HttpcConnectionCheckTest, NoProbeAddressAnswersResultZeroWithReason) {
    ::unsetenv("HTTPC_PROBE_URL");
    ASSERT_EQ(s_module->Load(m_folder.Text()), 0);
    const Answer answer = s_module->Request({});
    EXPECT_EQ(answer.code, 200);
    EXPECT_EQ(answer["Result"], "0");
    EXPECT_FALSE(answer["Reason"].empty());
}

// The handover itself: blocks the module owns, odd lengths, calls out of order.
class HttpcExportsTest : public ::testing::Test {
protected:
    void SetUp() override { m_module = std::make_unique<ModuleLibrary>(HTTPC_MODULE_PATH); }
    std::unique_ptr<ModuleLibrary> m_module;
    WorkFolder m_folder;
};

TEST_F(HttpcExportsTest, RequestsOutsideLoadAreRefusedNotCrashed) {
    EXPECT_EQ(m_module->Request({}).code, 500);
    ASSERT_EQ(m_module->Load(m_folder.Text()), 0);
    m_module->Unload();
    EXPECT_EQ(m_module->Request({"http://127.0.0.1/", "a.jpg"}).code, 500);
    EXPECT_EQ(ReadAnswer(m_module->RawRequest("garbage")).code, 400);
}

TEST_F(HttpcExportsTest, OddBlocksAndLengthsAreSafe) {
    using LoadFn = int (*)(char*, long);
    using RequestFn = char* (*)(char*, long*);
#ifdef _WIN32
    auto find = [&](const char* name) {
        return reinterpret_cast<void*>(
            GetProcAddress(static_cast<HMODULE>(m_module->handle()), name));
    };
    // Windows' load answers TRUE when ready.
    constexpr int kReady = 1;
    constexpr int kNotReady = 0;
#else
    auto find = [&](const char* name) { return ::dlsym(m_module->handle(), name); };
    constexpr int kReady = 0;
    constexpr int kNotReady = 1;
#endif
    auto load = reinterpret_cast<LoadFn>(find("load"));
    auto request = reinterpret_cast<RequestFn>(find("request"));

    EXPECT_EQ(load(nullptr, 0), kNotReady);  // no folder
    EXPECT_EQ(load(ModuleLibrary::Alloc(4), -5), kNotReady);
    char* dir = ModuleLibrary::Alloc(m_folder.Text().size());
    std::memcpy(dir, m_folder.Text().data(), m_folder.Text().size() - 1);  // without '/'
    EXPECT_EQ(load(dir, static_cast<long>(m_folder.Text().size() - 1)), kReady);

    long len = 0;
    char* answer = request(nullptr, &len);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(ReadAnswer(std::string(answer, len)).code, 400);
    ModuleLibrary::Free(answer);

    len = -1;
    answer = request(ModuleLibrary::Alloc(1), &len);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(ReadAnswer(std::string(answer, len)).code, 400);
    ModuleLibrary::Free(answer);

    EXPECT_EQ(request(ModuleLibrary::Alloc(1), nullptr), nullptr);
    m_module->Unload();
}

TEST_F(HttpcExportsTest, FolderWithoutTrailingSlashStillStoresInsideIt) {
    LoopbackServer server;
    server.routes().Get("/a", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("body", "text/plain");
    });
    server.Start();
    std::string text = m_folder.Text();
    text.pop_back();
    ASSERT_EQ(m_module->Load(text), 0);
    EXPECT_EQ(m_module->Request({server.Url("/a"), "a.txt"}).code, 200);
    EXPECT_EQ(ReadFile(m_folder / "a.txt"), "body");
    m_module->Unload();
}

}  // namespace
}  // namespace norvo::test

int main(int argc, char** argv) {
    // The module's own limits apply: shorter ones would fail transfers that are only slow
    // because the machine is busy. Set before any thread starts.
    ::unsetenv("HTTPC_TIMEOUT_SECONDS");
    ::unsetenv("HTTPC_LOW_SPEED_SECONDS");
    ::unsetenv("HTTPC_CONNECT_TIMEOUT_SECONDS");
    ::unsetenv("HTTPC_PROBE_URL");
    // Loopback servers must be reached directly, whatever proxy the machine uses.
    ::setenv("no_proxy", "127.0.0.1", 1);
    ::setenv("NO_PROXY", "127.0.0.1", 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
