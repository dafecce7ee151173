// How often norvo-gallery ends with exit status 0 when SIGTERM comes after a search and a
// detection: once over the picture folder, once over the wikimedia source answered by the
// loopback fake (a fresh cache folder each time, so every picture is fetched and decoded).
// Prints "N of RUNS" per source and the other endings seen; exit status 1 unless every run
// exited 0. Run by hand:
//   build/bin/bench_gallery_exit [runs [PROGRAM]]

#include <httplib.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "tests/fakeweb/FakeWeb.h"
#include "tests/service/GalleryChild.h"

namespace norvo {
namespace {

namespace fs = std::filesystem;

constexpr int kDefaultRuns = 200;
constexpr int kMaxRuns = 100000;
// Only a hang reaches these.
constexpr auto kExitLimit = std::chrono::seconds(60);
constexpr int kAnswerSeconds = 120;

// The first picture address of a search answer, or "".
std::string FirstUrl(const std::string& json) {
    std::smatch m;
    static const std::regex url("\"url\":\"([^\"]+)\"");
    return std::regex_search(json, m, url) ? m[1].str() : std::string();
}

// One service: started, asked for `name` and the faces of its first picture, stopped with
// SIGTERM. Returns its exit status (128 + signal when a signal ended it), or a negative value
// when the service could not be used at all.
int OneRun(const std::string& program, std::vector<std::string> args, const std::string& name,
           const fs::path& cache) {
    fs::remove_all(cache);
    args.insert(args.end(), {"--quiet", "--cache", cache.string()});
    test::GalleryChild child(program, args, false);
    if (!child.Started())
        return -2;
    const std::string base = child.ReadLine();
    if (base.rfind("http://", 0) != 0)
        return -3;
    httplib::Client client(base.substr(7));
    client.set_read_timeout(kAnswerSeconds, 0);
    const auto search = client.Get("/ajax/services/search/images?q=" + name + "&v=1.0");
    const std::string picture = search && search->status == 200 ? FirstUrl(search->body) : "";
    if (picture.empty())
        return -4;
    const auto detect = client.Get("/api/detect?url=" + picture);
    if (!detect || detect->status != 200)
        return -5;
    child.Signal(SIGTERM);
    return child.WaitExit(kExitLimit);
}

const char* Describe(int ending) {
    switch (ending) {
        case -1:
            return "did not end (killed)";
        case -2:
            return "could not start";
        case -3:
            return "printed no address";
        case -4:
            return "search found no picture";
        case -5:
            return "detection failed";
        default:
            return nullptr;
    }
}

// Runs `runs` services; prints the figures; true when every one exited 0.
bool Measure(const char* label, int runs, const std::string& program,
             const std::vector<std::string>& args, const std::string& name, const fs::path& cache) {
    std::map<int, int> endings;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i) ++endings[OneRun(program, args, name, cache)];
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-8s %d of %d SIGTERMs after a search and a detection exited 0 (%.1f s)\n", label,
                endings[0], runs, seconds);
    for (const auto& [ending, count] : endings) {
        if (ending == 0)
            continue;
        if (const char* what = Describe(ending))
            std::printf("         %d: %s\n", count, what);
        else if (ending > 128)
            std::printf("         %d: ended by signal %d (%s)\n", count, ending - 128,
                        strsignal(ending - 128));
        else
            std::printf("         %d: exit status %d\n", count, ending);
    }
    std::fflush(stdout);
    return endings[0] == runs;
}

}  // namespace
}  // namespace norvo

int main(int argc, char** argv) {
    using namespace norvo;
    const int runs = argc > 1 ? std::atoi(argv[1]) : kDefaultRuns;
    if (runs < 1 || runs > kMaxRuns) {
        std::fprintf(stderr, "usage: bench_gallery_exit [runs (1 to %d) [PROGRAM]]\n", kMaxRuns);
        return 2;
    }
    const std::string program = argc > 2 ? argv[2] : NORVO_BENCH_GALLERY_BIN;
    const fs::path gallery = NORVO_BENCH_GALLERY_DIR;
    const fs::path work =
        fs::temp_directory_path() / ("norvo-exit-bench-" + std::to_string(getpid()));
    fs::create_directories(work);

    bool clean = Measure("gallery", runs, program, {"--pictures", gallery.string()},
                         "grace%20hopper", work / "cache");
    {
        test::FakeWeb fake(gallery);
        clean &= Measure(
            "web", runs, program,
            {"--pictures", gallery.string(), "--sources", "gallery,wikimedia",
             "--allow-private-fetch", fake.Endpoint(), "--wikipedia-api", fake.WikipediaApi(),
             "--commons-api", fake.CommonsApi(), "--wikidata-api", fake.WikidataApi()},
            "Ada%20Example", work / "cache");
    }
    fs::remove_all(work);
    return clean ? 0 : 1;
}
