#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace norvo {

// The terminal the command line writes to, the one place that knows the system's console.

// The program's arguments as typed, UTF-8: on Windows read from the wide-character command
// line, so that names in any script arrive whatever the system's code page; elsewhere `argv`.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Whether `stream` is a terminal (Windows: a console), where progress is drawn as a bar.
bool IsTerminal(std::FILE* stream);

// The program's name in its messages ("norvo"), from its first argument: the file name,
// without ".exe" on Windows so that the messages read the same on every system.
std::string ProgramName(const char* argv0);

// For its lifetime a Windows console shows the program's UTF-8 output as UTF-8; the console's
// own code page comes back at the end. Nothing elsewhere.
class Utf8Console {
public:
    Utf8Console();
    ~Utf8Console();
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
    unsigned m_previous = 0;
};

}  // namespace norvo
