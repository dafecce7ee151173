#include "services/gallery/http/GalleryServer.h"

#include <httplib.h>
#ifndef _WIN32
#include <sys/socket.h>
#endif

#include <mutex>

#include "services/gallery/detect/FaceDetector.h"
#include "services/gallery/fetch/RemotePictures.h"
#include "services/gallery/fetch/WebClient.h"
#include "services/gallery/http/Routes.h"
#include "services/gallery/sources/FirstWithAFace.h"
#include "services/gallery/sources/SearxngSource.h"
#include "services/gallery/sources/WikimediaSource.h"
#include "services/gallery/store/FaceStore.h"
#include "services/gallery/store/GalleryIndex.h"
#include "services/gallery/store/PictureStore.h"

namespace norvo {

const char* describe(ServerStatus status) {
    switch (status) {
        case ServerStatus::Ok:
            return "ok";
        case ServerStatus::NoPictureFolder:
            return "the pictures folder does not exist";
        case ServerStatus::BindFailed:
            return "the listening address could not be bound";
        case ServerStatus::NotStarted:
            return "the service was not started";
    }
    return "unknown server status";
}

struct GalleryServer::Impl {
    GalleryOptions options;
    GalleryIndex index;
    PictureStore store;
    FaceDetector detector;
    DiskCache cache;
    FaceStore faces;
    WebClient web;
    RemotePictures remote;
    FirstWithAFace search;
    Routes routes;
    httplib::Server server;
    bool started = false;

    // Stopping: a stop that comes before Run listens must still end it, so Stop shuts the
    // listening socket down, which makes the server's accept fail and its loop end (closing
    // the socket), whenever it starts. The socket is known from the server's socket-options
    // hook.
    // Windows: shutting a listening socket down wakes nobody there, but the server's loop
    // polls it every few milliseconds and tells its task queue when nothing came; the queue
    // then stops the server from the loop's own thread, so no other thread ever touches the
    // socket.
    std::mutex stopMutex;
    bool stopRequested = false;
#ifdef _WIN32
    struct StoppableQueue : httplib::TaskQueue {
        StoppableQueue(httplib::TaskQueue* workers, Impl& impl) : workers(workers), impl(impl) {}
        void enqueue(std::function<void()> work) override { workers->enqueue(std::move(work)); }
        void shutdown() override { workers->shutdown(); }
        void on_idle() override {
            std::lock_guard lock(impl.stopMutex);
            if (impl.stopRequested)
                impl.server.stop();
        }
        std::unique_ptr<httplib::TaskQueue> workers;
        Impl& impl;
    };
#else
    int listening = -1;  // the listening socket while Run may still use it, else -1
#endif

    explicit Impl(GalleryOptions o)
        : options(std::move(o)),
          index(options.pictures),
          store(options.pictures),
          cache(options.cache, options.cacheBytes),
          faces(detector, cache),
          web(options.fetchGuard, cache),
          remote(web, faces, cache),
          search(
              MakeSources(), [this] { detector.Prepare(); },
              [this](const std::string& line) { routes.Log(line); }),
          routes(options, {store, faces, remote, web, search}) {}

    std::vector<std::unique_ptr<PictureSource>> MakeSources() {
        std::vector<std::unique_ptr<PictureSource>> sources;
        for (const SourceChoice& choice : options.sources) {
            switch (choice.kind) {
                case SourceChoice::Kind::Gallery:
                    sources.push_back(
                        std::make_unique<GallerySource>(index, store, faces, options.detectBudget));
                    break;
                case SourceChoice::Kind::Wikimedia:
                    sources.push_back(std::make_unique<WikimediaSource>(
                        web, remote, options.wikimediaApis, options.localeLanguage));
                    break;
                case SourceChoice::Kind::Searxng:
                    sources.push_back(std::make_unique<SearxngSource>(web, remote, choice.base));
                    break;
            }
        }
        return sources;
    }

    void Configure() {
        routes.Register(server);
#ifdef _WIN32
        server.new_task_queue = [this, workers = server.new_task_queue] {
            return new StoppableQueue(workers(), *this);
        };
        // Windows' address reuse would let a second service take over the same fixed port:
        // this one keeps it to itself.
        server.set_socket_options([](socket_t sock) {
            BOOL yes = TRUE;
            setsockopt(sock, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes),
                       sizeof yes);
        });
#else
        // The library's default also sets SO_REUSEPORT, which lets a second service bind the
        // same fixed port and silently take half of the requests; address reuse alone is
        // enough.
        server.set_socket_options([this](socket_t sock) {
            int yes = 1;
            setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
            std::lock_guard lock(stopMutex);
            listening = sock;
        });
#endif
    }
};

GalleryServer::GalleryServer(GalleryOptions options)
    : m_impl(std::make_unique<Impl>(std::move(options))) {}

GalleryServer::~GalleryServer() {
    Stop();
}

ServerStatus GalleryServer::Start() {
    Impl& d = *m_impl;
    std::error_code ec;
    if (!std::filesystem::is_directory(d.options.pictures, ec))
        return ServerStatus::NoPictureFolder;
    d.Configure();
    int port = d.options.port;
    if (port == 0) {
        port = d.server.bind_to_any_port(d.options.host);
        if (port <= 0)
            return ServerStatus::BindFailed;
    } else if (!d.server.bind_to_port(d.options.host, port)) {
        return ServerStatus::BindFailed;
    }
    d.routes.SetPort(port);
    d.started = true;
    return ServerStatus::Ok;
}

bool GalleryServer::CacheUsable() const {
    return m_impl->cache.Usable();
}

std::string GalleryServer::BaseUrl() const {
    return m_impl->routes.BaseUrl();
}

ServerStatus GalleryServer::Run() {
    Impl& d = *m_impl;
    if (!d.started)
        return ServerStatus::NotStarted;
    {
        std::lock_guard lock(d.stopMutex);
        if (d.stopRequested)
            return ServerStatus::Ok;
    }
    d.server.listen_after_bind();
#ifndef _WIN32
    // The server has closed its socket: its number may be reused from now on.
    std::lock_guard lock(d.stopMutex);
    d.listening = -1;
#endif
    return ServerStatus::Ok;
}

void GalleryServer::Stop() {
    Impl& d = *m_impl;
    std::lock_guard lock(d.stopMutex);
    d.stopRequested = true;
#ifndef _WIN32
    // Once: the server's loop closes the socket itself as it ends, so its number is not
    // touched again (nor closed a second time by the library's own stop).
    if (d.listening >= 0)
        ::shutdown(d.listening, SHUT_RDWR);
    d.listening = -1;
#endif
}

}  // namespace norvo
