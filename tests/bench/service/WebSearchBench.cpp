// A search for a name the gallery does not know, answered by the wikimedia source from the
// loopback fake with a delay added to every answer (as a far-away server would): with a cold
// cache in a fresh service, with a warm one in the same service, and in a second service over
// the same cache folder. Prints the medians and what the fake was asked. Run by hand:
//   build/bin/bench_web_search [runs [delay-ms]]

#include <httplib.h>
#include <sys/resource.h>
#include <unistd.h>
#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "services/gallery/http/GalleryServer.h"
#include "tests/fakeweb/FakeWeb.h"

namespace norvo {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr char kName[] = "Ada Example";

// The service on a thread of its own, with its requests and time limits as in the program.
class Service {
public:
    Service(const test::FakeWeb& fake, const fs::path& cache) {
        std::string why;
        GalleryOptions options;
        options.pictures = NORVO_BENCH_GALLERY_DIR;
        options.log = false;
        options.sources = *ParseSourceList("gallery,wikimedia", why);
        options.cache = cache;
        options.fetchGuard = *AddressGuard::FromList(fake.Endpoint());
        options.wikimediaApis = {fake.WikipediaApi(), fake.CommonsApi(), fake.WikidataApi()};
        m_server = std::make_unique<GalleryServer>(options);
        if (m_server->Start() != ServerStatus::Ok) {
            std::fprintf(stderr, "the service did not start\n");
            std::exit(1);
        }
        m_thread = std::thread([this] { m_server->Run(); });
    }
    ~Service() {
        m_server->Stop();
        m_thread.join();
    }
    // Wall milliseconds of one search; exits when it does not answer 200.
    double Search() {
        httplib::Client client(m_server->BaseUrl().substr(7));
        client.set_read_timeout(60, 0);
        const auto start = Clock::now();
        auto res = client.Get("/ajax/services/search/images?q=Ada%20Example&v=1.0");
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (!res || res->status != 200 || res->body.find("/remote/") == std::string::npos) {
            std::fprintf(stderr, "the search for %s failed\n", kName);
            std::exit(1);
        }
        return ms;
    }

private:
    std::unique_ptr<GalleryServer> m_server;
    std::thread m_thread;
};

// CPU milliseconds of this process so far (service and fake alike).
double CpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace
}  // namespace norvo

int main(int argc, char** argv) {
    // Owns Qt's image plug-ins, as the service's own main does.
    QCoreApplication application(argc, argv);
    using namespace norvo;
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int delay = argc > 2 ? std::max(0, std::atoi(argv[2])) : 80;
    test::FakeWeb fake(NORVO_BENCH_GALLERY_DIR);
    fake.delayMs = delay;
    char pattern[] = "/tmp/norvo-bench-web-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return 1;
    const fs::path root = pattern;

    std::vector<double> cold, coldCpu, warm, nextProcess;
    int api = 0, pictures = 0, warmRequests = 0;
    for (int i = 0; i < runs; ++i) {
        const fs::path cache = root / ("cache" + std::to_string(i));
        fake.ClearLog();
        {
            Service service(fake, cache);
            const double cpu = CpuMs();
            cold.push_back(service.Search());
            coldCpu.push_back(CpuMs() - cpu);
            api = std::max(api, fake.ApiRequests());
            pictures = std::max(pictures, fake.PictureRequests());
            fake.ClearLog();
            warm.push_back(service.Search());
        }
        Service next(fake, cache);
        nextProcess.push_back(next.Search());
        warmRequests = std::max(warmRequests, static_cast<int>(fake.Log().size()));
    }
    fs::remove_all(root);

    std::printf("search for \"%s\" through the wikimedia source, %d ms added per answer, %d runs\n",
                kName, delay, runs);
    std::printf(
        "  cold cache, fresh service:   %7.1f ms  (goal <= 1200), %d API calls (<= 4), "
        "%d picture fetches (<= 8)\n",
        Median(cold), api, pictures);
    std::printf(
        "    of which CPU, all threads: %7.1f ms  (load average now %.1f on %ld cores)\n",
        Median(coldCpu),
        [] {
            double load = 0;
            getloadavg(&load, 1);
            return load;
        }(),
        sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("  warm cache, same service:    %7.1f ms  (goal <= 50)\n", Median(warm));
    std::printf("  warm cache, next service:    %7.1f ms  (goal <= 50)\n", Median(nextProcess));
    std::printf("  requests while warm:         %d (goal 0)\n", warmRequests);
    return 0;
}
