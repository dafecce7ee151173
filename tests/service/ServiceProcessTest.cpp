// The service as the program runs it: a child process whose first output line is its address.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "RunningGallery.h"
#include "TestPictures.h"

extern char** environ;

namespace norvo {
namespace {

struct Child {
    pid_t pid = -1;
    int out = -1;  // the child's standard output
    int in = -1;   // the child's standard input
};

Child Spawn(const std::vector<std::string>& args) {
    int outPipe[2], inPipe[2];
    EXPECT_EQ(pipe(outPipe), 0);
    EXPECT_EQ(pipe(inPipe), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], STDIN_FILENO);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, inPipe[1]);
    std::vector<char*> argv{const_cast<char*>(NORVO_GALLERY_BIN)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    Child child;
    EXPECT_EQ(posix_spawn(&child.pid, NORVO_GALLERY_BIN, &actions, nullptr, argv.data(), environ),
              0);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(inPipe[0]);
    child.out = outPipe[0];
    child.in = inPipe[1];
    return child;
}

std::string ReadLine(int fd) {
    std::string line;
    char c;
    while (line.size() < 1000 && read(fd, &c, 1) == 1 && c != '\n') line += c;
    return line;
}

std::string ReadAll(int fd) {
    std::string all;
    char buf[4096];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
        all.append(buf, static_cast<std::size_t>(n));
    return all;
}

// Exit status, or -1 if the child does not end within the wait limit (it is then killed).
int WaitExit(Child& child) {
    int status = 0;
    if (test::WaitUntil([&] { return waitpid(child.pid, &status, WNOHANG) == child.pid; })) {
        close(child.out);
        if (child.in >= 0)
            close(child.in);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    kill(child.pid, SIGKILL);
    waitpid(child.pid, nullptr, 0);
    return -1;
}

TEST(GalleryProcess, PrintsItsAddressFirstAndStopsCleanlyOnSignals) {
    for (int sig : {SIGTERM, SIGINT}) {
        Child child =
            Spawn({"--pictures", test::BundledGallery().string(), "--listen", "127.0.0.1:0"});
        const std::string base = ReadLine(child.out);
        ASSERT_EQ(base.rfind("http://127.0.0.1:", 0), 0u) << base;
        auto res = test::PatientClient(base.substr(7)).Get("/health");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        kill(child.pid, sig);
        EXPECT_EQ(WaitExit(child), 0) << "signal " << sig;
    }
}

// Libraries may start threads before main (a threaded BLAS under dlib does), and the kernel may
// hand a process's signal to any thread that does not block it: whichever thread gets it, the
// service stops cleanly, also while it watches an input that stays open.
TEST(GalleryProcess, AStopSignalToAnyOfItsThreadsStopsItCleanly) {
    Child child =
        Spawn({"--pictures", test::BundledGallery().string(), "--quiet", "--watch-stdin"});
    const std::string base = ReadLine(child.out);
    ASSERT_EQ(base.rfind("http://127.0.0.1:", 0), 0u) << base;
    // Once it has answered, its request workers run; the newest thread is one of them.
    ASSERT_TRUE(test::PatientClient(base.substr(7)).Get("/health"));
    pid_t newest = -1;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(child.pid) + "/task")) {
        newest = std::max(newest, static_cast<pid_t>(std::stoi(task.path().filename().string())));
    }
    ASSERT_NE(newest, child.pid) << "the service runs worker threads";
    ASSERT_EQ(syscall(SYS_tgkill, child.pid, newest, SIGTERM), 0);
    EXPECT_EQ(WaitExit(child), 0);
}

TEST(GalleryProcess, WatchStdinStopsWhenTheParentGoesAway) {
    Child child =
        Spawn({"--pictures", test::BundledGallery().string(), "--watch-stdin", "--quiet"});
    ASSERT_EQ(ReadLine(child.out).rfind("http://127.0.0.1:", 0), 0u);
    close(child.in);
    child.in = -1;
    EXPECT_EQ(WaitExit(child), 0);
}

TEST(GalleryProcess, CommandLineErrorsAndHelp) {
    Child help = Spawn({"--help"});
    EXPECT_NE(ReadAll(help.out).find("Usage: norvo-gallery"), std::string::npos);
    EXPECT_EQ(WaitExit(help), 0);
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--bogus"},
                                               {"--listen"},
                                               {"--listen", "127.0.0.1"},
                                               {"--listen", "127.0.0.1:65536"},
                                               {"--listen", "127.0.0.1:x"},
                                               {"--threads", "0"},
                                               {"--threads", "65"},
                                               {"--pictures"}}) {
        Child child = Spawn(args);
        EXPECT_EQ(WaitExit(child), 2) << args[0] << (args.size() > 1 ? " " + args[1] : "");
    }
    Child missing = Spawn({"--pictures", "/nonexistent/gallery"});
    EXPECT_EQ(WaitExit(missing), 1);
}

}  // namespace
}  // namespace norvo
