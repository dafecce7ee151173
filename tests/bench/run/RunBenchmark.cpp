// Times whole Create runs over the bundled gallery with the real module and service, and splits
// each run by stage from the moments the run calls its view. Prints the median of N runs with a
// cold detection cache (a fresh service per run) and with a warm one (one service, warmed up).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/CreateRun.h"
#include "app/EmbeddedGallery.h"
#include "app/ServiceSetup.h"
#include "saori/Platform.h"
#include "saori/WorkFolder.h"

namespace norvo {
namespace {

using Clock = std::chrono::steady_clock;

// Stamps the moment of every view call by name ("step 3", "hide", "front", "ask", ...).
class StampingView : public RunView {
public:
    void SendProgressStep(int step) override {
        Stamp(step == kProgressHide ? "hide" : "step " + std::to_string(step));
    }
    void ShowMessage(const std::string& text, MessageKind) override {
        Stamp("message");
        lastMessage = text;
    }
    void BringMainWindowToFront() override { Stamp("front"); }
    std::optional<std::string> AskSavePath() override {
        Stamp("ask");
        return savePath;
    }
    void EnableCreate(bool enabled) override { Stamp(enabled ? "enable 1" : "enable 0"); }

    double Ms(const std::string& from, const std::string& to) const {
        return std::chrono::duration<double, std::milli>(stamps.at(to) - stamps.at(from)).count();
    }

    std::map<std::string, Clock::time_point> stamps;
    std::string savePath;
    std::string lastMessage;

private:
    void Stamp(const std::string& name) {
        // The first of each name counts (the closing hide is named by "enable 1" instead).
        stamps.emplace(name, Clock::now());
    }
};

const char* const kStages[] = {"connection check", "searches", "detections", "downloads",
                               "compositing",      "saving",   "total"};

std::vector<double> Split(const StampingView& v) {
    return {
        v.Ms("step 0", "step 1"),
        v.Ms("step 1", "step 2") + v.Ms("step 6", "step 9"),
        v.Ms("step 2", "step 6") + v.Ms("step 9", "step 13"),
        v.Ms("step 13", "step 15"),
        v.Ms("step 15", "front"),
        v.Ms("ask", "message"),
        v.Ms("enable 0", "enable 1"),
    };
}

bool RunOnce(const ServiceAddresses& services, const std::string& out, std::vector<double>& split) {
    WorkFolder work;
    StampingView view;
    view.savePath = out;
    CreateRun run(view, MakeRunSettings(work.Path(), services));
    run.Run("Grace Hopper", "Eileen Collins");
    if (run.LastOutcome() != RunOutcome::Saved) {
        std::fprintf(stderr, "run failed: %s (%s)\n", describe(run.LastOutcome()),
                     view.lastMessage.c_str());
        return false;
    }
    split = Split(view);
    return true;
}

bool StartService(EmbeddedGallery& gallery, ServiceAddresses& services) {
    std::string why;
    // Between runs no other thread is alive, so resetting the probe address is safe here.
    if (SetUpServices("", "", gallery, services, why) != ServiceSetupStatus::Ok) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return false;
    }
    return true;
}

void Print(const char* title, std::vector<std::vector<double>>& runs) {
    std::printf("%s (median of %zu runs, ms)\n", title, runs.size());
    for (size_t s = 0; s < std::size(kStages); ++s) {
        std::vector<double> values;
        for (const auto& r : runs) {
            values.push_back(r[s]);
        }
        std::sort(values.begin(), values.end());
        std::printf("  %-17s %8.1f   (min %.1f, max %.1f)\n", kStages[s], values[values.size() / 2],
                    values.front(), values.back());
    }
}

}  // namespace
}  // namespace norvo

int main(int argc, char** argv) {
    using namespace norvo;
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string out =
        (std::filesystem::temp_directory_path() / "norvo-bench-portrait.jpg").string();

    std::vector<std::vector<double>> cold;
    for (int i = 0; i < runs; ++i) {
        EmbeddedGallery gallery;
        ServiceAddresses services;
        std::vector<double> split;
        if (!StartService(gallery, services) || !RunOnce(services, out, split)) {
            return 1;
        }
        cold.push_back(split);
    }

    std::vector<std::vector<double>> warm;
    EmbeddedGallery gallery;
    ServiceAddresses services;
    std::vector<double> split;
    if (!StartService(gallery, services) || !RunOnce(services, out, split)) {
        return 1;
    }
    for (int i = 0; i < runs; ++i) {
        if (!RunOnce(services, out, split)) {
            return 1;
        }
        warm.push_back(split);
    }
    std::filesystem::remove(out);

    Print("cold detection cache", cold);
    Print("warm detection cache", warm);
    return 0;
}
