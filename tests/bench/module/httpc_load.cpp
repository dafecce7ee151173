// Stores COUNT files (default 500) of BYTES each (default 100 KiB) one after another through
// httpc.so from a loopback server; prints requests per second, peak memory and open
// descriptors before and after. Exit status 1 when a store failed, a file differs or a
// descriptor was left open.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "HttpcTestSupport.h"

using namespace norvo::test;

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 500;
    const std::size_t bytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 100 * 1024;
    if (count <= 0 || count > 100000 || bytes > 32u * 1024 * 1024) {
        std::fprintf(stderr, "usage: %s [COUNT (1-100000) [BYTES (up to 32 MiB)]]\n", argv[0]);
        return 2;
    }
    ::setenv("no_proxy", "127.0.0.1", 1);

    std::string payload(bytes, '\0');
    for (std::size_t i = 0; i < bytes; ++i) {
        payload[i] = static_cast<char>(i * 31 + 7);
    }
    LoopbackServer server;
    server.routes().Get(R"(/picture/(\d+)\.jpg)",
                        [&payload](const httplib::Request&, httplib::Response& res) {
                            res.set_content(payload, "image/jpeg");
                        });
    server.Start();
    WorkFolder folder;
    ModuleLibrary module(HTTPC_MODULE_PATH);

    const int socketsBefore = CountOpenFds(true);
    const int filesBefore = CountOpenFds(false);
    if (module.Load(folder.Text()) != 0) {
        std::fprintf(stderr, "load failed\n");
        return 1;
    }
    int failures = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        const std::string name = "picture-" + std::to_string(i) + ".jpg";
        const Answer answer =
            module.Request({server.Url("/picture/" + std::to_string(i) + ".jpg"), name});
        if (answer.code != 200 || answer["Result"] != "1") {
            ++failures;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    module.Unload();

    int mismatched = 0;
    for (int i = 0; i < count; ++i) {
        if (ReadFile(folder / ("picture-" + std::to_string(i) + ".jpg")) != payload) {
            ++mismatched;
        }
    }
    const int stray = static_cast<int>(folder.Entries().size()) - count;
    // The server's side of the last connection closes a moment after the module's side.
    for (int i = 0; i < 300 && CountOpenFds(true) > socketsBefore; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const int socketsAfter = CountOpenFds(true);
    const int filesAfter = CountOpenFds(false);

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("stores:             %d of %d bytes each\n", count, static_cast<int>(bytes));
    std::printf("failed / mismatched / stray files: %d / %d / %d\n", failures, mismatched, stray);
    std::printf("time:               %.3f s\n", seconds);
    std::printf("requests per second: %.1f\n", count / seconds);
    std::printf("throughput:         %.1f MiB/s\n",
                static_cast<double>(bytes) * count / seconds / (1024.0 * 1024.0));
    std::printf("peak memory (maxrss): %ld KiB\n", usage.ru_maxrss);
    std::printf("descriptors before/after: files %d/%d, sockets %d/%d\n", filesBefore, filesAfter,
                socketsBefore, socketsAfter);
    const bool leaked = filesAfter > filesBefore || socketsAfter > socketsBefore;
    return failures == 0 && mismatched == 0 && stray == 0 && !leaked ? 0 : 1;
}
