#pragma once

// Loopback servers, a private work folder and the module's exports for the httpc tests.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which must come before it.
#include <windows.h>

#include "tests/support/PosixCompat.h"
#else
#include <dirent.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace norvo::test {

// An HTTP server on 127.0.0.1 and a free port, stopped (handlers released) on destruction.
class LoopbackServer {
public:
    LoopbackServer() = default;
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;
    ~LoopbackServer() { Stop(); }

    httplib::Server& routes() { return m_server; }
    // Handlers that wait poll this and give up once the server is stopping.
    const std::atomic<bool>& stopping() const { return m_stopping; }

    // Binds a free port; the port is known from here on, before any server thread runs (so a
    // test may still set the environment safely).
    void Bind() {
        m_port = m_server.bind_to_any_port("127.0.0.1");
        if (m_port <= 0) {
            throw std::runtime_error("cannot bind a loopback port");
        }
    }
    // Serves on a thread of its own.
    void Serve() {
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        // stop() does nothing until the accept loop runs, so Stop would wait forever; the
        // limit is only there for a hang.
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (!m_server.is_running() && std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    void Start() {
        Bind();
        Serve();
    }
    void Stop() {
        m_stopping = true;
        if (m_thread.joinable()) {
            m_server.stop();
            m_thread.join();
        }
    }
    int port() const { return m_port; }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }

private:
    httplib::Server m_server;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    int m_port = 0;
};

// Answers GET `pattern` without end, one byte a second: the slowest server that still keeps a
// transfer alive. `arrivals` counts the requests; the answer ends once the client leaves or the
// server stops.
inline void ServeTrickle(LoopbackServer& server, const std::string& pattern,
                         std::atomic<int>& arrivals) {
    server.routes().Get(pattern,
                        [&server, &arrivals](const httplib::Request&, httplib::Response& res) {
                            ++arrivals;
                            res.set_chunked_content_provider(
                                "text/plain", [&server](std::size_t, httplib::DataSink& sink) {
                                    for (int i = 0; i < 20 && !server.stopping(); ++i) {
                                        std::this_thread::sleep_for(std::chrono::milliseconds(50));
                                    }
                                    return !server.stopping() && sink.write("x", 1);
                                });
                        });
}

// A search service that never finishes a search: its base address passes the connection check
// ("/" answers at once), while every image search trickles (ServeTrickle).
inline void ServeTricklingSearch(LoopbackServer& server, std::atomic<int>& searches) {
    server.routes().Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("up", "text/plain");
    });
    ServeTrickle(server, "/ajax/services/search/images", searches);
}

// A loopback port (IPv4 or IPv6) that is listened on but never answered: a connection attempt
// leaves it readable, so a test can tell whether anything tried to reach it.
class SilentListener {
public:
    explicit SilentListener(bool v6 = false) : m_v6(v6) {
#ifdef _WIN32
        const SOCKET made = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
        m_fd = made == INVALID_SOCKET ? -1 : static_cast<Socket>(made);
#else
        m_fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
#endif
        sockaddr_storage storage{};
        socklen_t size = v6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
        if (v6) {
            reinterpret_cast<sockaddr_in6*>(&storage)->sin6_family = AF_INET6;
            reinterpret_cast<sockaddr_in6*>(&storage)->sin6_addr = in6addr_loopback;
        } else {
            reinterpret_cast<sockaddr_in*>(&storage)->sin_family = AF_INET;
            reinterpret_cast<sockaddr_in*>(&storage)->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        }
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&storage), size) != 0 ||
            ::listen(m_fd, 8) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&storage), &size) != 0) {
            return;  // port() stays 0: no such listener on this machine
        }
        m_port = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                          : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
    }
    ~SilentListener() {
#ifdef _WIN32
        if (m_fd >= 0)
            ::closesocket(static_cast<SOCKET>(m_fd));
#else
        if (m_fd >= 0)
            ::close(m_fd);
#endif
    }
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    int port() const {
        return m_port;
    }
    std::string Url(const std::string& path) const {
        return std::string(m_v6 ? "http://[::1]:" : "http://127.0.0.1:") + std::to_string(m_port) +
               path;
    }
    bool SawConnection() const {
#ifdef _WIN32
        WSAPOLLFD p{static_cast<SOCKET>(m_fd), POLLIN, 0};
        return ::WSAPoll(&p, 1, 0) > 0;
#else
        pollfd p{m_fd, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
#endif
    }

private:
#ifdef _WIN32
    using Socket = long long;  // a SOCKET, kept signed so that -1 means none
#else
    using Socket = int;
#endif
    bool m_v6 = false;
    Socket m_fd = -1;
    int m_port = 0;
};

// A loopback port that nothing listens on (bound once, then released).
inline int DeadPort() {
#ifdef _WIN32
    const SOCKET fd = ::socket(AF_INET, SOCK_STREAM, 0);
#else
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
#endif
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
#ifdef _WIN32
    ::closesocket(fd);
#else
    ::close(fd);
#endif
    return ntohs(address.sin_port);
}

// A fresh owner-only folder, removed with everything in it.
class WorkFolder {
public:
    WorkFolder() {
#ifdef _WIN32
        static std::atomic<unsigned> counter{0};
        m_path = std::filesystem::temp_directory_path() /
                 ("httpc-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                  std::to_string(GetTickCount64()) + "-" + std::to_string(counter++));
        if (!std::filesystem::create_directory(m_path)) {
            throw std::runtime_error("cannot make a work folder");
        }
#else
        std::string pattern = (std::filesystem::temp_directory_path() / "httpc-test-XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_path = pattern;
#endif
    }
    ~WorkFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    // The folder text as the host hands it to load: ends in '/' ('\\' on Windows).
#ifdef _WIN32
    std::string Text() const {
        return m_path.string() + "\\";
    }
#else
    std::string Text() const {
        return m_path.string() + "/";
    }
#endif
    std::filesystem::path operator/(const std::string& name) const {
        return m_path / name;
    }
    // Names of everything in the folder, hidden files included.
    std::set<std::string> Entries() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_path)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }
    const std::filesystem::path& path() const {
        return m_path;
    }

private:
    std::filesystem::path m_path;
};

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// One answer as the host's grammar reads it: status code of field 1, headers to the first line
// without ": ".
struct Answer {
    int code = 0;
    std::map<std::string, std::string> headers;
    std::string raw;
    std::string operator[](const std::string& name) const {
        const auto it = headers.find(name);
        return it == headers.end() ? "" : it->second;
    }
};

inline Answer ReadAnswer(std::string raw) {
    Answer answer;
    answer.raw = std::move(raw);
    std::size_t pos = 0;
    bool first = true;
    while (pos < answer.raw.size()) {
        std::size_t end = answer.raw.find("\r\n", pos);
        if (end == std::string::npos) {
            end = answer.raw.size();
        }
        const std::string line = answer.raw.substr(pos, end - pos);
        pos = end + 2;
        if (first) {
            const std::size_t space = line.find(' ');
            answer.code = space == std::string::npos ? 0 : std::atoi(line.c_str() + space + 1);
            first = false;
            continue;
        }
        const std::size_t colon = line.find(": ");
        if (colon == std::string::npos) {
            break;
        }
        answer.headers[line.substr(0, colon)] = line.substr(colon + 2);
    }
    return answer;
}

// The request text the host composes.
inline std::string HostRequest(const std::vector<std::string>& args) {
    std::string text = "EXECUTE SAORI/1.0\r\nSender: norvo\r\nSecurityLevel: Local\r\n";
    for (std::size_t i = 0; i < args.size(); ++i) {
        text += "Argument" + std::to_string(i) + ": " + args[i] + "\r\n";
    }
    return text + "\r\n";
}

// httpc.so opened with dlopen and driven through its four exports, blocks malloc'ed as the
// host does.
class ModuleLibrary {
public:
#ifdef _WIN32
    // httpc.dll: the same exports with BOOL and HGLOBAL, blocks in fixed global memory.
    explicit ModuleLibrary(const std::string& path) {
        m_handle = ::LoadLibraryA(path.c_str());
        if (m_handle == nullptr) {
            throw std::runtime_error("LoadLibrary failed: " + std::to_string(GetLastError()));
        }
        auto find = [this](const char* name) {
            return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(m_handle), name));
        };
        m_load = reinterpret_cast<LoadFn>(find("load"));
        m_request = reinterpret_cast<RequestFn>(find("request"));
        m_unload = reinterpret_cast<UnloadFn>(find("unload"));
        m_cancel = reinterpret_cast<CancelFn>(find("cancel"));
        if (!m_load || !m_request || !m_unload || !m_cancel) {
            throw std::runtime_error("httpc.dll lacks an export");
        }
    }
    ~ModuleLibrary() {
        ::FreeLibrary(static_cast<HMODULE>(m_handle));
    }
    static char* Alloc(std::size_t size) {
        return static_cast<char*>(GlobalAlloc(GMEM_FIXED, size));
    }
    static void Free(void* block) {
        GlobalFree(block);
    }
#else
    explicit ModuleLibrary(const std::string& path) {
        m_handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (m_handle == nullptr) {
            throw std::runtime_error(std::string("dlopen: ") + ::dlerror());
        }
        m_load = reinterpret_cast<LoadFn>(::dlsym(m_handle, "load"));
        m_request = reinterpret_cast<RequestFn>(::dlsym(m_handle, "request"));
        m_unload = reinterpret_cast<UnloadFn>(::dlsym(m_handle, "unload"));
        m_cancel = reinterpret_cast<CancelFn>(::dlsym(m_handle, "cancel"));
        if (!m_load || !m_request || !m_unload || !m_cancel) {
            throw std::runtime_error("httpc.so lacks an export");
        }
    }
    ~ModuleLibrary() {
        ::dlclose(m_handle);
    }
    static char* Alloc(std::size_t size) {
        return static_cast<char*>(std::malloc(size));
    }
    static void Free(void* block) {
        std::free(block);
    }
#endif
    ModuleLibrary(const ModuleLibrary&) = delete;
    ModuleLibrary& operator=(const ModuleLibrary&) = delete;

    // 0 when the module is ready, 1 when not (Windows' load answers TRUE or FALSE).
    int Load(const std::string& directory) {
        char* block = Alloc(directory.size() + 1);
        std::memcpy(block, directory.data(), directory.size());
#ifdef _WIN32
        return m_load(block, static_cast<long>(directory.size())) ? 0 : 1;
#else
        return m_load(block, static_cast<long>(directory.size()));
#endif
    }
    std::string RawRequest(const std::string& text) {
        char* block = Alloc(text.size() + 1);
        std::memcpy(block, text.data(), text.size());
        long len = static_cast<long>(text.size());
        char* answer = m_request(block, &len);
        if (answer == nullptr) {
            return {};
        }
        std::string out(answer, static_cast<std::size_t>(len));
        Free(answer);
        return out;
    }
    Answer Request(const std::vector<std::string>& args) {
        return ReadAnswer(RawRequest(HostRequest(args)));
    }
    int Unload() {
        return m_unload();
    }
    void Cancel() {
        m_cancel();
    }
    void* handle() const {
        return m_handle;
    }

private:
    using LoadFn = int (*)(char*, long);
    using RequestFn = char* (*)(char*, long*);
    using UnloadFn = int (*)();
    using CancelFn = void (*)();
    void* m_handle = nullptr;
    LoadFn m_load = nullptr;
    RequestFn m_request = nullptr;
    UnloadFn m_unload = nullptr;
    CancelFn m_cancel = nullptr;
};

// Open file descriptors of this process; only sockets or only the rest.
inline int CountOpenFds(bool sockets) {
#ifdef _WIN32
    // Windows has no descriptor list to read; the test that counts is left out there.
    (void)sockets;
    return 0;
#endif
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (!error && target.starts_with("socket:") == sockets) {
            ++count;
        }
    }
    return count;
}

}  // namespace norvo::test
