#pragma once

// A built program run as a child in a process group of its own, as a shell starts a job in a
// terminal, so that a test can press Ctrl-C on it (SIGINT to the whole group) and read what it
// said on standard error.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace norvo::testing {

class ChildProgram {
public:
    ChildProgram() = default;
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;
    ~ChildProgram() {
        if (m_pid > 0) {
            ::kill(-m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_errFd >= 0) {
            ::close(m_errFd);
        }
    }

    // Starts `program` with `args`; `env` entries replace or add variables, an empty value
    // removes one.
    bool Start(const std::string& program, const std::vector<std::string>& args,
               const std::map<std::string, std::string>& env) {
        std::vector<std::string> environment;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            if (env.find(entry.substr(0, entry.find('='))) == env.end()) {
                environment.push_back(entry);
            }
        }
        for (const auto& [name, value] : env) {
            if (!value.empty()) {
                environment.push_back(name + "=" + value);
            }
        }
        std::vector<std::string> argStrings{program};
        argStrings.insert(argStrings.end(), args.begin(), args.end());
        std::vector<char*> argv, envp;
        for (auto& a : argStrings) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        for (auto& e : environment) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);

        int err[2];
        if (::pipe2(err, O_CLOEXEC) != 0) {
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        const int spawned =
            posix_spawn(&m_pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        ::close(err[1]);
        m_errFd = err[0];
        if (spawned != 0) {
            m_pid = -1;
            return false;
        }
        return true;
    }

    // What Ctrl-C on the program's terminal does.
    void Interrupt() { ::kill(-m_pid, SIGINT); }

    // The exit status, or nullopt when the program did not end within `limit` (it is then
    // killed) or ended by a signal.
    std::optional<int> WaitExit(std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (::waitpid(m_pid, &status, WNOHANG) != m_pid) {
            if (std::chrono::steady_clock::now() > until) {
                return std::nullopt;  // the destructor kills it
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        m_pid = -1;
        return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
    }

    // Everything the program wrote on standard error, once it has ended.
    std::string ErrorOutput() {
        std::string text;
        char buffer[4096];
        for (ssize_t n; (n = ::read(m_errFd, buffer, sizeof buffer)) > 0;) {
            text.append(buffer, static_cast<size_t>(n));
        }
        return text;
    }

private:
    pid_t m_pid = -1;
    int m_errFd = -1;
};

}  // namespace norvo::testing
