#pragma once

#include <string>
#include <vector>

namespace norvo {

// What the command line asks for.
struct CommandLineOptions {
    std::string body;
    std::string face;
    std::string output;
    std::string searchUrl;
    std::string detectUrl;
    std::string sources;   // the bundled service's picture sources
    bool offline = false;  // the bundled gallery only
    std::string blend;     // "classic", "natural" or "" (then the environment or settings decide)
    std::string preview;   // where to write the side-by-side comparison, or ""
    bool force = false;
    bool verbose = false;
    bool noLabel = false;  // save the portrait without its metadata label
    // The user's choices among what the searches find (checked: numbers from 1, ids not empty).
    bool candidates = false;  // list the people and pictures found, write no portrait
    std::string bodyPick;
    std::string facePick;
    std::string bodyPerson;
    std::string facePerson;
    std::string faces;  // "1,3": the body faces to replace
};

// The choices the options ask for, read from checked options.
struct RunChoices;
RunChoices ChoicesFrom(const CommandLineOptions& options);

enum class CommandLineAction {
    OpenWindows,  // no arguments at all
    Run,          // a headless run with `options`
    Help,         // --help
    Version,      // --version
    Error,        // unusable arguments; `error` says why
};

struct ParsedCommandLine {
    CommandLineAction action = CommandLineAction::OpenWindows;
    CommandLineOptions options;
    std::string error;
};

// Parses GNU-style options (--name VALUE, --name=VALUE, "--" ends the options). A headless run
// needs --body, --face and --output; anything unknown or repeated is an error.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

// The --help text.
std::string HelpText(const std::string& program);

// Runs the command line; returns the process exit status (0 only when a portrait was written,
// 1 when the run did not write one, 2 for usage errors).
int RunCommandLine(int argc, char** argv);

}  // namespace norvo
