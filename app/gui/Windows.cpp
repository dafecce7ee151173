#include "app/gui/Windows.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/gui/CMainApp.h"
#include "app/gui/DisplayCheck.h"

namespace norvo {

int RunWindows(int argc, char** argv) {
    if (!HasDisplay([](const char* name) { return std::getenv(name); })) {
        std::string program = argc > 0 && argv[0] != nullptr ? argv[0] : "norvo";
        const size_t slash = program.find_last_of('/');
        if (slash != std::string::npos) {
            program.erase(0, slash + 1);
        }
        std::fprintf(stderr, "%s\n", NoDisplayMessage(program).c_str());
        return 1;
    }
    CMainApp app;
    return app.InitInstance(argc, argv);
}

}  // namespace norvo
