#pragma once

// norvo-gallery as the program runs it: a child process whose first output line is its
// address. Shared by the process tests and the exit benchmark.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace norvo::test {

class GalleryChild {
public:
    // Starts `program` with `args`; Started() tells whether it runs. Its standard error goes
    // where ours goes, or nowhere.
    GalleryChild(const std::string& program, const std::vector<std::string>& args,
                 bool keepErrors = true) {
        int outPipe[2], inPipe[2];
        if (pipe(outPipe) != 0)
            return;
        if (pipe(inPipe) != 0) {
            close(outPipe[0]);
            close(outPipe[1]);
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, inPipe[0], STDIN_FILENO);
        posix_spawn_file_actions_addclose(&actions, outPipe[0]);
        posix_spawn_file_actions_addclose(&actions, inPipe[1]);
        if (!keepErrors)
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(outPipe[1]);
        close(inPipe[0]);
        m_out = outPipe[0];
        m_in = inPipe[1];
    }
    ~GalleryChild() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        CloseInput();
        if (m_out >= 0)
            close(m_out);
    }
    GalleryChild(const GalleryChild&) = delete;
    GalleryChild& operator=(const GalleryChild&) = delete;

    bool Started() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }

    // One line of its standard output, without the newline.
    std::string ReadLine() {
        std::string line;
        char c;
        while (line.size() < 1000 && read(m_out, &c, 1) == 1 && c != '\n') line += c;
        return line;
    }
    // The rest of its standard output.
    std::string ReadAll() {
        std::string all;
        char buf[4096];
        for (ssize_t n; (n = read(m_out, buf, sizeof buf)) > 0;)
            all.append(buf, static_cast<std::size_t>(n));
        return all;
    }
    void CloseInput() {
        if (m_in >= 0)
            close(m_in);
        m_in = -1;
    }
    bool Signal(int sig) const { return m_pid > 0 && kill(m_pid, sig) == 0; }

    // Its exit status, 128 + the signal that ended it, or -1 if it does not end within `limit`
    // (it is then killed).
    int WaitExit(std::chrono::seconds limit) {
        if (m_pid <= 0)
            return -1;
        const auto end = std::chrono::steady_clock::now() + limit;
        int status = 0;
        pid_t got = 0;
        while ((got = waitpid(m_pid, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (got != m_pid)
            return -1;  // the destructor kills it
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;  // its standard output
    int m_in = -1;   // its standard input
};

}  // namespace norvo::test
