#include <unistd.h>

#include <filesystem>

#include "app/Console.h"

namespace norvo {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

std::string ProgramName(const char* argv0) {
    return argv0 != nullptr ? std::filesystem::path(argv0).filename().string() : "norvo";
}

Utf8Console::Utf8Console() = default;
Utf8Console::~Utf8Console() = default;

}  // namespace norvo
