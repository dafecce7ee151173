#include "GalleryServer.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

#include "DetectionCache.h"
#include "FaceDetector.h"
#include "GalleryIndex.h"
#include "PictureDecoder.h"
#include "PictureStore.h"
#include "RemoteFetcher.h"
#include "ServiceText.h"

namespace norvo {

namespace {

// Decoded search names longer than this are no person's name; refusing them keeps a
// hostile query from costing a Unicode normalisation of kilobytes per folder.
constexpr std::size_t kMaxNameBytes = 256;
// The image search lists at most this many pictures, best first.
constexpr std::size_t kMaxResults = 8;
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
    DetectionCache cache;
    httplib::Server server;
    int port = 0;
    bool started = false;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> inRun{false};

    explicit Impl(GalleryOptions o)
        : options(std::move(o)), index(options.pictures), store(options.pictures) {}

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

    // Faces of a gallery file, from the cache when the file is unchanged.
    DecodeStatus FacesOfFile(const std::filesystem::path& file, PictureFaces& out) {
        if (auto cached = cache.Find(file)) {
            out = std::move(*cached);
            return DecodeStatus::Ok;
        }
        GreyPicture picture;
        const DecodeStatus status = PictureDecoder::DecodeFile(file, picture);
        if (status != DecodeStatus::Ok)
            return status;
        out = {picture.width, picture.height, detector.Detect(picture)};
        cache.Store(file, out);
        return DecodeStatus::Ok;
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

        struct Ranked {
            SearchResult result;
            long long largestFace;
        };
        std::vector<Ranked> ranked;
        const std::string base = BaseFor(req);
        for (const GalleryPicture& picture : index.PicturesOf(*name)) {
            const std::string encoded = ServiceText::EncodePathSegment(picture.person) + "/" +
                                        ServiceText::EncodePathSegment(picture.file);
            std::filesystem::path file;
            if (store.Resolve(encoded, file) != PathStatus::Ok)
                continue;  // e.g. a link out
            PictureFaces faces;
            if (FacesOfFile(file, faces) != DecodeStatus::Ok)
                continue;
            const long long largest =
                faces.faces.empty()
                    ? 0
                    : static_cast<long long>(faces.faces[0].width) * faces.faces[0].height;
            ranked.push_back(
                {{base + kPicturesPrefix + encoded, faces.width, faces.height, picture.file},
                 largest});
        }
        std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
            return a.largestFace > b.largestFace;
        });
        std::vector<SearchResult> results;
        for (std::size_t i = 0; i < ranked.size() && i < kMaxResults; ++i)
            results.push_back(ranked[i].result);
        res.set_content(ServiceText::SearchJson(results), "application/json; charset=utf-8");
    }

    void Detect(const httplib::Request& req, httplib::Response& res) {
        const std::optional<std::string> url = ServiceText::TrailingUrl(req.target);
        if (!url)
            return SetText(res, 400, "missing url");

        PictureFaces faces;
        DecodeStatus decoded = DecodeStatus::Ok;
        std::optional<std::string> ownPath;
        for (const std::string& base : {BaseFor(req), BaseUrl()}) {
            const std::string prefix = base + kPicturesPrefix;
            if (url->compare(0, prefix.size(), prefix) == 0) {
                ownPath = PathOf(url->substr(prefix.size()));
                break;
            }
        }
        if (ownPath) {
            std::filesystem::path file;
            const PathStatus found = store.Resolve(*ownPath, file);
            if (found == PathStatus::BadEncoding)
                return SetText(res, 400, describe(found));
            if (found == PathStatus::Outside)
                return SetText(res, 403, describe(found));
            if (found != PathStatus::Ok)
                return SetText(res, 404, describe(found));
            decoded = FacesOfFile(file, faces);
        } else {
            if (!options.allowRemote) {
                return SetText(
                    res, 403,
                    "pictures from other hosts are not fetched (start with --allow-remote)");
            }
            std::string body;
            const FetchStatus fetched = RemoteFetcher::Fetch(*url, body);
            switch (fetched) {
                case FetchStatus::Ok:
                    break;
                case FetchStatus::BadScheme:
                    return SetText(res, 400, describe(fetched));
                case FetchStatus::TooLarge:
                    return SetText(res, 422, describe(fetched));
                case FetchStatus::HttpError:
                case FetchStatus::Failed:
                    return SetText(res, 502, describe(fetched));
            }
            GreyPicture picture;
            decoded = PictureDecoder::DecodeBytes(body, picture);
            body.clear();
            body.shrink_to_fit();
            if (decoded == DecodeStatus::Ok) {
                faces = {picture.width, picture.height, detector.Detect(picture)};
            }
        }
        if (decoded == DecodeStatus::Unreadable)
            return SetText(res, 500, describe(decoded));
        if (decoded != DecodeStatus::Ok)
            return SetText(res, 422, describe(decoded));
        res.set_content(ServiceText::FacesXml(faces.faces), "application/xml");
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
