// httpc.so as the program meets it: through SaoriHost in process and through saori-request as a
// separate program. Every answer must parse: result 0 for success, 4 for any failure.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <spawn.h>
#include <sys/wait.h>
#endif

#include <string>
#include <vector>

#include "HttpcTestSupport.h"
#include "saori/HeaderTable.h"
#include "saori/SaoriHost.h"
#ifdef _WIN32
#include "tests/support/WinProcess.h"
#else
extern char** environ;
#endif

namespace norvo::test {
namespace {

using namespace std::string_literals;

const std::string kStart = "\"url\":\"";
const std::string kEnd = "\",\"";
// A picture-like body with a zero byte inside: stored files are not text.
const std::string kPicture = "\xff\xd8\xff\xe0 picture\0bytes"s;

// Output and exit status of saori-request run with `args` and `env` added to the environment.
struct ToolRun {
    std::string out;
    int status = -1;
};

#ifdef _WIN32
ToolRun RunSaoriRequest(const std::vector<std::string>& args,
                        const std::vector<std::string>& env = {}) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const std::string& e : env) {
        pairs.emplace_back(e.substr(0, e.find('=')), e.substr(e.find('=') + 1));
    }
    const auto run = norvo::testing::RunProcess(SAORI_REQUEST_PATH, args, pairs);
    return {run.out, run.exitCode};
}
#else
ToolRun RunSaoriRequest(const std::vector<std::string>& args,
                        const std::vector<std::string>& env = {}) {
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const auto& added : env) {
            replaced = replaced || added.starts_with(name);
        }
        if (!replaced) {
            envStrings.push_back(entry);
        }
    }
    envStrings.insert(envStrings.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (auto& e : envStrings) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> argStrings = {SAORI_REQUEST_PATH};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStrings) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    ToolRun run;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        run.out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    if (spawned == 0) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return run;
}
#endif

class HttpcHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto& r = m_server.routes();
        r.Get("/picture.jpg", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(kPicture, "image/jpeg");
        });
        r.Get("/missing.jpg",
              [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
        r.Get("/search", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(
                "{\"results\":[{\"url\":\"http://p/1.jpg\",\"w\":1},"
                "{\"url\":\"http://p/2: x.jpg\",\"w\":1},"
                "{\"url\":\"http://p/3.jpg\",\"w\":1}]}",
                "application/json");
        });
        m_server.Bind();
        // The connection check's address is read at load; set it before any server thread.
        ::setenv("HTTPC_PROBE_URL", m_server.Url("/").c_str(), 1);
        m_server.Serve();
    }
    void TearDown() override { ::unsetenv("HTTPC_PROBE_URL"); }

    LoopbackServer m_server;
    WorkFolder m_folder;
};

TEST_F(HttpcHostTest, HostReadsEveryFormAndEveryFailure) {
    SaoriHost host(HTTPC_MODULE_PATH, m_folder.Text());
    ASSERT_EQ(host.LoadSaori(), 0);
    HeaderTable table;

    EXPECT_EQ(host.SaoriRequest(0, "", "", "", table), 0);
    EXPECT_EQ(table["Result"], "1");

    EXPECT_EQ(host.SaoriRequest(2, m_server.Url("/picture.jpg").c_str(), "tmpfile.xml", "", table),
              0);
    EXPECT_EQ(ReadFile(m_folder / "tmpfile.xml"), kPicture);

    // A text holding ": " is skipped, so no address reaches the caller cut short.
    EXPECT_EQ(
        host.SaoriRequest(3, m_server.Url("/search").c_str(), kStart.c_str(), kEnd.c_str(), table),
        0);
    EXPECT_EQ(table, (HeaderTable{{"Result", "http://p/1.jpg"}, {"Value0", "http://p/3.jpg"}}));

    const struct {
        const char* rule;
        int count;
        std::string arg0, arg1, arg2;
    } failures[] = {
        {"404", 2, m_server.Url("/missing.jpg"), "missing.jpg", ""},
        {"unsafe name", 2, m_server.Url("/picture.jpg"), "../picture.jpg", ""},
        {"one argument", 1, m_server.Url("/picture.jpg"), "", ""},
        // An argument's CR LF makes further request lines; one posing as another argument
        // must not take that argument's place.
        {"argument smuggling a file name", 2, m_server.Url("/picture.jpg") + "\r\nArgument1: x",
         "a.jpg", ""},
        {"empty address", 2, "", "a.jpg", ""},
        {"empty end marker", 3, m_server.Url("/search"), kStart, ""},
    };
    for (const auto& f : failures) {
        table["stale"] = "x";
        EXPECT_EQ(host.SaoriRequest(f.count, f.arg0.c_str(), f.arg1.c_str(), f.arg2.c_str(), table),
                  4)
            << f.rule;
        EXPECT_TRUE(table.empty()) << f.rule;
    }
    EXPECT_EQ(m_folder.Entries(), (std::set<std::string>{"tmpfile.xml"}));
    host.UnloadSaori();
}

TEST_F(HttpcHostTest, SaoriRequestToolSeesTheSameAnswers) {
    const std::string dir = m_folder.path().string();
    const std::string probe = "HTTPC_PROBE_URL=" + m_server.Url("/");

    ToolRun run = RunSaoriRequest({"--dir", dir, HTTPC_MODULE_PATH}, {probe});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "0\nResult: 1\n");

    run = RunSaoriRequest({"--dir", dir, HTTPC_MODULE_PATH},
                          {"HTTPC_PROBE_URL=http://127.0.0.1:" + std::to_string(DeadPort()) + "/"});
    EXPECT_EQ(run.out, "0\nResult: 0\n");

    run = RunSaoriRequest({"--dir", dir, HTTPC_MODULE_PATH, m_server.Url("/picture.jpg"), "p.jpg"});
    EXPECT_EQ(run.out, "0\nResult: 1\n");
    EXPECT_EQ(ReadFile(m_folder / "p.jpg"), kPicture);

    run = RunSaoriRequest(
        {"--dir", dir, HTTPC_MODULE_PATH, m_server.Url("/missing.jpg"), "missing.jpg"});
    EXPECT_EQ(run.status, 4);
    EXPECT_EQ(run.out, "4\n");

    run = RunSaoriRequest({"--dir", dir, HTTPC_MODULE_PATH, m_server.Url("/search"), kStart, kEnd});
    EXPECT_EQ(run.out, "0\nResult: http://p/1.jpg\nValue0: http://p/3.jpg\n");

    run = RunSaoriRequest({"--dir", dir, HTTPC_MODULE_PATH, m_server.Url("/picture.jpg"), ".."});
    EXPECT_EQ(run.status, 4);
    EXPECT_EQ(m_folder.Entries(), (std::set<std::string>{"p.jpg"}));
}

#ifdef _WIN32
// httpc.dll driven by a host written in plain C from the documented interface alone: a
// Japanese host names the file in Shift_JIS, and the file gets that name.
TEST_F(HttpcHostTest, AHostWrittenOnlyFromTheInterfaceStoresUnderAShiftJisName) {
    const std::string folder = m_folder.Text();
    // "写真.jpg" (picture) in Shift_JIS; its second byte is 0x5C, a backslash in ASCII.
    const std::string sjisName = "\x8E\xCA\x90\x5E.jpg";
    auto run = norvo::testing::RunProcess(
        PLAIN_C_HOST_PATH, {HTTPC_MODULE_PATH, folder, "Shift_JIS", m_server.Url("/picture.jpg")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(ReadAnswer(run.out).code, 400);  // two arguments needed for a store
    const std::wstring wideName = L"\u5199\u771F.jpg";
    // The name goes through the ANSI command line: only a Japanese system can pass its bytes.
    if (GetACP() == 932) {
        run = norvo::testing::RunProcess(
            PLAIN_C_HOST_PATH, {HTTPC_MODULE_PATH, folder, "Shift_JIS",
                                m_server.Url("/picture.jpg"), "\xE5\x86\x99\xE7\x9C\x9F.jpg"});
        EXPECT_EQ(ReadAnswer(run.out)["Result"], "1") << run.out;
        EXPECT_EQ(ReadFile(m_folder.path() / wideName), kPicture);
    }
    run = norvo::testing::RunProcess(PLAIN_C_HOST_PATH, {HTTPC_MODULE_PATH, folder, "UTF-8",
                                                         m_server.Url("/picture.jpg"), "p.jpg"});
    EXPECT_EQ(ReadAnswer(run.out)["Result"], "1") << run.out;
    EXPECT_EQ(ReadFile(m_folder / "p.jpg"), kPicture);
    (void)sjisName;
}
#endif

}  // namespace
}  // namespace norvo::test

int main(int argc, char** argv) {
    ::setenv("no_proxy", "127.0.0.1", 1);
    ::setenv("NO_PROXY", "127.0.0.1", 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
