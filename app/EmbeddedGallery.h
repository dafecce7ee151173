#pragma once

#include <string>

namespace norvo {

// The bundled lookup service, run as a child process on a free loopback port for the life of
// this object, so the program works offline out of the box. The child has a process group of its
// own, so a Ctrl-C meant for the program does not reach it. On Windows it also runs in a job
// object that ends it when this process ends, however it ends. Not copyable.
class EmbeddedGallery {
public:
    enum class Status {
        Ok,           // running; Address() is its base address
        NotStarted,   // Start() was not called, or Stop() ran
        NoProgram,    // the service executable is missing or not executable
        SpawnFailed,  // the child process could not be started
        NoAddress,    // the child did not print its address in time, or printed garbage
    };
    static const char* describe(Status status);

    // How long Start() waits for the first line: the service binds and answers at once, but a
    // cold disk and a picture folder scan may take a moment.
    static constexpr int kStartTimeoutMs = 10000;

    EmbeddedGallery() = default;
    ~EmbeddedGallery();
    EmbeddedGallery(const EmbeddedGallery&) = delete;
    EmbeddedGallery& operator=(const EmbeddedGallery&) = delete;

    // Starts `program --pictures picturesDir --listen 127.0.0.1:0 --watch-stdin` (and
    // `--sources LIST` when set) and reads its address. The service inherits this process's
    // environment, NORVO_* variables included.
    Status Start(const std::string& program, const std::string& picturesDir,
                 int timeoutMs = kStartTimeoutMs);
    // Whether the service's own log (its standard error) reaches ours; off by default, so it
    // does not break into a progress bar. Takes effect at the next Start().
    void SetLogVisible(bool visible) { m_bLogVisible = visible; }
    // The service's picture sources ("gallery,wikimedia"); "" leaves them to the service's
    // own default. Takes effect at the next Start().
    void SetSources(std::string sources) { m_strSources = std::move(sources); }
    // Stops the child (POSIX: SIGTERM; Windows: its standard input closed, then the job ended)
    // and reaps it; safe to call repeatedly.
    void Stop();

    bool IsRunning() const;
    // "http://127.0.0.1:PORT" while running, else "".
    const std::string& Address() const { return m_strAddress; }

    // Whether `line`, the first line of the started service, is the address it serves on.
    static bool LooksLikeServiceAddress(const std::string& line);

private:
#ifdef _WIN32
    void* m_job = nullptr;       // the job object the child runs in; closing it ends the child
    void* m_process = nullptr;   // the child's process handle
    void* m_out = nullptr;       // read end of the child's standard output
    void* m_lifeline = nullptr;  // write end of the child's standard input; closing it stops it
#else
    int m_pid = -1;
    int m_outFd = -1;       // read end of the child's standard output
    int m_lifelineFd = -1;  // write end of the child's standard input; closing it stops it
#endif
    bool m_bLogVisible = false;
    std::string m_strSources;
    std::string m_strAddress;
};

}  // namespace norvo
