#include "GalleryServer.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <thread>

#include "FaceDetector.h"
#include "FaceStore.h"
#include "GalleryIndex.h"
#include "PictureStore.h"
#include "Provenance.h"
#include "RemotePictures.h"
#include "SearxngSource.h"
#include "ServiceText.h"
#include "WebClient.h"
#include "WikimediaSource.h"

namespace norvo {

namespace {

// Decoded search names longer than this are no person's name; refusing them keeps a
// hostile query from costing a Unicode normalisation of kilobytes per folder.
constexpr std::size_t kMaxNameBytes = 256;
// The image search lists at most this many pictures, best first.
constexpr std::size_t kMaxResults = GallerySource::kMaxResults;
// Requests are GETs; a body is never needed, so anything above a small size is refused.
constexpr std::size_t kMaxPayloadBytes = 64 * 1024;
// Longest request target written to the log line; the rest is cut.
constexpr std::size_t kMaxLoggedTarget = 300;
constexpr int kMaxThreads = 64;

constexpr const char* kPicturesPrefix = "/pictures/";

bool IsWildcard(const std::string& host) {
    return host == "0.0.0.0" || host == "::" || host.empty();
}

std::string UrlHost(const std::string& host) {
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

std::string PathOf(const std::string& target) {
    return target.substr(0, target.find_first_of("?#"));
}

void SetText(httplib::Response& res, int status, const std::string& text) {
    res.status = status;
    res.set_content(text + "\n", "text/plain; charset=utf-8");
}

std::string LoggedTarget(const std::string& target) {
    std::string out = target.substr(0, kMaxLoggedTarget);
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            c = '?';
    }
    if (target.size() > kMaxLoggedTarget)
        out += "...";
    return out;
}

}  // namespace

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
    std::vector<std::unique_ptr<PictureSource>> sources;
    httplib::Server server;
    int port = 0;
    bool started = false;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> inRun{false};

    explicit Impl(GalleryOptions o)
        : options(std::move(o)),
          index(options.pictures),
          store(options.pictures),
          cache(options.cache, options.cacheBytes),
          faces(detector, cache),
          web(options.fetchGuard, cache),
          remote(web, faces, cache) {
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
    }

    void Log(const std::string& line) const {
        if (options.log)
            std::fprintf(stderr, "norvo-gallery: %s\n", LoggedTarget(line).c_str());
    }

    std::string BaseUrl() const {
        return "http://" + UrlHost(options.host) + ":" + std::to_string(port);
    }

    // Addresses point where this request reached us; for a wildcard bind that is the
    // local address of the connection, never the client's Host header.
    std::string BaseFor(const httplib::Request& req) const {
        if (!IsWildcard(options.host) || req.local_addr.empty())
            return BaseUrl();
        return "http://" + UrlHost(req.local_addr) + ":" + std::to_string(port);
    }

    // The path of one of our own addresses ("/pictures/..." or "/remote/..."), or nullopt
    // for an address of another host.
    std::optional<std::string> OwnPath(const httplib::Request& req, const std::string& url) const {
        for (const std::string& base : {BaseFor(req), BaseUrl()}) {
            for (const char* prefix : {kPicturesPrefix, RemotePictures::kPathPrefix}) {
                if (url.compare(0, base.size(), base) == 0 &&
                    url.compare(base.size(), std::strlen(prefix), prefix) == 0) {
                    return PathOf(url.substr(base.size()));
                }
            }
        }
        return std::nullopt;
    }

    void Search(const httplib::Request& req, httplib::Response& res) {
        const std::optional<std::string> raw = ServiceText::QueryValue(req.target, "q");
        if (!raw)
            return SetText(res, 400, "missing q");
        const std::optional<std::string> name = ServiceText::PercentDecode(*raw, true);
        if (!name)
            return SetText(res, 400, "bad percent-encoding in q");
        if (name->size() > kMaxNameBytes)
            return SetText(res, 400, "name too long");

        // The first source with a picture that shows (or may show) a face answers; a source
        // with pictures but no face is kept in reserve; a failure counts only while no
        // earlier source had anything.
        const Clock::time_point deadline = Clock::now() + options.searchTime;
        std::optional<SourceAnswer> chosen, reserve;
        std::string failure;
        for (const auto& source : sources) {
            // A web source waits on the network before its pictures need the detector.
            if (dynamic_cast<GallerySource*>(source.get()) == nullptr)
                detector.Prepare();
            SourceAnswer answer = source->Find(*name, deadline);
            if (!answer.reason.empty())
                Log(answer.reason);
            if (std::any_of(answer.candidates.begin(), answer.candidates.end(),
                            [](const Candidate& c) { return c.MayShowAFace(); })) {
                chosen = std::move(answer);
                break;
            }
            if (!answer.candidates.empty() && !reserve)
                reserve = std::move(answer);
            else if (answer.failed && !reserve && failure.empty())
                failure = answer.reason;
        }
        if (!chosen)
            chosen = std::move(reserve);
        if (!chosen && !failure.empty())
            return SetText(res, 502, failure);

        const std::string base = BaseFor(req);
        std::vector<SearchResult> results;
        for (const Candidate& c : chosen ? chosen->candidates : std::vector<Candidate>()) {
            if (results.size() >= kMaxResults)
                break;
            results.push_back({base + c.path, c.width, c.height, c.title});
        }
        res.set_content(ServiceText::SearchJson(results), "application/json; charset=utf-8");
    }

    // Status and reason for a picture of another host that could not be fetched.
    static std::pair<int, std::string> FetchFailure(const WebClient::Reply& reply) {
        switch (reply.status) {
            case FetchStatus::BadAddress:
            case FetchStatus::SchemeRefused:
            case FetchStatus::RedirectRefused:
                return {400, "only http and https addresses are fetched"};
            case FetchStatus::TooLarge:
                return {422, "the picture is larger than 16 MiB"};
            case FetchStatus::AddressRefused:
                return {403, "the picture's address is in a local or private network"};
            case FetchStatus::HttpStatus:
                return {502, "the picture's server answered with an error"};
            default:
                return {502, "the picture could not be fetched"};
        }
    }

    void Detect(const httplib::Request& req, httplib::Response& res) {
        std::optional<std::string> url = ServiceText::TrailingUrl(req.target);
        if (!url)
            return SetText(res, 400, "missing url");
        // A value encoded whole ("http%3A%2F%2F...") means the same address as the plain form.
        if (std::optional<std::string> decoded = ServiceText::DecodedWholeUrl(*url))
            url = std::move(decoded);

        PictureFaces found;
        DecodeStatus decoded = DecodeStatus::Ok;
        const std::optional<std::string> own = OwnPath(req, *url);
        if (own && own->rfind(kPicturesPrefix, 0) == 0) {
            std::filesystem::path file;
            const PathStatus path = store.Resolve(own->substr(std::strlen(kPicturesPrefix)), file);
            if (path == PathStatus::BadEncoding)
                return SetText(res, 400, describe(path));
            if (path == PathStatus::Outside)
                return SetText(res, 403, describe(path));
            if (path != PathStatus::Ok)
                return SetText(res, 404, describe(path));
            decoded = faces.FacesOfFile(file, found);
        } else if (own) {
            const std::optional<RemotePictures::Entry> entry = remote.Find(*own);
            if (!entry)
                return SetText(res, 404, "no such picture");
            std::string bytes;
            if (!remote.Bytes(*entry, bytes))
                return SetText(res, 502, "the picture could not be fetched again");
            decoded = faces.Faces(bytes, found);
        } else {
            if (!options.allowRemote) {
                return SetText(
                    res, 403,
                    "pictures from other hosts are not fetched (start with --allow-remote)");
            }
            WebClient::Reply reply = web.Picture(
                "remote", *url,
                Clock::now() + std::chrono::seconds(WebClient::kTransferTimeoutSeconds));
            if (reply.outcome != WebClient::Outcome::Ok) {
                const auto [status, why] = FetchFailure(reply);
                return SetText(res, status, why);
            }
            decoded = faces.Faces(reply.body, found);
        }
        if (decoded == DecodeStatus::Unreadable)
            return SetText(res, 500, describe(decoded));
        if (decoded != DecodeStatus::Ok)
            return SetText(res, 422, describe(decoded));
        res.set_content(ServiceText::FacesXml(found.faces), "application/xml");
    }

    void Picture(const httplib::Request& req, httplib::Response& res) {
        const std::string path = PathOf(req.target);
        if (path.compare(0, std::char_traits<char>::length(kPicturesPrefix), kPicturesPrefix) !=
            0) {
            return SetText(res, 404, "not found");
        }
        std::filesystem::path file;
        const PathStatus found =
            store.Resolve(path.substr(std::char_traits<char>::length(kPicturesPrefix)), file);
        if (found == PathStatus::BadEncoding)
            return SetText(res, 400, describe(found));
        if (found == PathStatus::Outside)
            return SetText(res, 403, describe(found));
        if (found != PathStatus::Ok)
            return SetText(res, 404, describe(found));
        std::ifstream in(file, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof())
            return SetText(res, 500, "the picture could not be read");
        res.set_content(std::move(bytes), PictureStore::ContentType(file));
    }

    void RemotePicture(const httplib::Request& req, httplib::Response& res) {
        const std::optional<RemotePictures::Entry> entry = remote.Find(PathOf(req.target));
        if (!entry)
            return SetText(res, 404, "no such picture");
        std::string bytes;
        if (!remote.Bytes(*entry, bytes))
            return SetText(res, 502, "the picture could not be fetched again");
        res.set_content(std::move(bytes), entry->contentType.c_str());
    }

    void Source(const httplib::Request& req, httplib::Response& res) {
        const std::optional<std::string> raw = ServiceText::QueryValue(req.target, "url");
        const std::optional<std::string> url =
            raw ? ServiceText::PercentDecode(*raw, false) : std::nullopt;
        if (!url)
            return SetText(res, 400, "missing url");
        const std::optional<std::string> own = OwnPath(req, *url);
        std::optional<Provenance> provenance;
        if (own && own->rfind(kPicturesPrefix, 0) == 0) {
            const std::string encoded = own->substr(std::strlen(kPicturesPrefix));
            std::filesystem::path file;
            const std::optional<std::string> relative = ServiceText::PercentDecode(encoded, false);
            if (relative && store.Resolve(encoded, file) == PathStatus::Ok)
                provenance = GalleryCredits::Load(options.pictures).Of(*relative);
        } else if (own) {
            if (const std::optional<RemotePictures::Entry> entry = remote.Find(*own))
                provenance = entry->provenance;
        }
        if (!provenance)
            return SetText(res, 404, "not an address this service handed out");
        res.set_content(ProvenanceJson(*provenance), "application/json; charset=utf-8");
    }

    void Configure() {
        const int threads = std::clamp(options.threads, 1, kMaxThreads);
        server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
        server.set_payload_max_length(kMaxPayloadBytes);
        server.set_read_timeout(5, 0);
        server.set_write_timeout(10, 0);
        // Idle keep-alive connections hold a worker; let them go soon.
        server.set_keep_alive_timeout(1);
        // The library's default also sets SO_REUSEPORT, which lets a second service bind the
        // same fixed port and silently take half of the requests; address reuse alone is enough.
        server.set_socket_options([](socket_t sock) {
            int yes = 1;
            setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        });

        server.Get("/health", [](const httplib::Request&, httplib::Response& res) {
            SetText(res, 200, "ok");
        });
        server.Get(
            "/ajax/services/search/images",
            [this](const httplib::Request& req, httplib::Response& res) { Search(req, res); });
        server.Get("/api/detect", [this](const httplib::Request& req, httplib::Response& res) {
            Detect(req, res);
        });
        server.Get("/pictures/.*", [this](const httplib::Request& req, httplib::Response& res) {
            Picture(req, res);
        });
        server.Get("/remote/.*", [this](const httplib::Request& req, httplib::Response& res) {
            RemotePicture(req, res);
        });
        server.Get("/api/source", [this](const httplib::Request& req, httplib::Response& res) {
            Source(req, res);
        });
        server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
            if (res.body.empty()) {
                res.set_content(std::to_string(res.status) + "\n", "text/plain; charset=utf-8");
            }
        });
        server.set_exception_handler(
            [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
                SetText(res, 500, "internal error");
            });
        if (options.log) {
            server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
                std::fprintf(stderr, "%s %s %d %zu\n", req.method.c_str(),
                             LoggedTarget(req.target).c_str(), res.status, res.body.size());
            });
        }
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
    if (d.options.port == 0) {
        d.port = d.server.bind_to_any_port(d.options.host);
        if (d.port <= 0)
            return ServerStatus::BindFailed;
    } else {
        if (!d.server.bind_to_port(d.options.host, d.options.port))
            return ServerStatus::BindFailed;
        d.port = d.options.port;
    }
    d.started = true;
    return ServerStatus::Ok;
}

bool GalleryServer::CacheUsable() const {
    return m_impl->cache.Usable();
}

std::string GalleryServer::BaseUrl() const {
    return m_impl->BaseUrl();
}

ServerStatus GalleryServer::Run() {
    Impl& d = *m_impl;
    if (!d.started)
        return ServerStatus::NotStarted;
    d.inRun = true;
    if (!d.stopRequested)
        d.server.listen_after_bind();
    d.inRun = false;
    return ServerStatus::Ok;
}

void GalleryServer::Stop() {
    Impl& d = *m_impl;
    d.stopRequested = true;
    // Run may have passed its check but not begun listening yet: wait for one or the other.
    for (int i = 0; i < 2000 && d.inRun && !d.server.is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    d.server.stop();
}

}  // namespace norvo
