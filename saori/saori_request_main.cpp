// saori-request: loads one SAORI module, sends it one request and prints the answer's table.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "saori/HeaderTable.h"
#include "saori/SaoriHost.h"
#include "saori/WorkFolder.h"

namespace {

constexpr char kUsage[] =
    "Usage: saori-request [--dir DIR] MODULE_PATH [ARG0 [ARG1 [ARG2]]]\n"
    "Load the SAORI module MODULE_PATH, send it one request with the given arguments,\n"
    "print the result code and then the answer's headers as 'name: value' lines, and unload it.\n"
    "The exit status is the result code (0 accepted, 1-4 failures); errors before the request\n"
    "exit with 10 (usage) or 11 (the module cannot be loaded).\n"
    "\n"
    "  --dir DIR   hand DIR to the module as its directory and keep it (default: a fresh private\n"
    "              folder, removed at the end)\n"
    "  --help      show this text and exit\n";

constexpr int kExitUsage = 10;
constexpr int kExitLoad = 11;

int Usage(const char* message) {
    std::fprintf(stderr, "saori-request: %s\nTry 'saori-request --help'.\n", message);
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<std::string> dir;
    std::vector<const char*> positional;
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!optionsDone && std::strcmp(arg, "--") == 0) {
            optionsDone = true;
        } else if (!optionsDone && std::strcmp(arg, "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!optionsDone && std::strcmp(arg, "--dir") == 0) {
            if (i + 1 >= argc) {
                return Usage("option '--dir' needs a folder");
            }
            dir = argv[++i];
        } else if (!optionsDone && std::strncmp(arg, "--dir=", 6) == 0) {
            dir = arg + 6;
        } else if (!optionsDone && positional.empty() && arg[0] == '-' && arg[1] != '\0') {
            return Usage((std::string("unknown option '") + arg + "'").c_str());
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.empty()) {
        return Usage("no module given");
    }
    if (positional.size() > 4) {
        return Usage("at most three arguments can be sent");
    }

    std::optional<norvo::WorkFolder> work;
    std::string directory;
    if (dir) {
        if (dir->empty()) {
            return Usage("option '--dir' needs a folder");
        }
        directory = *dir;
        if (directory.back() != '/') {
            directory += '/';
        }
    } else {
        work.emplace();
        if (!work->IsValid()) {
            std::fprintf(stderr, "saori-request: %s\n",
                         norvo::WorkFolder::describe(work->CreateStatus()));
            return kExitLoad;
        }
        directory = work->Path();
    }

    const char* modulePath = positional[0];
    norvo::SaoriHost host(modulePath, directory);
    if (host.LoadSaori() != 0) {
        std::fprintf(stderr, "saori-request: %s: %s\n", modulePath, host.LastLoadError().c_str());
        return kExitLoad;
    }
    const int count = static_cast<int>(positional.size()) - 1;
    const char* args[3] = {"", "", ""};
    for (int i = 0; i < count; ++i) {
        args[i] = positional[i + 1];
    }
    norvo::HeaderTable table;
    const int result = host.SaoriRequest(count, args[0], args[1], args[2], table);
    std::printf("%d\n", result);
    for (const auto& [name, value] : table) {
        std::fwrite(name.data(), 1, name.size(), stdout);
        std::fputs(": ", stdout);
        std::fwrite(value.data(), 1, value.size(), stdout);
        std::fputc('\n', stdout);
    }
    std::fflush(stdout);
    host.UnloadSaori();
    return result;
}
