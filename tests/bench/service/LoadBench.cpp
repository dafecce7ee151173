// The gallery service under load on loopback: DETECTIONS detections at once over ten distinct
// pictures (so the detector itself runs side by side, not only its cache) while four clients
// make SEARCHES searches each. Prints the time taken, the failed requests and how far the
// resident memory grew. Goals: every request answered, the searches done within 10 s, and
// less than 300 MiB kept after the load (decoded pictures and detector scratch are released
// after each request).
//   bench_gallery_load [DETECTIONS [SEARCHES]]
#include <unistd.h>
#include <QCoreApplication>
#include <QImage>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/service/RunningGallery.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
    // Owns Qt's image plug-ins, as the service's own main does.
    QCoreApplication application(argc, argv);
    const int detections = argc > 1 ? std::atoi(argv[1]) : 50;
    const int searches = argc > 2 ? std::atoi(argv[2]) : 50;
    const fs::path dir = fs::temp_directory_path() / ("norvo-load-" + std::to_string(::getpid()));
    const QImage hopper(NORVO_BENCH_GALLERY_DIR "/Grace Hopper/grace_hopper.jpg");
    const QImage astronaut(NORVO_BENCH_GALLERY_DIR "/Eileen Collins/astronaut.png");
    if (hopper.isNull() || astronaut.isNull()) {
        std::fprintf(stderr, "bench_gallery_load: the bundled pictures are missing\n");
        return 1;
    }
    for (int i = 0; i < 10; ++i) {
        const QImage& base = i % 2 ? hopper : astronaut;
        const double s = 0.6 + 0.1 * i;
        const fs::path folder = dir / (i % 2 ? "Grace Hopper" : "Eileen Collins");
        fs::create_directories(folder);
        base.scaled(int(base.width() * s), int(base.height() * s))
            .save(QString::fromStdString((folder / ("v" + std::to_string(i) + ".jpg")).string()));
    }

    int failed = 0;
    {
        norvo::test::RunningGallery service({.pictures = dir, .threads = 4});
        if (service.Status() != norvo::ServerStatus::Ok) {
            std::fprintf(stderr, "bench_gallery_load: the service did not start\n");
            fs::remove_all(dir);
            return 1;
        }
        const long before = ResidentKb();
        const auto start = Clock::now();
        std::atomic<int> errors{0};
        std::vector<std::thread> clients;
        for (int i = 0; i < detections; ++i) {
            clients.emplace_back([&, i] {
                const std::string person = i % 2 ? "Grace%20Hopper" : "Eileen%20Collins";
                const std::string url =
                    service.Base() + "/pictures/" + person + "/v" + std::to_string(i % 10) + ".jpg";
                auto res = norvo::test::PatientClient(service.HostPort())
                               .Get(("/api/detect?m=1&f=2&url=" + url).c_str());
                if (!res || res->status != 200 || res->body.find("<bounds") == std::string::npos)
                    ++errors;
            });
        }
        std::vector<std::thread> searchers;
        std::vector<double> searchSeconds(4);
        for (int t = 0; t < 4; ++t) {
            searchers.emplace_back([&, t] {
                auto client = norvo::test::PatientClient(service.HostPort());
                for (int i = 0; i < searches; ++i) {
                    const char* name = (i + t) % 3 == 0 ? "nobody"
                                       : i % 2          ? "grace%20hopper"
                                                        : "EILEEN%20COLLINS";
                    auto res = client.Get(
                        (std::string("/ajax/services/search/images?q=") + name + "&v=1.0").c_str());
                    if (!res || res->status != 200)
                        ++errors;
                }
                searchSeconds[t] = Seconds(start);
            });
        }
        for (auto& c : searchers) c.join();
        double searchTime = 0;
        for (double s : searchSeconds) searchTime = std::max(searchTime, s);
        for (auto& c : clients) c.join();
        const double total = Seconds(start);
        const long grown = ResidentKb() - before;
        failed = errors.load();
        std::printf(
            "%d detections and %d searches: %.2f s (searches done after %.2f s; goal 10 s)\n",
            detections, 4 * searches, total, searchTime);
        std::printf("failed requests: %d (goal 0)\n", failed);
        std::printf("resident memory kept after the load: %ld MiB (goal under 300 MiB)\n",
                    grown / 1024);
        if (searchTime > 10 || grown > 300 * 1024)
            failed = failed == 0 ? -1 : failed;
    }
    fs::remove_all(dir);
    return failed == 0 ? 0 : 1;
}
