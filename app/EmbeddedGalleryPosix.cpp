#include "app/EmbeddedGallery.h"

// POSIX implementation: posix_spawn in a process group of its own, a pipe for the first line,
// SIGTERM to stop. Windows has EmbeddedGalleryWin.cpp.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

extern char** environ;

namespace norvo {

namespace {

// The address line is short; anything longer is not the service we started.
constexpr size_t kMaxAddressLine = 256;

}  // namespace

EmbeddedGallery::~EmbeddedGallery() {
    Stop();
}

bool EmbeddedGallery::IsRunning() const {
    return m_pid > 0;
}

EmbeddedGallery::Status EmbeddedGallery::Start(const std::string& program,
                                               const std::string& picturesDir, int timeoutMs) {
    Stop();
    if (program.empty() || access(program.c_str(), X_OK) != 0) {
        return Status::NoProgram;
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return Status::SpawnFailed;
    }
    // The service watches its standard input: we hold the only write end, so however this
    // process ends (even killed), the pipe closes and the service stops with it.
    int lifeline[2];
    if (pipe2(lifeline, O_CLOEXEC) != 0) {
        close(fds[0]);
        close(fds[1]);
        return Status::SpawnFailed;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, lifeline[0], STDIN_FILENO);
    if (!m_bLogVisible) {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    std::vector<std::string> args = {program,    "--pictures",  picturesDir,
                                     "--listen", "127.0.0.1:0", "--watch-stdin"};
    if (!m_strSources.empty()) {
        args.push_back("--sources");
        args.push_back(m_strSources);
    }
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    // Ctrl-C on the terminal goes to the whole foreground process group. In a group of its own
    // the service keeps answering the run until the program, having stopped the run, stops it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    close(lifeline[0]);
    if (spawned != 0) {
        close(fds[0]);
        close(lifeline[1]);
        return Status::SpawnFailed;
    }
    m_pid = pid;
    m_lifelineFd = lifeline[1];

    std::string line;
    bool complete = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!complete && line.size() <= kMaxAddressLine) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd pfd{fds[0], POLLIN, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            break;
        }
        char buffer[64];
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        for (ssize_t i = 0; i < n && !complete; ++i) {
            if (buffer[i] == '\n') {
                complete = true;
            } else if (buffer[i] != '\r') {
                line.push_back(buffer[i]);
            }
        }
    }
    // Later output of the service goes nowhere; closing our end would make its writes fail,
    // which it survives, but keeping the pipe open costs nothing while it runs.
    m_outFd = fds[0];
    if (!complete || !LooksLikeServiceAddress(line)) {
        Stop();
        return Status::NoAddress;
    }
    m_strAddress = line;
    return Status::Ok;
}

void EmbeddedGallery::Stop() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        // Give it a moment to exit cleanly, then make sure.
        int status = 0;
        bool reaped = false;
        for (int i = 0; i < 200 && !reaped; ++i) {
            const pid_t r = waitpid(m_pid, &status, WNOHANG);
            if (r == m_pid || (r < 0 && errno != EINTR)) {
                reaped = true;
            } else {
                const timespec pause{0, 10'000'000};
                nanosleep(&pause, nullptr);
            }
        }
        if (!reaped) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
    }
    if (m_outFd >= 0) {
        close(m_outFd);
        m_outFd = -1;
    }
    if (m_lifelineFd >= 0) {
        close(m_lifelineFd);
        m_lifelineFd = -1;
    }
    m_strAddress.clear();
}

}  // namespace norvo
