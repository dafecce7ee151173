#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>

#include "TestModuleControl.h"
#include "saori/Platform.h"
#include "saori/SaoriHost.h"
#include "saori/WorkFolder.h"

using norvo::HeaderTable;
using norvo::SaoriHost;
using norvo::testing::TestModule;

namespace {

#ifdef _WIN32
// Already in the form a module gets it: backslashes, one at the end.
constexpr char kDir[] = "C:\\srv\\norvo work\\";
#else
constexpr char kDir[] = "/srv/norvo work/";
#endif
constexpr char kHead[] = "EXECUTE SAORI/1.0\r\nSender: norvo\r\nSecurityLevel: Local\r\n";

using namespace std::string_literals;

// A loaded host over the complete test module, whose records start empty.
class SaoriHostTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(host.LoadSaori(), 0) << host.LastLoadError(); }
    void TearDown() override { host.UnloadSaori(); }

    int Ask(const std::string& answer, HeaderTable& table, long reportedLen = TM_REAL_LENGTH) {
        tm.PushAnswer(answer, reportedLen);
        return host.SaoriRequest(0, "", "", "", table);
    }

    TestModule tm;
    SaoriHost host{NORVO_TEST_MODULE_PATH, kDir};
};

// True while the file at `path` is mapped in this process.
bool IsMapped(const char* path) {
#ifdef _WIN32
    // Looked up by the full path's file: GetModuleHandleExA takes no reference.
    HMODULE handle = nullptr;
    const std::string name = std::string(path).substr(std::string(path).find_last_of("/\\") + 1);
    return GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, name.c_str(),
                              &handle) != 0;
#else
    void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle) {
        dlclose(handle);
    }
    return handle != nullptr;
#endif
}

struct AnswerCase {
    const char* rule;
    std::string answer;
    int result;
    HeaderTable table;
};

TEST_F(SaoriHostTest, AnswerGrammar) {
    const AnswerCase cases[] = {
        {"status line alone", "SAORI/1.0 200 OK\r\n\r\n", 0, {}},
        {"status line without line end", "SAORI/1.0 200 OK", 0, {}},
        {"204 is success", "SAORI/1.0 204 No Content\r\nA: 1\r\n\r\n", 0, {{"A", "1"}}},
        {"worked example",
         "SAORI/1.0 200 OK\r\nResult: 1\r\nValue0: x\r\n\r\n",
         0,
         {{"Result", "1"}, {"Value0", "x"}}},
        {"reason words not read", "SAORI/1.0 200 Whatever you like\r\nA: 1\r\n", 0, {{"A", "1"}}},
        {"404 fails", "SAORI/1.0 404 Not Found\r\nA: 1\r\n\r\n", 4, {}},
        {"500 fails", "SAORI/1.0 500 Error\r\n\r\n", 4, {}},
        {"two fields", "SAORI/1.0 200\r\nA: 1\r\n\r\n", 3, {}},
        {"one field", "SAORI/1.0\r\n\r\n", 3, {}},
        {"empty answer", "", 3, {}},
        {"empty status line", "\r\nA: 1\r\n", 3, {}},
        {"double space makes the code empty", "SAORI/1.0  200 OK\r\n\r\n", 4, {}},
        {"code read like atoi", "SAORI/1.0 200xyz OK\r\n\r\n", 0, {}},
        {"atoi skips blanks and sign", "SAORI/1.0 \t+204 OK\r\n\r\n", 0, {}},
        {"huge code does not wrap", "SAORI/1.0 18446744073709551816 OK\r\n\r\n", 4, {}},
        {"bare LF is one line", "SAORI/1.0 200 OK\nResult: 1\n\n", 0, {}},
        {"zero byte ends the answer",
         "SAORI/1.0 200 OK\r\nResult: 1\0\r\nValue0: x\r\n\r\n"s,
         0,
         {{"Result", "1"}}},
        {"zero byte in the status line", "SAORI/1.0 2\0 00 OK\r\n\r\n"s, 3, {}},
        {"colon without space ends headers",
         "SAORI/1.0 200 OK\r\nA: 1\r\nB:2\r\nC: 3\r\n\r\n",
         0,
         {{"A", "1"}}},
        {"empty line ends headers", "SAORI/1.0 200 OK\r\nA: 1\r\n\r\nB: 2\r\n", 0, {{"A", "1"}}},
        {"later duplicate wins", "SAORI/1.0 200 OK\r\nA: 1\r\nA: 2\r\n\r\n", 0, {{"A", "2"}}},
        {"value ends at colon-space", "SAORI/1.0 200 OK\r\nA: x: y: z\r\n\r\n", 0, {{"A", "x"}}},
        {"empty value", "SAORI/1.0 200 OK\r\nA: \r\n\r\n", 0, {{"A", ""}}},
        {"empty name", "SAORI/1.0 200 OK\r\n: v\r\n\r\n", 0, {{"", "v"}}},
        {"names are case-sensitive and untrimmed",
         "SAORI/1.0 200 OK\r\na: 1\r\nA: 2\r\n A: 3\r\n",
         0,
         {{"a", "1"}, {"A", "2"}, {" A", "3"}}},
        {"value keeps bare CR and LF",
         "SAORI/1.0 200 OK\r\nA: x\ry\nz\r\n\r\n",
         0,
         {{"A", "x\ry\nz"}}},
    };
    for (const AnswerCase& c : cases) {
        HeaderTable table{{"stale", "1"}};
        EXPECT_EQ(Ask(c.answer, table), c.result) << c.rule;
        EXPECT_EQ(table, c.table) << c.rule;
    }
}

TEST_F(SaoriHostTest, AnswerLengthFromTheModule) {
    HeaderTable table;
    // Only the told length is read, even if the block holds more.
    const std::string answer = "SAORI/1.0 200 OK\r\nA: 12345\r\n";
    EXPECT_EQ(Ask(answer, table, static_cast<long>(answer.size()) - 5), 0);
    EXPECT_EQ(table, (HeaderTable{{"A", "12"}}));
    // Length 0 is an empty answer.
    EXPECT_EQ(Ask(answer, table, 0), 3);
    EXPECT_TRUE(table.empty());
    // A negative length is no answer at all.
    table = {{"stale", "1"}};
    EXPECT_EQ(Ask(answer, table, -7), 3);
    EXPECT_TRUE(table.empty());
}

TEST_F(SaoriHostTest, AnswerLengthLimit) {
    // The told length is checked before reading; the zero byte stops the read inside the block.
    const std::string answer = "SAORI/1.0 200 OK\r\nA: 1\r\n\r\n\0"s;
    HeaderTable table;
    EXPECT_EQ(Ask(answer, table, norvo::kMaxSaoriAnswerBytes), 0);
    EXPECT_EQ(table, (HeaderTable{{"A", "1"}}));
    EXPECT_EQ(Ask(answer, table, norvo::kMaxSaoriAnswerBytes + 1), 2);
    EXPECT_TRUE(table.empty());
}

TEST_F(SaoriHostTest, NullAnswerBlockIsAnEmptyAnswer) {
    HeaderTable table{{"stale", "1"}};
    tm.PushNullAnswer();
    EXPECT_EQ(host.SaoriRequest(0, "", "", "", table), 3);
    EXPECT_TRUE(table.empty());
}

TEST_F(SaoriHostTest, MultiMegabyteAnswers) {
    HeaderTable table;
    // Many headers.
    std::string answer = "SAORI/1.0 200 OK\r\n";
    for (int i = 0; i < 200'000; ++i) {
        answer += "Name" + std::to_string(i) + ": value " + std::to_string(i) + "\r\n";
    }
    answer += "\r\n";
    ASSERT_GT(answer.size(), 4'000'000u);
    EXPECT_EQ(Ask(answer, table), 0);
    EXPECT_EQ(table.size(), 200'000u);
    EXPECT_EQ(table["Name199999"], "value 199999");

    // One huge value, and a status line full of spaces.
    const std::string big(6'000'000, 'v');
    EXPECT_EQ(Ask("SAORI/1.0 200 OK\r\nA: " + big + "\r\n", table), 0);
    EXPECT_EQ(table["A"], big);
    EXPECT_EQ(Ask("SAORI/1.0 200" + std::string(6'000'000, ' ') + "\r\n", table), 0);

    // Millions of empty lines after the status line.
    std::string breaks = "SAORI/1.0 200 OK";
    for (int i = 0; i < 3'000'000; ++i) {
        breaks += "\r\n";
    }
    EXPECT_EQ(Ask(breaks, table), 0);
    EXPECT_TRUE(table.empty());
}

TEST_F(SaoriHostTest, RequestTextByteForByte) {
    HeaderTable table;
    host.SaoriRequest(0, "a", "b", "c", table);
    host.SaoriRequest(1, "http://x/?q=1", "", "", table);
    host.SaoriRequest(2, "A", "tmpfile.xml", "", table);
    host.SaoriRequest(3, "u", "\"url\":\"", "\",\"", table);
    host.SaoriRequest(7, "a", "b", "c", table);
    host.SaoriRequest(-2, "a", "b", "c", table);
    host.SaoriRequest(2, "line\r\nInjected: yes", "\xe5\x90\x8d\0tail", nullptr, table);
    host.SaoriRequest(3, nullptr, nullptr, nullptr, table);
    const std::string head = kHead;
    EXPECT_EQ(tm.Requests(),
              (std::vector<std::string>{
                  head + "\r\n",
                  head + "Argument0: http://x/?q=1\r\n\r\n",
                  head + "Argument0: A\r\nArgument1: tmpfile.xml\r\n\r\n",
                  head + "Argument0: u\r\nArgument1: \"url\":\"\r\nArgument2: \",\"\r\n\r\n",
                  head + "Argument0: a\r\nArgument1: b\r\nArgument2: c\r\n\r\n",
                  head + "\r\n",
                  head + "Argument0: line\r\nInjected: yes\r\nArgument1: \xe5\x90\x8d\r\n\r\n",
                  head + "Argument0: \r\nArgument1: \r\nArgument2: \r\n\r\n",
              }));
}

TEST_F(SaoriHostTest, LoadTellsTheDirectoryAndUnloadReleases) {
    EXPECT_EQ(tm.Loads(), (std::vector<std::string>{kDir}));
    EXPECT_TRUE(host.IsLoaded());
    host.UnloadSaori();
    EXPECT_FALSE(host.IsLoaded());
    EXPECT_EQ(tm.UnloadCount(), 1u);

    // After the unload nothing reaches the module and the table stays as it was.
    HeaderTable table{{"kept", "1"}};
    EXPECT_EQ(host.SaoriRequest(1, "x", "", "", table), 0);
    EXPECT_EQ(table, (HeaderTable{{"kept", "1"}}));
    EXPECT_TRUE(tm.Requests().empty());
    host.UnloadSaori();
    EXPECT_EQ(tm.UnloadCount(), 1u);

    // The next run loads again.
    ASSERT_EQ(host.LoadSaori(), 0);
    EXPECT_EQ(tm.Loads().size(), 2u);
}

TEST_F(SaoriHostTest, LoadingTwiceUnloadsFirst) {
    ASSERT_EQ(host.LoadSaori(), 0);
    const auto events = tm.Events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].kind, TM_EVENT_LOAD);
    EXPECT_EQ(events[1].kind, TM_EVENT_UNLOAD);
    EXPECT_EQ(events[2].kind, TM_EVENT_LOAD);
}

TEST_F(SaoriHostTest, AnswerFromCallbackCanWriteIntoTheDirectory) {
    norvo::WorkFolder work;
    ASSERT_TRUE(work.IsValid());
    SaoriHost real(NORVO_TEST_MODULE_PATH, work.Path());
    ASSERT_EQ(real.LoadSaori(), 0);
    tm.SetAnswerFn([](const std::string& request, const std::string& dir) {
        std::ofstream(dir + "tmpfile.xml") << request.size();
        return std::optional<std::string>("SAORI/1.0 200 OK\r\nResult: 1\r\n\r\n");
    });
    tm.PushAnswer("SAORI/1.0 404 Not Found\r\n\r\n");  // the queue goes first
    HeaderTable table;
    EXPECT_EQ(real.SaoriRequest(2, "u", "tmpfile.xml", "", table), 4);
    EXPECT_EQ(real.SaoriRequest(2, "u", "tmpfile.xml", "", table), 0);
    EXPECT_EQ(table["Result"], "1");
    std::ifstream in(work.Path() + "tmpfile.xml");
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), std::to_string(tm.Requests()[1].size()));
    tm.SetAnswerFn([](const std::string&, const std::string&) { return std::nullopt; });
    EXPECT_EQ(real.SaoriRequest(0, "", "", "", table), 3);
    real.UnloadSaori();
}

TEST_F(SaoriHostTest, BlockingRequestWaitsForRelease) {
    tm.SetBlocking(true);
    tm.PushAnswer("SAORI/1.0 200 OK\r\nResult: 1\r\n\r\n");
    HeaderTable table;
    int result = -1;
    std::thread run([&] { result = host.SaoriRequest(0, "", "", "", table); });
    ASSERT_TRUE(tm.WaitBlocked(1));
    EXPECT_EQ(tm.BlockedCount(), 1);
    EXPECT_EQ(result, -1);
    tm.ReleaseOne();
    run.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(table["Result"], "1");
}

TEST(SaoriHostWithoutModule, RequestBeforeLoadLeavesTheTable) {
    SaoriHost host(NORVO_TEST_MODULE_PATH, kDir);
    HeaderTable table{{"kept", "1"}};
    EXPECT_EQ(host.SaoriRequest(3, "a", "b", "c", table), 0);
    EXPECT_EQ(table, (HeaderTable{{"kept", "1"}}));
    host.UnloadSaori();  // harmless
    EXPECT_FALSE(host.IsLoaded());
}

TEST(SaoriHostWithoutModule, LoadFailures) {
    SaoriHost missing("/nonexistent/httpc.so", kDir);
    EXPECT_EQ(missing.LoadSaori(), 1);
    EXPECT_FALSE(missing.IsLoaded());
    EXPECT_NE(missing.LastLoadError().find("nonexistent"), std::string::npos);

    // A file that is no module.
    norvo::WorkFolder work;
    const std::string fake = work.Path() + "httpc.so";
    std::ofstream(fake) << "not a module";
    SaoriHost notModule(fake, kDir);
    EXPECT_EQ(notModule.LoadSaori(), 1);
    EXPECT_FALSE(notModule.LastLoadError().empty());
}

TEST(SaoriHostVariants, WithoutLoadIsReleasedAtOnce) {
    ASSERT_FALSE(IsMapped(NORVO_TEST_MODULE_NO_LOAD_PATH));
    SaoriHost host(NORVO_TEST_MODULE_NO_LOAD_PATH, kDir);
    EXPECT_EQ(host.LoadSaori(), 1);
    EXPECT_FALSE(host.IsLoaded());
    EXPECT_FALSE(IsMapped(NORVO_TEST_MODULE_NO_LOAD_PATH));
    EXPECT_NE(host.LastLoadError().find("\"load\""), std::string::npos);
    HeaderTable table{{"kept", "1"}};
    EXPECT_EQ(host.SaoriRequest(0, "", "", "", table), 0);
    EXPECT_EQ(table.size(), 1u);
}

TEST(SaoriHostVariants, WithoutRequestFailsWithOne) {
    TestModule tm(NORVO_TEST_MODULE_NO_REQUEST_PATH);
    SaoriHost host(NORVO_TEST_MODULE_NO_REQUEST_PATH, kDir);
    ASSERT_EQ(host.LoadSaori(), 0);
    HeaderTable table{{"stale", "1"}};
    EXPECT_EQ(host.SaoriRequest(1, "x", "", "", table), 1);
    EXPECT_TRUE(table.empty());
    host.UnloadSaori();
    EXPECT_FALSE(host.IsLoaded());
    EXPECT_EQ(tm.UnloadCount(), 1u);
}

TEST(SaoriHostVariants, WithoutUnloadStaysLoaded) {
    SaoriHost host(NORVO_TEST_MODULE_NO_UNLOAD_PATH, kDir);
    ASSERT_EQ(host.LoadSaori(), 0);
    host.UnloadSaori();
    EXPECT_TRUE(host.IsLoaded());
    EXPECT_TRUE(IsMapped(NORVO_TEST_MODULE_NO_UNLOAD_PATH));
    HeaderTable table;
    EXPECT_EQ(host.SaoriRequest(0, "", "", "", table), 0);
    // The next run loads it again.
    ASSERT_EQ(host.LoadSaori(), 0);
    EXPECT_TRUE(host.IsLoaded());
}

TEST(SaoriHostLifetime, DestroyingALoadedHostUnloadsTheModule) {
    TestModule tm;
    {
        SaoriHost host(NORVO_TEST_MODULE_PATH, kDir);
        ASSERT_EQ(host.LoadSaori(), 0);
    }
    EXPECT_EQ(tm.UnloadCount(), 1u);
}

// A stopping run: the request in flight ends at once where the module can cancel (without
// "cancel" it runs to its end), and no later request reaches the module either way.
TEST(SaoriHostCancel, EndsTheRequestInFlightAndRefusesLaterOnes) {
    for (const char* path : {NORVO_TEST_MODULE_PATH, NORVO_TEST_MODULE_NO_CANCEL_PATH}) {
        SCOPED_TRACE(path);
        const bool canCancel = std::strcmp(path, NORVO_TEST_MODULE_PATH) == 0;
        TestModule tm(path);
        SaoriHost host(path, kDir);
        ASSERT_EQ(host.LoadSaori(), 0);
        tm.SetBlocking(true);
        HeaderTable table;
        auto inFlight =
            std::async(std::launch::async, [&] { return host.SaoriRequest(0, "", "", "", table); });
        ASSERT_TRUE(tm.WaitBlocked(1));
        host.CancelRequests();
        EXPECT_TRUE(host.IsCancelled());
        if (!canCancel) {
            tm.ReleaseOne();
        }
        ASSERT_EQ(inFlight.wait_for(std::chrono::seconds(120)), std::future_status::ready);
        EXPECT_EQ(inFlight.get(), canCancel ? 4 : 0);
        EXPECT_EQ(tm.CancelCount(), canCancel ? 1u : 0u);

        HeaderTable later{{"stale", "1"}};
        EXPECT_EQ(host.SaoriRequest(1, "x", "", "", later), 1);
        EXPECT_TRUE(later.empty());
        EXPECT_EQ(tm.Requests().size(), 1u);
        host.UnloadSaori();
        host.CancelRequests();  // nothing loaded: nothing to call
        EXPECT_EQ(tm.UnloadCount(), 1u);
        EXPECT_EQ(tm.CancelCount(), canCancel ? 1u : 0u);
    }
}

// Refuses every allocation while alive.
class FailingHandover {
public:
    FailingHandover() { m_previous = norvo::platform::SetHandoverAllocatorForTesting(&Fail); }
    ~FailingHandover() { norvo::platform::SetHandoverAllocatorForTesting(m_previous); }

private:
    static void* Fail(size_t) { return nullptr; }
    norvo::platform::HandoverAllocator m_previous;
};

TEST(SaoriHostHandover, NoBlockMeansNothingIsHandedOver) {
    TestModule tm;
    SaoriHost host(NORVO_TEST_MODULE_PATH, kDir);
    {
        FailingHandover failing;
        EXPECT_EQ(host.LoadSaori(), 1);
        EXPECT_FALSE(host.IsLoaded());
    }
    EXPECT_TRUE(tm.Events().empty());

    ASSERT_EQ(host.LoadSaori(), 0);
    HeaderTable table{{"stale", "1"}};
    {
        FailingHandover failing;
        EXPECT_EQ(host.SaoriRequest(1, "x", "", "", table), 1);
    }
    EXPECT_TRUE(table.empty());
    EXPECT_TRUE(tm.Requests().empty());
    host.UnloadSaori();
}

TEST(ParseSaoriAnswer, NullDataIsAnEmptyAnswer) {
    HeaderTable table{{"stale", "1"}};
    EXPECT_EQ(norvo::ParseSaoriAnswer(nullptr, 10, table), 3);
    EXPECT_TRUE(table.empty());
}

}  // namespace
