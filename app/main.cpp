// The norvo program: the windows without arguments, a headless run with them.

#include "app/CommandLine.h"
#include "app/TerminalTexts.h"

#ifdef NORVO_HAVE_WINDOWS
#include "app/gui/Windows.h"
#endif

#include <cstdio>

int main(int argc, char** argv) {
    if (argc > 1) {
        return norvo::RunCommandLine(argc, argv);
    }
#ifdef NORVO_HAVE_WINDOWS
    return norvo::RunWindows(argc, argv);
#else
    std::fprintf(stderr, "%s\n", norvo::kNoWindowsText);
    return 2;
#endif
}
