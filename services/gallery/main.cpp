// norvo-gallery: the lookup service the program asks for pictures and faces.
#include <signal.h>
#include <unistd.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <shellapi.h>
#else
#include <QCoreApplication>
#endif
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "base/Utf8Path.h"
#include "lookup/SourceList.h"
#include "saori/StopSignals.h"
#include "services/gallery/Options.h"

#ifdef _WIN32
#include "base/WideText.h"

namespace {

// The arguments as UTF-8, from the wide command line: the ANSI one cannot name every folder.
std::vector<std::string> WideArguments() {
    std::vector<std::string> args;
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) args.push_back(norvo::win::FromWide(wide[i]));
        LocalFree(wide);
    }
    return args;
}

}  // namespace
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    std::vector<std::string> utf8Args = WideArguments();
    std::vector<char*> utf8Argv;
    for (std::string& a : utf8Args) utf8Argv.push_back(a.data());
    if (!utf8Argv.empty()) {
        argc = static_cast<int>(utf8Argv.size());
        utf8Argv.push_back(nullptr);
        argv = utf8Argv.data();
    }
    // The address line is read by a program: '\n' ends it, as everywhere.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    norvo::ReadOptionsResult read = norvo::ReadOptions(argc, argv);
    if (!read.settings)
        return read.exitStatus;
    const norvo::ServiceSettings& settings = *read.settings;

#ifndef _WIN32
    // The owner of Qt's image-format plug-ins, which decoding loads: left to static
    // destruction at exit they were freed in the wrong order (a crash after SIGTERM). Qt sets
    // the user's locale; the service keeps the C locale it always had.
    QCoreApplication application(argc, argv);
    std::setlocale(LC_ALL, "C");
#endif

    // Caught process-wide: libraries (a threaded BLAS under dlib) start threads before main,
    // and the kernel may hand a stop signal to any of them.
    norvo::StopSignals stopSignals;
    if (!stopSignals.IsActive()) {
        std::fprintf(stderr, "norvo-gallery: cannot catch the stop signals\n");
        return 1;
    }
#ifndef _WIN32
    // A client that goes away mid-answer must not end the service.
    signal(SIGPIPE, SIG_IGN);
#endif

    norvo::GalleryServer server(settings.gallery);
    const norvo::ServerStatus started = server.Start();
    if (started != norvo::ServerStatus::Ok) {
        std::fprintf(stderr, "norvo-gallery: %s (%s)\n", norvo::describe(started),
                     started == norvo::ServerStatus::NoPictureFolder
                         ? norvo::Utf8Of(settings.gallery.pictures).c_str()
                         : settings.gallery.host.c_str());
        return 1;
    }
    std::printf("%s\n", server.BaseUrl().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "norvo-gallery: serving %s at %s (sources: %s)\n",
                 norvo::Utf8Of(settings.gallery.pictures).c_str(), server.BaseUrl().c_str(),
                 norvo::SourceListText(settings.gallery.sources).c_str());
    if (!server.CacheUsable()) {
        std::fprintf(stderr, "norvo-gallery: no cache folder (%s): nothing is kept between runs\n",
                     norvo::Utf8Of(settings.gallery.cache).c_str());
    }

    // One watcher for a stop signal and, with --watch-stdin, the end of standard input; it is
    // joined before the server goes.
    std::thread watcher([&server, &stopSignals, watchStdin = settings.watchStdin] {
        for (;;) {
            const auto end = stopSignals.Wait(watchStdin ? STDIN_FILENO : -1);
            if (end == norvo::StopSignals::WaitEnd::Descriptor) {
                char buffer[256];
                const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
                if (n > 0 || (n < 0 && errno == EINTR)) {
                    continue;  // the parent wrote something: only the end of input counts
                }
            }
            break;
        }
        server.Stop();
    });

    server.Run();
    // Wake the watcher if the service stopped for another reason.
    stopSignals.EndWaits();
    watcher.join();
    std::fprintf(stderr, "norvo-gallery: stopped\n");
    return 0;
}
