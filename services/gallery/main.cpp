// norvo-gallery: the lookup service the program asks for pictures and faces.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

#include "GalleryServer.h"
#include "norvo/Version.h"
#include "saori/Platform.h"
#include "saori/StopSignals.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "Usage: norvo-gallery [OPTION]...\n"
    "Serve image search and face detection over a picture folder.\n"
    "\n"
    "  --pictures DIR     picture folder, one sub-folder per person\n"
    "                     (default: the bundled gallery, share/norvo/gallery)\n"
    "  --listen HOST:PORT address to listen on (default 127.0.0.1:0; port 0 picks a\n"
    "                     free one); the first line written is the service's address\n"
    "  --allow-remote     also detect faces in pictures from other hosts (fetched)\n"
    "  --threads N        request worker threads, 1 to 64 (default 4)\n"
    "  --watch-stdin      stop when standard input is closed (for a parent process)\n"
    "  --quiet            no log line per request\n"
    "      --help         display this help and exit\n"
    "      --version      output version information and exit\n"
    "\n"
    "Exit status: 0 after SIGTERM or SIGINT, 1 if the service cannot start, 2 on a usage error.\n";

int UsageError(const std::string& message) {
    std::fprintf(stderr, "norvo-gallery: %s\nTry 'norvo-gallery --help' for more information.\n",
                 message.c_str());
    return 2;
}

// The bundled gallery in the data folder beside the program, found from the program's own
// path; never looked for in the working folder.
fs::path DefaultPictures() {
    const std::string data = norvo::platform::DataFolder();
    return data.empty() ? fs::path() : fs::path(data) / "gallery";
}

// HOST:PORT or [V6]:PORT; the port is 0 to 65535.
bool ParseListen(const std::string& text, std::string& host, int& port) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon + 1 == text.size() || colon + 6 < text.size())
        return false;
    host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty())
        return false;
    port = 0;
    for (std::size_t i = colon + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        port = port * 10 + (text[i] - '0');
    }
    return port <= 65535;
}

}  // namespace

int main(int argc, char** argv) {
    norvo::GalleryOptions options;
    options.pictures = DefaultPictures();
    options.port = 0;
    bool watchStdin = false;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("norvo-gallery %s\n", norvo::kProgramVersion);
            return 0;
        } else if (arg == "--pictures") {
            if (!value(v))
                return UsageError("--pictures needs a folder");
            options.pictures = v;
        } else if (arg == "--listen") {
            if (!value(v) || !ParseListen(v, options.host, options.port)) {
                return UsageError("--listen needs HOST:PORT");
            }
        } else if (arg == "--threads") {
            char* end = nullptr;
            if (!value(v))
                return UsageError("--threads needs a number");
            const long n = std::strtol(v.c_str(), &end, 10);
            if (end == v.c_str() || *end != '\0' || n < 1 || n > 64) {
                return UsageError("--threads needs a number from 1 to 64");
            }
            options.threads = static_cast<int>(n);
        } else if (arg == "--allow-remote") {
            options.allowRemote = true;
        } else if (arg == "--watch-stdin") {
            watchStdin = true;
        } else if (arg == "--quiet") {
            options.log = false;
        } else {
            return UsageError("unknown option '" + arg + "'");
        }
    }

    // Caught process-wide: libraries (a threaded BLAS under dlib) start threads before main,
    // and the kernel may hand a stop signal to any of them.
    norvo::StopSignals stopSignals;
    if (!stopSignals.IsActive()) {
        std::fprintf(stderr, "norvo-gallery: cannot catch the stop signals\n");
        return 1;
    }
    // A client that goes away mid-answer must not end the service.
    signal(SIGPIPE, SIG_IGN);

    norvo::GalleryServer server(options);
    const norvo::ServerStatus started = server.Start();
    if (started != norvo::ServerStatus::Ok) {
        std::fprintf(stderr, "norvo-gallery: %s (%s)\n", norvo::describe(started),
                     started == norvo::ServerStatus::NoPictureFolder ? options.pictures.c_str()
                                                                     : options.host.c_str());
        return 1;
    }
    std::printf("%s\n", server.BaseUrl().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "norvo-gallery: serving %s at %s\n", options.pictures.c_str(),
                 server.BaseUrl().c_str());

    // One watcher for a stop signal and, with --watch-stdin, the end of standard input; it is
    // joined before the server goes.
    std::thread watcher([&server, &stopSignals, watchStdin] {
        for (;;) {
            const auto end = stopSignals.Wait(watchStdin ? STDIN_FILENO : -1);
            if (end == norvo::StopSignals::WaitEnd::Descriptor) {
                char buffer[256];
                const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
                if (n > 0 || (n < 0 && errno == EINTR)) {
                    continue;  // the parent wrote something: only the end of input counts
                }
            }
            break;
        }
        server.Stop();
    });

    server.Run();
    // Wake the watcher if the service stopped for another reason.
    stopSignals.EndWaits();
    watcher.join();
    std::fprintf(stderr, "norvo-gallery: stopped\n");
    return 0;
}
