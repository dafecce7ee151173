// norvo-gallery: the lookup service the program asks for pictures and faces.
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <thread>

#include "lookup/SourceList.h"
#include "saori/StopSignals.h"
#include "services/gallery/Options.h"

int main(int argc, char** argv) {
    norvo::ReadOptionsResult read = norvo::ReadOptions(argc, argv);
    if (!read.settings)
        return read.exitStatus;
    const norvo::ServiceSettings& settings = *read.settings;

    // The owner of Qt's image-format plug-ins, which decoding loads: left to static
    // destruction at exit they were freed in the wrong order (a crash after SIGTERM). Qt sets
    // the user's locale; the service keeps the C locale it always had.
    QCoreApplication application(argc, argv);
    std::setlocale(LC_ALL, "C");

    // Caught process-wide: libraries (a threaded BLAS under dlib) start threads before main,
    // and the kernel may hand a stop signal to any of them.
    norvo::StopSignals stopSignals;
    if (!stopSignals.IsActive()) {
        std::fprintf(stderr, "norvo-gallery: cannot catch the stop signals\n");
        return 1;
    }
    // A client that goes away mid-answer must not end the service.
    signal(SIGPIPE, SIG_IGN);

    norvo::GalleryServer server(settings.gallery);
    const norvo::ServerStatus started = server.Start();
    if (started != norvo::ServerStatus::Ok) {
        std::fprintf(stderr, "norvo-gallery: %s (%s)\n", norvo::describe(started),
                     started == norvo::ServerStatus::NoPictureFolder
                         ? settings.gallery.pictures.c_str()
                         : settings.gallery.host.c_str());
        return 1;
    }
    std::printf("%s\n", server.BaseUrl().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "norvo-gallery: serving %s at %s (sources: %s)\n",
                 settings.gallery.pictures.c_str(), server.BaseUrl().c_str(),
                 norvo::SourceListText(settings.gallery.sources).c_str());
    if (!server.CacheUsable()) {
        std::fprintf(stderr, "norvo-gallery: no cache folder (%s): nothing is kept between runs\n",
                     settings.gallery.cache.c_str());
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
