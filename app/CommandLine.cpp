#include "app/CommandLine.h"

#include <charconv>
#include <clocale>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>
#include <thread>

#include "app/Console.h"
#include "app/CreateRun.h"
#include "app/EmbeddedGallery.h"
#include "app/FaceNumbers.h"
#include "app/PortraitChoice.h"
#include "app/ServiceSetup.h"
#include "app/TerminalTexts.h"
#include "app/TerminalView.h"
#include "base/Utf8Path.h"
#include "imaging/LandmarkModel.h"
#include "imaging/NaturalBlend.h"
#include "norvo/Version.h"
#include "saori/StopSignals.h"
#include "saori/WorkFolder.h"
#include "text/UserText.h"

namespace norvo {

namespace {

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
    {"--body-pick", &CommandLineOptions::bodyPick},
    {"--face-pick", &CommandLineOptions::facePick},
    {"--body-person", &CommandLineOptions::bodyPerson},
    {"--face-person", &CommandLineOptions::facePerson},
    {"--faces", &CommandLineOptions::faces},
};

// A picture number: digits only, from 1.
std::optional<std::size_t> ParsePick(const std::string& text) {
    std::size_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || number == 0) {
        return std::nullopt;
    }
    return number;
}

// `pattern` with the argument or option it is about.
ParsedCommandLine Error(const char* pattern, const std::string& about = "") {
    ParsedCommandLine parsed;
    parsed.action = CommandLineAction::Error;
    parsed.error = ComposeText(pattern, {about});
    return parsed;
}

}  // namespace

RunChoices ChoicesFrom(const CommandLineOptions& options) {
    RunChoices choices;
    choices.body = {options.bodyPerson, ParsePick(options.bodyPick)};
    choices.face = {options.facePerson, ParsePick(options.facePick)};
    choices.faces = ParseFaceNumbers(options.faces).value_or(std::vector<std::size_t>{});
    choices.listOnly = options.candidates;
    return choices;
}

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
                return Error(kUnexpectedArgumentText, args[i + 1]);
            }
            break;
        }
        if (arg.rfind("--", 0) != 0) {
            return Error(kUnexpectedArgumentText, arg);
        }
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (name == "--help" || name == "--version" || name == "--force" || name == "--verbose" ||
            name == "--no-label" || name == "--offline" || name == "--candidates") {
            if (equals != std::string::npos) {
                return Error(kTakesNoValueText, name);
            }
            if (!once(name)) {
                return Error(kGivenTwiceText, name);
            }
            help = help || name == "--help";
            version = version || name == "--version";
            parsed.options.force = parsed.options.force || name == "--force";
            parsed.options.verbose = parsed.options.verbose || name == "--verbose";
            parsed.options.noLabel = parsed.options.noLabel || name == "--no-label";
            parsed.options.offline = parsed.options.offline || name == "--offline";
            parsed.options.candidates = parsed.options.candidates || name == "--candidates";
            continue;
        }
        const ValueOption* option = nullptr;
        for (const auto& candidate : kValueOptions) {
            if (name == candidate.name) {
                option = &candidate;
            }
        }
        if (option == nullptr) {
            return Error(kUnrecognizedOptionText, name);
        }
        if (!once(name)) {
            return Error(kGivenTwiceText, name);
        }
        std::string value;
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return Error(kRequiresValueText, name);
        }
        parsed.options.*(option->field) = value;
    }

    if (help) {
        parsed.action = CommandLineAction::Help;
    } else if (version) {
        parsed.action = CommandLineAction::Version;
    } else if (given("--sources") && given("--offline")) {
        return Error(kSourcesOrOfflineText);
    } else if (given("--body") && given("--face") && (given("--output") || given("--candidates"))) {
        if (given("--output") && parsed.options.output.empty()) {
            return Error(kEmptyOutputText);
        }
        for (const auto& [option, value] : {std::pair{"--body-pick", &parsed.options.bodyPick},
                                            {"--face-pick", &parsed.options.facePick}}) {
            if (given(option) && !ParsePick(*value)) {
                return Error(kInvalidPickText, *value);
            }
        }
        for (const auto& [option, value] : {std::pair{"--body-person", &parsed.options.bodyPerson},
                                            {"--face-person", &parsed.options.facePerson}}) {
            if (given(option) && value->empty()) {
                return Error(kEmptyPersonText, option);
            }
        }
        if (given("--faces") && !ParseFaceNumbers(parsed.options.faces)) {
            return Error(kInvalidFaceListText, parsed.options.faces);
        }
        if (given("--blend") && !ParseBlendStyle(parsed.options.blend)) {
            return Error(kInvalidBlendText, parsed.options.blend);
        }
        if (given("--preview") && parsed.options.preview.empty()) {
            return Error(kEmptyPreviewText);
        }
        parsed.action = CommandLineAction::Run;
    } else {
        return Error(kRunNeedsNamesText);
    }
    return parsed;
}

std::string HelpText(const std::string& program) {
    return ComposeText(kHelpText, {program});
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
    const std::string program = ProgramName(argc > 0 ? argv[0] : nullptr);
    const Utf8Console console;
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const ParsedCommandLine parsed = ParseCommandLine(args);
    switch (parsed.action) {
        case CommandLineAction::Help:
            std::fputs(HelpText(program).c_str(), stdout);
            return 0;
        case CommandLineAction::Version:
            std::printf("%s\n%s", ComposeText(kVersionText, {kProgramVersion}).c_str(),
                        kProgramLicenseNotice);
            return 0;
        case CommandLineAction::Error:
        case CommandLineAction::OpenWindows:
            std::fprintf(stderr, "%s\n",
                         ComposeText(kUsageErrorText,
                                     {program, parsed.error.empty() ? UserText(kNoRunAskedText)
                                                                    : parsed.error})
                             .c_str());
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
        // A candidate list writes neither file, so neither is in the way.
        if (!options.force && !options.candidates && !file->empty() &&
            std::filesystem::exists(PathFromUtf8(*file), ec)) {
            std::fprintf(stderr, "%s\n", ComposeText(kOutputExistsText, {program, *file}).c_str());
            return 1;
        }
    }
    std::string blendProblem;
    const BlendStyle blend = ResolveBlendStyle(options.blend, UserSettings(), blendProblem);
    if (!blendProblem.empty()) {
        std::fprintf(stderr, "%s\n",
                     ComposeText(kProgramErrorText, {program, blendProblem}).c_str());
    }

    // Started before any other thread, so the probe address can still be set safely.
    EmbeddedGallery gallery;
    gallery.SetLogVisible(options.verbose);
    ServiceAddresses services;
    std::string why;
    if (SetUpServices(options.searchUrl, options.detectUrl, gallery, services, why,
                      options.offline ? kOfflineSources : options.sources) !=
        ServiceSetupStatus::Ok) {
        std::fprintf(stderr, "%s\n", ComposeText(kProgramErrorText, {program, why}).c_str());
        return 1;
    }
    WorkFolder work;
    if (!work.IsValid()) {
        std::fprintf(stderr, "%s\n",
                     ComposeText(kProgramErrorText,
                                 {program, UserText(WorkFolder::describe(work.CreateStatus()))})
                         .c_str());
        return 1;
    }

    // The natural blend's model is read while the pictures are looked up and fetched.
    RunSettings settings = MakeRunSettings(work.Path(), services);
    settings.blend = blend;
    settings.landmarks = std::make_shared<LandmarkModel>(LandmarkModel::DefaultPath());
    if (blend == BlendStyle::Natural || !options.preview.empty()) {
        settings.landmarks->StartLoading(PrepareNaturalBlend);
    }

    TerminalView view(stderr, IsTerminal(stderr), options.verbose, options.output);
    settings.labelPortrait = LabelWanted(options.noLabel);
    settings.choices = ChoicesFrom(options);
    view.SetComparisonPath(options.preview);
    CreateRun run(view, settings);
    {
        // Started only now: the probe address is set, and no other thread may run before that.
        const StopWatcher watcher(stopSignals, view);
        try {
            run.Run(options.body, options.face);
        } catch (const std::exception& e) {
            // Out of memory and the like: say so and let the work folder and the service be
            // cleaned up on the way out instead of aborting past them.
            std::fprintf(stderr, "\n%s\n",
                         ComposeText(kUnexpectedErrorText, {program, e.what()}).c_str());
            return 1;
        }
    }
    const RunOutcome outcome = run.LastOutcome();
    if (stopSignals.Received() != 0 && outcome != RunOutcome::Saved &&
        outcome != RunOutcome::Listed) {
        std::fprintf(stderr, "%s\n", ComposeText(kStoppedText, {program}).c_str());
    }
    switch (outcome) {
        case RunOutcome::Saved:
        case RunOutcome::Listed:
            return 0;
        case RunOutcome::BadChoice:
            return 2;
        default:
            return 1;
    }
}

}  // namespace norvo
