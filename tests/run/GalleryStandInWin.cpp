// Stands in for the lookup service in the tests of starting it on Windows, and for the program
// that starts it. What it does comes from NORVO_STANDIN (inherited, as the service inherits the
// program's environment):
//   obey     print an address, end when standard input closes (as --watch-stdin does)
//   deaf     print an address, never end by itself
//   silent   print nothing, never end
//   garbage  print a line that is no address, never end
//   starter  start this program as a deaf service through EmbeddedGallery, print "started",
//            and wait to be killed
// NORVO_STANDIN_PIDS names a file each stand-in service appends its process id to, and
// NORVO_STANDIN_ARGS one it writes its arguments to, one a line (UTF-8).

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/EmbeddedGallery.h"
#include "base/WideText.h"

namespace {

void NoteProcessId() {
    if (const wchar_t* file = _wgetenv(L"NORVO_STANDIN_PIDS")) {
        std::ofstream(file, std::ios::app) << GetCurrentProcessId() << "\n";
    }
}

void Say(const char* line) {
    std::fputs(line, stdout);
    std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const char* mode = std::getenv("NORVO_STANDIN");
    const std::string what = mode != nullptr ? mode : "";
    if (what == "starter") {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        _putenv_s("NORVO_STANDIN", "deaf");
        static norvo::EmbeddedGallery gallery;  // never stopped: the test kills this process
        if (gallery.Start(norvo::win::FromWide(self), "pics") !=
            norvo::EmbeddedGallery::Status::Ok) {
            return 1;
        }
        Say("started\n");
        Sleep(INFINITE);
    }
    NoteProcessId();
    if (const wchar_t* file = _wgetenv(L"NORVO_STANDIN_ARGS")) {
        std::ofstream out(file, std::ios::binary);
        for (int i = 1; i < argc; ++i) {
            out << norvo::win::FromWide(argv[i]) << "\n";
        }
    }
    if (what == "obey") {
        Say("http://127.0.0.1:4321\n");
        char buffer[64];
        while (std::fread(buffer, 1, sizeof buffer, stdin) > 0) {
        }
        return 0;
    }
    if (what == "deaf") {
        Say("http://127.0.0.1:4321\n");
    } else if (what == "garbage") {
        Say("http://example.com:80\n");
    }
    Sleep(INFINITE);
    return 0;
}
