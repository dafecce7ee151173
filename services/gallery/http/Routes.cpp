#include "services/gallery/http/Routes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "services/gallery/http/HttpAnswers.h"
#include "services/gallery/wire/PicturePaths.h"
#include "services/gallery/wire/Provenance.h"
#include "services/gallery/wire/ServiceText.h"

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

void SetAnswer(httplib::Response& res, const HttpAnswer& answer) {
    SetText(res, answer.status, answer.text);
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

// A name-like value of the query (`q`, `person`), percent-decoded and at most kMaxNameBytes
// long; `error` is the 400 answer's text when it is malformed, or missing though `required`
// (a value that is not required and missing is "").
struct QueryText {
    std::string value;
    std::string error;
};

QueryText ReadQueryText(const std::string& target, const char* key, const char* what,
                        bool required) {
    const std::optional<std::string> raw = ServiceText::QueryValue(target, key);
    if (!raw)
        return {"", required ? std::string("missing ") + key : ""};
    std::optional<std::string> decoded = ServiceText::PercentDecode(*raw, true);
    if (!decoded)
        return {"", std::string("bad percent-encoding in ") + key};
    if (decoded->size() > kMaxNameBytes)
        return {"", std::string(what) + " too long"};
    return {std::move(*decoded), ""};
}

}  // namespace

Routes::Routes(const GalleryOptions& options, Services services)
    : m_options(options), m_services(services) {}

void Routes::Log(const std::string& line) const {
    if (m_options.log)
        std::fprintf(stderr, "norvo-gallery: %s\n", LoggedTarget(line).c_str());
}

std::string Routes::BaseUrl() const {
    return "http://" + UrlHost(m_options.host) + ":" + std::to_string(m_port);
}

// Addresses point where this request reached us; for a wildcard bind that is the
// local address of the connection, never the client's Host header.
std::string Routes::BaseFor(const httplib::Request& req) const {
    if (!IsWildcard(m_options.host) || req.local_addr.empty())
        return BaseUrl();
    return "http://" + UrlHost(req.local_addr) + ":" + std::to_string(m_port);
}

// The path of one of our own addresses ("/pictures/..." or "/remote/..."), or nullopt
// for an address of another host.
std::optional<std::string> Routes::OwnPath(const httplib::Request& req,
                                           const std::string& url) const {
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

void Routes::Search(const httplib::Request& req, httplib::Response& res) const {
    const QueryText name = ReadQueryText(req.target, "q", "name", true);
    if (!name.error.empty())
        return SetText(res, 400, name.error);
    // Kept to one person (a Wikidata id or a gallery folder) when the request names one.
    const QueryText person = ReadQueryText(req.target, "person", "person", false);
    if (!person.error.empty())
        return SetText(res, 400, person.error);

    const FirstWithAFace::Outcome found =
        m_services.search.Find(name.value, person.value, Clock::now() + m_options.searchTime);
    if (found.candidates.empty() && !found.failure.empty())
        return SetText(res, 502, found.failure);

    const std::string base = BaseFor(req);
    std::vector<SearchResult> results;
    for (const Candidate& c : found.candidates) {
        if (results.size() >= kMaxResults)
            break;
        results.push_back({base + c.path, c.width, c.height, c.title});
    }
    res.set_content(ServiceText::SearchJson(results), "application/json; charset=utf-8");
}

void Routes::People(const httplib::Request& req, httplib::Response& res) const {
    const QueryText name = ReadQueryText(req.target, "q", "name", true);
    if (!name.error.empty())
        return SetText(res, 400, name.error);
    const FirstWithAFace::PeopleOutcome found =
        m_services.search.People(name.value, Clock::now() + m_options.searchTime);
    if (found.people.empty() && !found.failure.empty())
        return SetText(res, 502, found.failure);
    res.set_content(PeopleJson(found.people, BaseFor(req)), "application/json; charset=utf-8");
}

void Routes::Detect(const httplib::Request& req, httplib::Response& res) const {
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
        const PathStatus path =
            m_services.store.Resolve(own->substr(std::strlen(kPicturesPrefix)), file);
        if (path != PathStatus::Ok)
            return SetAnswer(res, AnswerFor(path));
        decoded = m_services.faces.FacesOfFile(file, found);
    } else if (own) {
        const std::optional<RemotePictures::Entry> entry = m_services.remote.Find(*own);
        if (!entry)
            return SetText(res, 404, "no such picture");
        std::string bytes;
        if (!m_services.remote.Bytes(*entry, bytes))
            return SetText(res, 502, "the picture could not be fetched again");
        decoded = m_services.faces.Faces(bytes, found);
    } else {
        if (!m_options.allowRemote) {
            return SetText(res, 403,
                           "pictures from other hosts are not fetched (start with --allow-remote)");
        }
        WebClient::Reply reply = m_services.web.Picture(
            "remote", *url,
            Clock::now() + std::chrono::seconds(WebClient::kTransferTimeoutSeconds));
        if (reply.outcome != WebClient::Outcome::Ok)
            return SetAnswer(res, AnswerForFetch(reply));
        decoded = m_services.faces.Faces(reply.body, found);
    }
    if (decoded != DecodeStatus::Ok)
        return SetAnswer(res, AnswerFor(decoded));
    res.set_content(ServiceText::FacesXml(found.faces), "application/xml");
}

void Routes::Picture(const httplib::Request& req, httplib::Response& res) const {
    const std::string path = PathOf(req.target);
    if (path.compare(0, std::char_traits<char>::length(kPicturesPrefix), kPicturesPrefix) != 0) {
        return SetText(res, 404, "not found");
    }
    std::filesystem::path file;
    const PathStatus found = m_services.store.Resolve(
        path.substr(std::char_traits<char>::length(kPicturesPrefix)), file);
    if (found != PathStatus::Ok)
        return SetAnswer(res, AnswerFor(found));
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof())
        return SetText(res, 500, "the picture could not be read");
    res.set_content(std::move(bytes), PictureStore::ContentType(file));
}

void Routes::RemotePicture(const httplib::Request& req, httplib::Response& res) const {
    const std::optional<RemotePictures::Entry> entry = m_services.remote.Find(PathOf(req.target));
    if (!entry)
        return SetText(res, 404, "no such picture");
    std::string bytes;
    if (!m_services.remote.Bytes(*entry, bytes))
        return SetText(res, 502, "the picture could not be fetched again");
    res.set_content(std::move(bytes), entry->contentType.c_str());
}

void Routes::Source(const httplib::Request& req, httplib::Response& res) const {
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
        if (relative && m_services.store.Resolve(encoded, file) == PathStatus::Ok)
            provenance = GalleryCredits::Load(m_options.pictures).Of(*relative);
    } else if (own) {
        if (const std::optional<RemotePictures::Entry> entry = m_services.remote.Find(*own))
            provenance = entry->provenance;
    }
    if (!provenance)
        return SetText(res, 404, "not an address this service handed out");
    res.set_content(ProvenanceJson(*provenance), "application/json; charset=utf-8");
}

void Routes::Register(httplib::Server& server) {
    const int threads = std::clamp(m_options.threads, 1, kMaxThreads);
    server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server.set_payload_max_length(kMaxPayloadBytes);
    server.set_read_timeout(5, 0);
    server.set_write_timeout(10, 0);
    // Idle keep-alive connections hold a worker; let them go soon.
    server.set_keep_alive_timeout(1);

    server.Get("/health",
               [](const httplib::Request&, httplib::Response& res) { SetText(res, 200, "ok"); });
    server.Get("/ajax/services/search/images",
               [this](const httplib::Request& req, httplib::Response& res) { Search(req, res); });
    server.Get("/api/detect",
               [this](const httplib::Request& req, httplib::Response& res) { Detect(req, res); });
    server.Get("/pictures/.*",
               [this](const httplib::Request& req, httplib::Response& res) { Picture(req, res); });
    server.Get("/remote/.*", [this](const httplib::Request& req, httplib::Response& res) {
        RemotePicture(req, res);
    });
    server.Get("/api/people",
               [this](const httplib::Request& req, httplib::Response& res) { People(req, res); });
    server.Get("/api/source",
               [this](const httplib::Request& req, httplib::Response& res) { Source(req, res); });
    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) {
            res.set_content(std::to_string(res.status) + "\n", "text/plain; charset=utf-8");
        }
    });
    server.set_exception_handler([](const httplib::Request&, httplib::Response& res,
                                    std::exception_ptr) { SetText(res, 500, "internal error"); });
    if (m_options.log) {
        server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
            std::fprintf(stderr, "%s %s %d %zu\n", req.method.c_str(),
                         LoggedTarget(req.target).c_str(), res.status, res.body.size());
        });
    }
}

}  // namespace norvo
