// How long a run takes to stop while its search answer trickles in, one byte a second: Ctrl-C
// on the terminal run (the built program as a child process, time to its exit) and the close
// box of the windows (offscreen, time until the main window has finished), plus how long the
// bundled service takes to stop when the program leaves. Run by hand:
//   build/bin/bench_stop [runs [PROGRAM]]
// PROGRAM replaces the built norvo for the terminal runs (e.g. an older build, to compare).

#include <QApplication>
#include <QDialog>
#include <QPushButton>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../../e2e/ChildProgram.h"
#include "HttpcTestSupport.h"
#include "app/CreateRun.h"
#include "app/EmbeddedGallery.h"
#include "app/ServiceSetup.h"
#include "app/gui/CMainDialog.h"
#include "app/gui/CProgressDialog.h"
#include "saori/Platform.h"
#include "saori/WorkFolder.h"

namespace norvo {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kWaitLimit = std::chrono::seconds(60);

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Keeps the Qt event loop turning until `done` or the limit.
template <typename Done>
bool WaitFor(Done done) {
    const auto until = Clock::now() + kWaitLimit;
    while (!done()) {
        if (Clock::now() > until) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

bool TerminalStop(const std::string& norvo, const std::string& base, std::atomic<int>& searches,
                  double& ms) {
    const int before = searches;
    WorkFolder scratch;
    testing::ChildProgram program;
    if (!program.Start(norvo,
                       {"--body", "A", "--face", "B", "--output", scratch.Path() + "p.jpg",
                        "--search-url", base},
                       {})) {
        return false;
    }
    if (!WaitFor([&] { return searches > before; })) {
        return false;
    }
    const auto asked = Clock::now();
    program.Interrupt();
    const auto status =
        program.WaitExit(std::chrono::duration_cast<std::chrono::milliseconds>(kWaitLimit));
    ms = MsSince(asked);
    return status.has_value();
}

bool WindowStop(const std::string& base, std::atomic<int>& searches, double& ms) {
    const int before = searches;
    WorkFolder work;
    ServiceAddresses services{base, base};
    RunSettings settings = MakeRunSettings(work.Path(), services);
    CProgressDialog progress;
    CMainDialog dialog;
    progress.SetMainWindow(&dialog);
    dialog.SetProgressWindow(&progress);
    RunOutcome outcome = RunOutcome::NotRun;
    dialog.SetRunJob([&](RunView& view, const std::string& body, const std::string& face) {
        CreateRun run(view, settings);
        run.Run(body, face);
        outcome = run.LastOutcome();
    });
    bool finished = false;
    QObject::connect(&dialog, &QDialog::finished, [&] { finished = true; });
    dialog.show();
    dialog.findChild<QPushButton*>(QStringLiteral("buttonCreate"))->click();
    if (!WaitFor([&] { return searches > before; })) {
        return false;
    }
    const auto asked = Clock::now();
    dialog.close();
    const bool ended = WaitFor([&] { return finished; });
    ms = MsSince(asked);
    return ended && outcome == RunOutcome::Stopped;
}

bool ServiceStop(double& ms) {
    EmbeddedGallery gallery;
    ServiceAddresses services;
    std::string why;
    if (SetUpServices("", "", gallery, services, why) != ServiceSetupStatus::Ok) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return false;
    }
    const auto asked = Clock::now();
    gallery.Stop();
    ms = MsSince(asked);
    return true;
}

void Print(const char* title, std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::printf("  %-34s median %7.1f ms   min %7.1f   max %7.1f   (%zu runs)\n", title,
                values[values.size() / 2], values.front(), values.back(), values.size());
}

}  // namespace
}  // namespace norvo

int main(int argc, char** argv) {
    using namespace norvo;
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const std::string norvo = argc > 2 ? argv[2] : platform::ProgramFolder() + "norvo";

    // The bundled service is timed first: SetUpServices sets the probe address, which is only
    // safe while no other thread runs.
    std::vector<double> service;
    for (int i = 0; i < runs; ++i) {
        double ms = 0;
        if (!ServiceStop(ms)) {
            return 1;
        }
        service.push_back(ms);
    }

    test::LoopbackServer server;
    std::atomic<int> searches{0};
    test::ServeTricklingSearch(server, searches);
    server.Bind();
    const std::string base = server.Url("");
    ::setenv("HTTPC_PROBE_URL", base.c_str(), 1);
    server.Serve();

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    // The offscreen platform's complaints about raising windows are no figures.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});

    std::vector<double> terminal, windows;
    for (int i = 0; i < runs; ++i) {
        double ms = 0;
        if (!TerminalStop(norvo, base, searches, ms)) {
            std::fprintf(stderr, "the terminal run did not stop\n");
            return 1;
        }
        terminal.push_back(ms);
        if (!WindowStop(base, searches, ms)) {
            std::fprintf(stderr, "the windows' run did not stop\n");
            return 1;
        }
        windows.push_back(ms);
    }
    std::printf("Stop of a run whose search answer trickles in at one byte a second:\n");
    Print("Ctrl-C to the terminal run's exit", terminal);
    Print("close box to the window finished", windows);
    std::printf("Stop of the bundled service when the program leaves:\n");
    Print("SIGTERM to the service's exit", service);
    return 0;
}
