#include "services/gallery/fetch/RemotePictures.h"

#include <algorithm>
#include <condition_variable>

#include "base/TwoThreads.h"
#include "services/gallery/fetch/PictureId.h"
#include "services/gallery/fetch/WebClient.h"
#include "services/gallery/store/DiskCache.h"
#include "services/gallery/store/FaceStore.h"

namespace norvo {

namespace {

constexpr const char* kPicturesKind = "pictures";
// Addresses that gave no picture (an error page, HTML, too large) are not fetched again for
// a day, so a second search for a name touches no network even when some of its pictures
// were unusable.
constexpr const char* kUnusableKind = "unusable";
constexpr std::chrono::hours kUnusableLifetime{24};
// What a fetched picture turned out to be ("<content hash> <extension>"), so that a search
// that meets it again needs neither its bytes nor the network: its faces are known by hash.
constexpr const char* kKnownKind = "remote1";

struct PictureType {
    const char* extension;
    const char* contentType;
};

constexpr PictureType kTypes[] = {{"jpg", "image/jpeg"},
                                  {"png", "image/png"},
                                  {"webp", "image/webp"},
                                  {"gif", "image/gif"},
                                  {"bmp", "image/bmp"}};

// The picture's type from its first bytes; nullopt for anything the service does not serve.
std::optional<PictureType> Sniff(std::string_view bytes) {
    auto starts = [&](std::string_view magic, std::size_t at = 0) {
        return bytes.size() >= at + magic.size() && bytes.substr(at, magic.size()) == magic;
    };
    if (starts("\xFF\xD8\xFF"))
        return kTypes[0];
    if (starts("\x89PNG\r\n\x1A\n"))
        return kTypes[1];
    if (starts("RIFF") && starts("WEBP", 8))
        return kTypes[2];
    if (starts("GIF87a") || starts("GIF89a"))
        return kTypes[3];
    if (starts("BM"))
        return kTypes[4];
    return std::nullopt;
}

}  // namespace

RemotePictures::RemotePictures(WebClient& web, FaceStore& faces, DiskCache& cache)
    : m_web(web), m_faces(faces), m_cache(cache) {}

RemotePictures::Fetched RemotePictures::Take(const std::string& source, const std::string& address,
                                             Clock::time_point deadline, std::string& bytes,
                                             bool& fromCache) {
    const std::string id = PictureId(address);
    fromCache = false;
    if (std::optional<std::string> cached = m_cache.Get(kPicturesKind, id)) {
        bytes = std::move(*cached);
        fromCache = true;
        return {true, false, {}};
    }
    if (std::optional<std::string> unusable =
            m_cache.Get(kUnusableKind, id,
                        std::chrono::duration_cast<std::chrono::seconds>(kUnusableLifetime))) {
        fromCache = true;
        return {false, true, *unusable};
    }
    WebClient::Reply reply = m_web.Picture(source, address, deadline);
    if (reply.outcome != WebClient::Outcome::Ok) {
        // A missing picture, an oversized one, or one behind a local address will be the same
        // tomorrow; a time-out, a server error or being told to slow down may not.
        bool definite = false;
        switch (reply.status) {
            case FetchStatus::HttpStatus:
                definite = reply.httpCode >= 400 && reply.httpCode < 500 && reply.httpCode != 429;
                break;
            case FetchStatus::BadAddress:
            case FetchStatus::SchemeRefused:
            case FetchStatus::RedirectRefused:
            case FetchStatus::TooManyRedirects:
            case FetchStatus::TooLarge:
            case FetchStatus::AddressRefused:
                definite = true;
                break;
            default:
                break;
        }
        return {false, definite && reply.outcome == WebClient::Outcome::Failed, reply.reason};
    }
    // Hot-link protection and error pages come back as HTML with a 200.
    if (!reply.contentType.empty() && reply.contentType.rfind("image/", 0) != 0 &&
        reply.contentType.rfind("application/octet-stream", 0) != 0) {
        return {false, true, source + ": not a picture (" + reply.contentType + ")"};
    }
    bytes = std::move(reply.body);
    return {true, false, {}};
}

// What became of one picture of a collection.
struct RemotePictures::Looked {
    std::optional<Candidate> candidate;
    bool looked = false;  // fetched (or known) and decoded
    std::string failure;
};

// Bytes fetched for one picture, waiting for the detector.
struct RemotePictures::Arrival {
    std::size_t index;
    const std::string* address;
    std::string bytes;
    bool fromCache;
    const char* extension;
    const char* contentType;
};

// The fetchers' hand-over to the detecting thread: arrivals in order, and the end of them.
class RemotePictures::Arrivals {
public:
    void Push(Arrival arrival) {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(arrival));
        m_changed.notify_one();
    }
    void Finish() {
        std::lock_guard lock(m_mutex);
        m_finished = true;
        m_changed.notify_one();
    }
    // The next arrival; nullopt once every fetch is done and nothing is left.
    std::optional<Arrival> Next() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return !m_queue.empty() || m_finished; });
        if (m_queue.empty())
            return std::nullopt;
        Arrival a = std::move(m_queue.front());
        m_queue.pop_front();
        return a;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Arrival> m_queue;
    bool m_finished = false;
};

std::vector<Candidate> RemotePictures::Collect(const std::string& source,
                                               const std::vector<WebPicture>& pictures,
                                               std::size_t maxPictures, Clock::time_point deadline,
                                               Report& report) {
    const std::size_t count = std::min(pictures.size(), maxPictures);
    std::vector<Looked> results(count);
    // Two threads fetch (two at a time, as the picture hosts ask; the web client holds every
    // fetch of the process to that too) while this one decodes and detects what has arrived,
    // so the detector works while the next pictures are on their way.
    Arrivals arrivals;
    RunBeside(
        [&] {
            struct Finish {
                Arrivals& arrivals;
                ~Finish() { arrivals.Finish(); }
            } finish{arrivals};
            ForEachOnTwoThreads(count, [&](std::size_t i) {
                if (Clock::now() < deadline)
                    FetchOne(source, pictures[i], i, deadline, results[i], arrivals);
            });
        },
        [&] {
            while (std::optional<Arrival> a = arrivals.Next()) {
                if (Clock::now() < deadline)
                    DetectOne(source, pictures[a->index], *a, results[a->index]);
            }
        });
    return Summarise(results, report);
}

void RemotePictures::FetchOne(const std::string& source, const WebPicture& picture,
                              std::size_t index, Clock::time_point deadline, Looked& looked,
                              Arrivals& arrivals) {
    for (const std::string* address : {&picture.address, &picture.fallback}) {
        if (address->empty())
            continue;
        if (std::optional<Known> known = Recall(*address)) {
            Accept(source, picture, *address, known->id, known->extension, known->contentType,
                   known->faces, looked);
            return;
        }
        std::string bytes;
        bool fromCache = false;
        const Fetched fetched = Take(source, *address, deadline, bytes, fromCache);
        const std::optional<PictureType> type = fetched.ok ? Sniff(bytes) : std::nullopt;
        if (!type) {
            looked.failure = fetched.ok ? source + ": not a picture" : fetched.reason;
            if ((fetched.ok || fetched.definite) && !fromCache)
                m_cache.Put(kUnusableKind, PictureId(*address), looked.failure);
            continue;  // the fallback may do better
        }
        arrivals.Push(
            {index, address, std::move(bytes), fromCache, type->extension, type->contentType});
        return;
    }
}

void RemotePictures::DetectOne(const std::string& source, const WebPicture& picture,
                               const Arrival& arrival, Looked& looked) {
    const std::string id = PictureId(*arrival.address);
    PictureFaces faces;
    std::string hash;
    if (m_faces.Faces(arrival.bytes, faces, &hash) != DecodeStatus::Ok) {
        looked.failure = source + ": not a picture";
        m_cache.Put(kUnusableKind, id, looked.failure);
        return;
    }
    if (!arrival.fromCache)
        m_cache.Put(kPicturesKind, id, arrival.bytes);
    m_cache.Put(kKnownKind, id, hash + " " + arrival.extension);
    Accept(source, picture, *arrival.address, id, arrival.extension, arrival.contentType, faces,
           looked);
}

void RemotePictures::Accept(const std::string& source, const WebPicture& picture,
                            const std::string& address, const std::string& id,
                            const std::string& extension, const std::string& contentType,
                            const PictureFaces& faces, Looked& looked) {
    looked.looked = true;
    if (faces.faces.empty())
        return;  // a picture, but nobody in it
    HandOut({id, extension, contentType, address, source, picture.provenance});
    looked.candidate = Candidate{kPathPrefix + id + "." + extension, faces.width, faces.height,
                                 picture.title, faces.LargestArea()};
}

std::vector<Candidate> RemotePictures::Summarise(std::vector<Looked>& results, Report& report) {
    std::vector<Candidate> candidates;
    for (Looked& r : results) {
        if (r.looked) {
            ++report.looked;
        } else if (!r.failure.empty()) {
            ++report.failed;
            report.lastFailure = r.failure;
        }
        if (r.candidate)
            candidates.push_back(std::move(*r.candidate));
    }
    std::stable_sort(
        candidates.begin(), candidates.end(),
        [](const Candidate& a, const Candidate& b) { return a.largestFace > b.largestFace; });
    return candidates;
}

std::optional<RemotePictures::Known> RemotePictures::Recall(const std::string& address) {
    const std::string id = PictureId(address);
    const std::optional<std::string> known = m_cache.Get(kKnownKind, id);
    const std::size_t space = known ? known->find(' ') : std::string::npos;
    if (space == std::string::npos)
        return std::nullopt;
    const std::string extension = known->substr(space + 1);
    std::optional<PictureType> type;
    for (const PictureType& t : kTypes) {
        if (extension == t.extension)
            type = t;
    }
    std::optional<PictureFaces> faces =
        type ? m_faces.Known(known->substr(0, space)) : std::nullopt;
    if (!faces)
        return std::nullopt;
    return Known{id, type->extension, type->contentType, std::move(*faces)};
}

void RemotePictures::HandOut(Entry entry) {
    std::lock_guard lock(m_mutex);
    const std::string id = entry.id;
    const bool known = m_entries.count(id) > 0;
    m_entries[id] = std::move(entry);
    if (known)
        return;
    m_order.push_back(id);
    if (m_order.size() > kMaxHandedOut) {
        m_entries.erase(m_order.front());
        m_order.pop_front();
    }
}

std::optional<RemotePictures::Entry> RemotePictures::Find(std::string_view path) const {
    const std::string_view prefix = kPathPrefix;
    if (path.substr(0, prefix.size()) != prefix)
        return std::nullopt;
    const std::string_view name = path.substr(prefix.size());
    const std::size_t dot = name.find('.');
    if (dot != kPictureIdChars)
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(std::string(name.substr(0, dot)));
    if (it == m_entries.end() || name.substr(dot + 1) != it->second.extension)
        return std::nullopt;
    return it->second;
}

bool RemotePictures::Bytes(const Entry& entry, std::string& bytes) {
    if (std::optional<std::string> cached = m_cache.Get(kPicturesKind, entry.id)) {
        bytes = std::move(*cached);
        return true;
    }
    // Gone from the cache (evicted, damaged, or no cache at all): fetched again, and served
    // only if it still is a picture of the same type.
    WebClient::Reply reply =
        m_web.Picture(entry.source, entry.address,
                      Clock::now() + std::chrono::seconds(WebClient::kTransferTimeoutSeconds));
    if (reply.outcome != WebClient::Outcome::Ok)
        return false;
    const std::optional<PictureType> type = Sniff(reply.body);
    PictureFaces faces;
    if (!type || type->extension != entry.extension ||
        m_faces.Faces(reply.body, faces) != DecodeStatus::Ok) {
        return false;
    }
    m_cache.Put(kPicturesKind, entry.id, reply.body);
    bytes = std::move(reply.body);
    return true;
}

}  // namespace norvo
