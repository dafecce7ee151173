// Wall time of the whole norvo program on the terminal over the bundled gallery (it starts its
// bundled service, makes the portrait, stops the service): the first run with an empty cache
// folder and the second run in a row over the same folder, whose face boxes are then known.
// Run by hand:
//   build/bin/bench_cli [runs [PROGRAM]]
// PROGRAM replaces the built norvo (e.g. an older build, to compare).

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "saori/Platform.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Milliseconds the program took, or a negative number when it did not write the portrait.
double RunOnce(const std::string& program, const fs::path& output) {
    std::vector<std::string> args = {program,          "--body",   "Grace Hopper",  "--face",
                                     "Eileen Collins", "--output", output.string(), "--force"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string program = argc > 2 ? argv[2] : norvo::platform::ProgramFolder() + "norvo";
    char pattern[] = "/tmp/norvo-bench-cli-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return 1;
    const fs::path root = pattern;
    // The runs must not find the user's own settings or cache, nor reach the web.
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    unsetenv("NORVO_SOURCES");
    unsetenv("NORVO_SEARCH_URL");
    unsetenv("NORVO_DETECT_URL");

    std::vector<double> first, second;
    for (int i = 0; i < runs; ++i) {
        setenv("XDG_CACHE_HOME", (root / ("cache" + std::to_string(i))).c_str(), 1);
        const double a = RunOnce(program, root / "portrait.jpg");
        const double b = RunOnce(program, root / "portrait.jpg");
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "%s did not write the portrait\n", program.c_str());
            fs::remove_all(root);
            return 1;
        }
        first.push_back(a);
        second.push_back(b);
    }
    fs::remove_all(root);
    double load = 0;
    getloadavg(&load, 1);
    std::printf("%s --body 'Grace Hopper' --face 'Eileen Collins', %d runs (load average %.1f)\n",
                program.c_str(), runs, load);
    std::printf("  first run, empty cache folder:   %7.1f ms\n", Median(first));
    std::printf("  second run, same cache folder:   %7.1f ms  (goal <= 350)\n", Median(second));
    return 0;
}
