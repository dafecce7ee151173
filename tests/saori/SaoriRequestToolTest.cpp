#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "saori/WorkFolder.h"

namespace {

struct ToolRun {
    int exitCode = -1;
    std::string out;
};

// Runs saori-request with `args` and `env` added to the environment; collects standard output.
ToolRun RunTool(const std::vector<std::string>& args,
                const std::vector<std::pair<std::string, std::string>>& env = {}) {
    int pipeFd[2];
    if (pipe(pipeFd) != 0) {
        return {};
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFd[1], STDOUT_FILENO);
        close(pipeFd[0]);
        close(pipeFd[1]);
        for (const auto& [name, value] : env) {
            setenv(name.c_str(), value.c_str(), 1);
        }
        std::vector<char*> argv{const_cast<char*>(NORVO_SAORI_REQUEST_PATH)};
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFd[1]);
    ToolRun run;
    char buf[4096];
    ssize_t n;
    while ((n = read(pipeFd[0], buf, sizeof buf)) > 0) {
        run.out.append(buf, static_cast<size_t>(n));
    }
    close(pipeFd[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(SaoriRequestTool, PrintsResultAndHeadersInOrder) {
    const ToolRun run = RunTool(
        {NORVO_TEST_MODULE_PATH, "http://x/"},
        {{"NORVO_TEST_MODULE_ANSWER", "SAORI/1.0 200 OK\r\nValue0: b\r\nResult: 1\r\n\r\n"}});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "0\nResult: 1\nValue0: b\n");
}

TEST(SaoriRequestTool, ExitCodeIsTheResult) {
    const ToolRun notFound = RunTool({NORVO_TEST_MODULE_PATH},
                                     {{"NORVO_TEST_MODULE_ANSWER", "SAORI/1.0 404 Not Found\r\n"}});
    EXPECT_EQ(notFound.exitCode, 4);
    EXPECT_EQ(notFound.out, "4\n");
    const ToolRun noRequest = RunTool({NORVO_TEST_MODULE_NO_REQUEST_PATH});
    EXPECT_EQ(noRequest.exitCode, 1);
    EXPECT_EQ(noRequest.out, "1\n");
}

TEST(SaoriRequestTool, DirIsHandedOverAndKept) {
    norvo::WorkFolder work;
    std::string dir = work.Path();
    dir.pop_back();  // the tool adds the '/'
    const ToolRun run = RunTool({"--dir", dir, NORVO_TEST_MODULE_PATH, "a", "b", "c"},
                                {{"NORVO_TEST_MODULE_TOUCH", "request.txt"}});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(Slurp(work.Path() + "request.txt"),
              "EXECUTE SAORI/1.0\r\nSender: norvo\r\nSecurityLevel: Local\r\n"
              "Argument0: a\r\nArgument1: b\r\nArgument2: c\r\n\r\n");
}

TEST(SaoriRequestTool, Errors) {
    const struct {
        std::vector<std::string> args;
        int exitCode;
    } cases[] = {
        {{}, 10},
        {{"--bogus", NORVO_TEST_MODULE_PATH}, 10},
        {{NORVO_TEST_MODULE_PATH, "1", "2", "3", "4"}, 10},
        {{"--dir"}, 10},
        {{"/nonexistent/httpc.so"}, 11},
        {{"/proc/self/status"}, 11},
        {{NORVO_TEST_MODULE_NO_LOAD_PATH}, 11},
    };
    for (const auto& c : cases) {
        const ToolRun run = RunTool(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << (c.args.empty() ? "" : c.args[0]);
        EXPECT_EQ(run.out, "");
    }
    const ToolRun help = RunTool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Usage: saori-request"), std::string::npos);
}

}  // namespace
