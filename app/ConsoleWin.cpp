#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "app/Console.h"
#include "base/Utf8Path.h"

namespace norvo {

namespace {

// The console behind a C stream, or null when it is a file, a pipe or the NUL device (which
// _isatty counts as a terminal too).
HANDLE ConsoleOf(std::FILE* stream) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) {
        args.push_back(win::FromWide(wide[i]));
    }
    LocalFree(wide);
    return args;
}

bool IsTerminal(std::FILE* stream) {
    return ConsoleOf(stream) != nullptr;
}

std::string ProgramName(const char* argv0) {
    return argv0 != nullptr ? Utf8Of(PathFromUtf8(argv0).stem()) : "norvo";
}

Utf8Console::Utf8Console() {
    if (ConsoleOf(stdout) != nullptr || ConsoleOf(stderr) != nullptr) {
        m_previous = GetConsoleOutputCP();
        SetConsoleOutputCP(CP_UTF8);
    }
}

Utf8Console::~Utf8Console() {
    if (m_previous != 0) {
        SetConsoleOutputCP(m_previous);
    }
}

}  // namespace norvo
