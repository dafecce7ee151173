// The norvo program: the windows without arguments, a headless run with them.

#include "app/CommandLine.h"
#include "app/Console.h"
#include "app/TerminalTexts.h"
#include "app/UserLanguage.h"

#if defined(NORVO_HAVE_WINDOWS) && defined(_WIN32)
#include "app/win/Windows.h"
#elif defined(NORVO_HAVE_WINDOWS)
#include "app/gui/Windows.h"
#endif

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // The arguments in UTF-8, as everything inside the program.
    std::vector<std::string> args = norvo::ProgramArguments(argc, argv);
    std::vector<char*> utf8;
    for (std::string& arg : args) {
        utf8.push_back(arg.data());
    }
    utf8.push_back(nullptr);
    argc = static_cast<int>(args.size());
    argv = utf8.data();
    // Every text from here on, the terminal's and the windows', is in the user's language.
    norvo::SetUpUserLanguage();
    if (argc > 1) {
        return norvo::RunCommandLine(argc, argv);
    }
#ifdef NORVO_HAVE_WINDOWS
    return norvo::RunWindows(argc, argv);
#else
    std::fprintf(stderr, "%s\n", norvo::UserText(norvo::kNoWindowsText).c_str());
    return 2;
#endif
}
