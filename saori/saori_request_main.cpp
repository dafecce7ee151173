// saori-request: loads one SAORI module, sends it one request and prints the answer's table.
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#endif

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include "base/WideText.h"
#endif
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

#ifdef _WIN32
// The module path and the folder as UTF-8, read from the wide command line: the ANSI one cannot
// name every path. The request's arguments keep the ANSI code page's bytes of argv, which a
// request without a Charset header is read in.
std::vector<std::string> WideArguments() {
    std::vector<std::string> args;
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) {
            args.push_back(norvo::win::FromWide(wide[i]));
        }
        LocalFree(wide);
    }
    return args;
}
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // The same bytes as elsewhere: answers are printed as they came, with '\n' line ends.
    _setmode(_fileno(stdout), _O_BINARY);
    const std::vector<std::string> utf8Args = WideArguments();
    const bool haveUtf8 = static_cast<int>(utf8Args.size()) == argc;
#endif
    // Paths are taken in the program's own text (UTF-8), arguments as the caller's bytes.
    auto path = [&](int i) -> std::string {
#ifdef _WIN32
        if (haveUtf8) {
            return utf8Args[static_cast<size_t>(i)];
        }
#endif
        return argv[i];
    };
    std::optional<std::string> dir;
    int moduleIndex = -1;
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
            ++i;
            dir = path(i);
        } else if (!optionsDone && std::strncmp(arg, "--dir=", 6) == 0) {
            dir = path(i).substr(6);
        } else if (!optionsDone && positional.empty() && arg[0] == '-' && arg[1] != '\0') {
            return Usage((std::string("unknown option '") + arg + "'").c_str());
        } else {
            if (positional.empty()) {
                moduleIndex = i;
            }
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
#ifdef _WIN32
        if (directory.back() != '/' && directory.back() != '\\') {
            directory += '\\';
        }
#else
        if (directory.back() != '/') {
            directory += '/';
        }
#endif
    } else {
        work.emplace();
        if (!work->IsValid()) {
            std::fprintf(stderr, "saori-request: %s\n",
                         norvo::WorkFolder::describe(work->CreateStatus()));
            return kExitLoad;
        }
        directory = work->Path();
    }

    const std::string modulePath = path(moduleIndex);
    norvo::SaoriHost host(modulePath, directory);
    if (host.LoadSaori() != 0) {
        std::fprintf(stderr, "saori-request: %s: %s\n", positional[0],
                     host.LastLoadError().c_str());
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
