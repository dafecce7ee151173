#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "services/gallery/store/FaceStore.h"
#include "services/gallery/wire/Candidate.h"
#include "services/gallery/wire/Provenance.h"

namespace norvo {

class DiskCache;
class FaceStore;
class WebClient;

// A picture a web source points at, before it was fetched.
struct WebPicture {
    std::string address;   // fetched first
    std::string fallback;  // fetched when `address` gives no picture; "" for none
    std::string title;
    Provenance provenance;
};

// Pictures from the web as the service hands them out: fetched once (at most two at a time,
// through the web client), decoded before they are trusted, kept in the disk cache, and served
// under the service's own address /remote/<id>.<ext>, where the id is a hash of the address
// the picture came from. Only ids handed out by this process are served. Thread-safe.
class RemotePictures {
public:
    // Handed-out pictures remembered; the oldest are forgotten past this (a program run asks
    // for its pictures within seconds of the search that named them).
    static constexpr std::size_t kMaxHandedOut = 4096;
    static constexpr const char* kPathPrefix = "/remote/";

    struct Entry {
        std::string id;
        std::string extension;    // "jpg", "png", "webp", "gif", "bmp"
        std::string contentType;  // from the bytes, not from what the server said
        std::string address;      // where the bytes came from
        std::string source;       // the source that named it
        Provenance provenance;
    };

    // What a collection did beside finding candidates.
    struct Report {
        int looked = 0;  // pictures fetched or taken from the cache
        int failed = 0;  // pictures that could not be fetched at all
        std::string lastFailure;
    };

    RemotePictures(WebClient& web, FaceStore& faces, DiskCache& cache);

    // Fetches the pictures (at most `maxPictures` of the list, in order), keeps those showing a
    // face and hands them out; candidates come back largest face first.
    std::vector<Candidate> Collect(const std::string& source,
                                   const std::vector<WebPicture>& pictures, std::size_t maxPictures,
                                   Clock::time_point deadline, Report& report);

    // The handed-out picture of a path "/remote/<id>.<ext>" (nothing else after the prefix);
    // nullopt for anything this process never handed out.
    std::optional<Entry> Find(std::string_view path) const;
    // The picture's bytes: from the cache, else fetched again from its address and checked.
    bool Bytes(const Entry& entry, std::string& bytes);

private:
    // A picture met before, whose faces are known without its bytes.
    struct Known {
        std::string id;
        std::string extension;
        std::string contentType;
        PictureFaces faces;
    };
    std::optional<Known> Recall(const std::string& address);

    struct Fetched {
        bool ok = false;
        bool definite = false;  // a failure that fetching again will not change
        std::string reason;
    };
    Fetched Take(const std::string& source, const std::string& address, Clock::time_point deadline,
                 std::string& bytes, bool& fromCache);
    void HandOut(Entry entry);

    // One collection's steps: fetch a picture (or its fallback) and queue its bytes, detect
    // the faces of what arrived, take a picture with faces as a candidate, and sum up.
    struct Looked;
    struct Arrival;
    class Arrivals;
    void FetchOne(const std::string& source, const WebPicture& picture, std::size_t index,
                  Clock::time_point deadline, Looked& looked, Arrivals& arrivals);
    void DetectOne(const std::string& source, const WebPicture& picture, const Arrival& arrival,
                   Looked& looked);
    void Accept(const std::string& source, const WebPicture& picture, const std::string& address,
                const std::string& id, const std::string& extension, const std::string& contentType,
                const PictureFaces& faces, Looked& looked);
    static std::vector<Candidate> Summarise(std::vector<Looked>& results, Report& report);

    WebClient& m_web;
    FaceStore& m_faces;
    DiskCache& m_cache;
    mutable std::mutex m_mutex;
    std::map<std::string, Entry> m_entries;  // by id
    std::deque<std::string> m_order;         // ids, oldest first
};

}  // namespace norvo
