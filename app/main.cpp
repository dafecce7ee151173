// The norvo program: the windows without arguments, a headless run with them.

#include "app/CommandLine.h"
#include "app/TerminalTexts.h"
#include "app/UserLanguage.h"

#if defined(NORVO_HAVE_WINDOWS) && defined(_WIN32)
#include "app/win/Windows.h"
#elif defined(NORVO_HAVE_WINDOWS)
#include "app/gui/Windows.h"
#endif

#include <cstdio>

int main(int argc, char** argv) {
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
