#include "app/CommandLine.h"

#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>
#include <thread>

#include "app/CreateRun.h"
#include "app/EmbeddedGallery.h"
#include "app/PortraitChoice.h"
#include "app/ServiceSetup.h"
#include "app/TerminalView.h"
#include "imaging/LandmarkModel.h"
#include "imaging/NaturalBlend.h"
#include "norvo/Version.h"
#include "saori/StopSignals.h"
#include "saori/WorkFolder.h"

namespace norvo {

namespace {

constexpr char kSourcesOrOfflineText[] = "give --sources or --offline, not both";

struct ValueOption {
    const char* name;
    std::string CommandLineOptions::*field;
};

constexpr ValueOption kValueOptions[] = {
    {"--body", &CommandLineOptions::body},
    {"--face", &CommandLineOptions::face},
    {"--output", &CommandLineOptions::output},
    {"--search-url", &CommandLineOptions::searchUrl},
    {"--detect-url", &CommandLineOptions::detectUrl},
    {"--sources", &CommandLineOptions::sources},
    {"--blend", &CommandLineOptions::blend},
    {"--preview", &CommandLineOptions::preview},
};

ParsedCommandLine Error(std::string text) {
    ParsedCommandLine parsed;
    parsed.action = CommandLineAction::Error;
    parsed.error = std::move(text);
    return parsed;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
    ParsedCommandLine parsed;
    if (args.empty()) {
        return parsed;
    }
    bool help = false;
    bool version = false;
    std::vector<std::string> seen;
    auto once = [&seen](const std::string& name) {
        for (const auto& s : seen) {
            if (s == name) {
                return false;
            }
        }
        seen.push_back(name);
        return true;
    };
    auto given = [&seen](const std::string& name) {
        for (const auto& s : seen) {
            if (s == name) {
                return true;
            }
        }
        return false;
    };

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            if (i + 1 < args.size()) {
                return Error("unexpected argument '" + args[i + 1] + "'");
            }
            break;
        }
        if (arg.rfind("--", 0) != 0) {
            return Error("unexpected argument '" + arg + "'");
        }
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (name == "--help" || name == "--version" || name == "--force" || name == "--verbose" ||
            name == "--no-label" || name == "--offline") {
            if (equals != std::string::npos) {
                return Error("option '" + name + "' takes no value");
            }
            if (!once(name)) {
                return Error("option '" + name + "' given twice");
            }
            help = help || name == "--help";
            version = version || name == "--version";
            parsed.options.force = parsed.options.force || name == "--force";
            parsed.options.verbose = parsed.options.verbose || name == "--verbose";
            parsed.options.noLabel = parsed.options.noLabel || name == "--no-label";
            parsed.options.offline = parsed.options.offline || name == "--offline";
            continue;
        }
        const ValueOption* option = nullptr;
        for (const auto& candidate : kValueOptions) {
            if (name == candidate.name) {
                option = &candidate;
            }
        }
        if (option == nullptr) {
            return Error("unrecognized option '" + name + "'");
        }
        if (!once(name)) {
            return Error("option '" + name + "' given twice");
        }
        std::string value;
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return Error("option '" + name + "' requires a value");
        }
        parsed.options.*(option->field) = value;
    }

    if (help) {
        parsed.action = CommandLineAction::Help;
    } else if (version) {
        parsed.action = CommandLineAction::Version;
    } else if (given("--sources") && given("--offline")) {
        return Error(kSourcesOrOfflineText);
    } else if (given("--body") && given("--face") && given("--output")) {
        if (parsed.options.output.empty()) {
            return Error("the output file name is empty");
        }
        if (given("--blend") && !ParseBlendStyle(parsed.options.blend)) {
            return Error("invalid blend '" + parsed.options.blend + "' (classic or natural)");
        }
        if (given("--preview") && parsed.options.preview.empty()) {
            return Error("the preview file name is empty");
        }
        parsed.action = CommandLineAction::Run;
    } else {
        return Error("a run needs --body, --face and --output");
    }
    return parsed;
}

std::string HelpText(const std::string& program) {
    return "Usage: " + program +
           " [OPTION]...\n"
           "Make a joke portrait: the face of one person pasted onto the picture of another.\n"
           "Without options the windows open; with --body, --face and --output the same run\n"
           "happens on the terminal.\n"
           "\n"
           "  --body NAME         person whose picture is the body\n"
           "  --face NAME         person whose face is pasted in\n"
           "  --output FILE       where to write the portrait (JPEG)\n"
           "  --force             replace FILE (and the --preview file) if it exists\n"
           "  --blend STYLE       classic (the face box over each face) or natural (eyes\n"
           "                      aligned, colours matched, seamless edge); default from\n"
           "                      $NORVO_BLEND, then blend= in norvo.conf, else classic\n"
           "  --preview FILE.png  also write the body, the face and both blends side by side\n"
           "  --search-url URL    image search service (default: $NORVO_SEARCH_URL)\n"
           "  --detect-url URL    face detection service (default: $NORVO_DETECT_URL)\n"
           "  --no-label          save the portrait without the metadata that says what it\n"
           "                      is and credits its source pictures\n"
           "  --sources LIST      where the bundled service looks for pictures, in order:\n"
           "                      gallery, wikimedia, searxng=URL (default: $NORVO_SOURCES,\n"
           "                      else sources= in norvo.conf, else gallery,wikimedia)\n"
           "  --offline           the bundled gallery only: no name leaves this computer\n"
           "  --verbose           print every step of the run\n"
           "  --help              display this help and exit\n"
           "  --version           output version information and exit\n"
           "\n"
           "The natural blend reads dlib's face landmark model from\n"
           "/usr/share/dlib/shape_predictor_68_face_landmarks.dat, or the file named by\n"
           "$NORVO_LANDMARK_MODEL; without it the classic blend is used.\n"
           "\n"
           "When neither service is named, the bundled gallery service is started on a free\n"
           "local port and used for both; when only one is named, it serves both. A name the\n"
           "bundled gallery does not know is then looked up on Wikipedia and Wikimedia\n"
           "Commons (the name is sent to them), unless --offline is given.\n"
           "\n"
           "Exit status: 0 when the portrait was written, 1 when it was not, 2 for unusable\n"
           "options.\n";
}

namespace {

// Waits on a thread of its own for a stop signal and then asks the run to stop, which also ends
// the run's request in flight at once; ends with the scope.
class StopWatcher {
public:
    StopWatcher(StopSignals& signals, TerminalView& view)
        : m_signals(signals), m_thread([&signals, &view] {
              if (signals.Wait() == StopSignals::WaitEnd::Signal) {
                  view.RequestStop();
              }
          }) {}
    ~StopWatcher() {
        m_signals.EndWaits();
        m_thread.join();
    }
    StopWatcher(const StopWatcher&) = delete;
    StopWatcher& operator=(const StopWatcher&) = delete;

private:
    StopSignals& m_signals;
    std::thread m_thread;
};

}  // namespace

int RunCommandLine(int argc, char** argv) {
    const std::string program =
        argc > 0 ? std::filesystem::path(argv[0]).filename().string() : std::string("norvo");
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const ParsedCommandLine parsed = ParseCommandLine(args);
    switch (parsed.action) {
        case CommandLineAction::Help:
            std::fputs(HelpText(program).c_str(), stdout);
            return 0;
        case CommandLineAction::Version:
            std::printf("norvo %s\n", kProgramVersion);
            return 0;
        case CommandLineAction::Error:
        case CommandLineAction::OpenWindows:
            std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program.c_str(),
                         parsed.error.empty() ? "no run asked for" : parsed.error.c_str(),
                         program.c_str());
            return 2;
        case CommandLineAction::Run:
            break;
    }
    const CommandLineOptions& options = parsed.options;
    std::setlocale(LC_ALL, "");
    // The first Ctrl-C (or SIGTERM/SIGHUP) stops the run, so that the module is unloaded, the
    // work folder removed and the service stopped; a second one ends the program at once.
    StopSignals stopSignals(StopSignals::Repeat::EndsProgram);

    std::error_code ec;
    for (const std::string* file : {&options.output, &options.preview}) {
        if (!options.force && !file->empty() && std::filesystem::exists(*file, ec)) {
            std::fprintf(stderr, "%s: %s exists; use --force to replace it\n", program.c_str(),
                         file->c_str());
            return 1;
        }
    }
    std::string blendProblem;
    const BlendStyle blend = ResolveBlendStyle(options.blend, UserSettings(), blendProblem);
    if (!blendProblem.empty()) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(), blendProblem.c_str());
    }

    // Started before any other thread, so the probe address can still be set safely.
    EmbeddedGallery gallery;
    gallery.SetLogVisible(options.verbose);
    ServiceAddresses services;
    std::string why;
    if (SetUpServices(options.searchUrl, options.detectUrl, gallery, services, why,
                      options.offline ? kOfflineSources : options.sources) !=
        ServiceSetupStatus::Ok) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(), why.c_str());
        return 1;
    }
    WorkFolder work;
    if (!work.IsValid()) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(),
                     WorkFolder::describe(work.CreateStatus()));
        return 1;
    }

    // The natural blend's model is read while the pictures are looked up and fetched.
    RunSettings settings = MakeRunSettings(work.Path(), services);
    settings.blend = blend;
    settings.landmarks = std::make_shared<LandmarkModel>(LandmarkModel::DefaultPath());
    if (blend == BlendStyle::Natural || !options.preview.empty()) {
        settings.landmarks->StartLoading(PrepareNaturalBlend);
    }

    TerminalView view(stderr, isatty(STDERR_FILENO) != 0, options.verbose, options.output);
    settings.labelPortrait = LabelWanted(options.noLabel);
    view.SetComparisonPath(options.preview);
    CreateRun run(view, settings);
    {
        // Started only now: the probe address is set, and no other thread may run before that.
        const StopWatcher watcher(stopSignals, view);
        try {
            run.OnCreateButton(options.body, options.face);
        } catch (const std::exception& e) {
            // Out of memory and the like: say so and let the work folder and the service be
            // cleaned up on the way out instead of aborting past them.
            std::fprintf(stderr, "\n%s: the run stopped on an unexpected error: %s\n",
                         program.c_str(), e.what());
            return 1;
        }
    }
    if (stopSignals.Received() != 0 && run.LastOutcome() != RunOutcome::Saved) {
        std::fprintf(stderr, "%s: stopped\n", program.c_str());
    }
    return run.LastOutcome() == RunOutcome::Saved ? 0 : 1;
}

}  // namespace norvo
