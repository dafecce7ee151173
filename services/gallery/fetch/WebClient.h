#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <semaphore>
#include <string>

#include "net/AddressGuard.h"
#include "net/HttpFetcher.h"

namespace norvo {

class DiskCache;

using Clock = std::chrono::steady_clock;

// Every fetch the service makes goes through here: the shared fetcher with the address guard
// (no connection into local or private networks unless named for tests), a User-Agent with a
// contact, the web services' rate rules (API calls one after another, at most two picture
// fetches at once, a source that answered 429 or "maxlag" left alone for a while), and the
// answer cache for API calls.
class WebClient {
public:
    // The services' own limits are the module's, except: a whole transfer ends after 30 s
    // (a search waits on several), and a picture may not pass 16 MiB.
    static constexpr long kTransferTimeoutSeconds = 30;
    static constexpr std::uint64_t kMaxPictureBytes = 16ull * 1024 * 1024;
    // Fifty files of metadata are a few hundred kilobytes.
    static constexpr std::uint64_t kMaxApiBytes = 8ull * 1024 * 1024;
    // Names are looked up again after a day; who a name refers to and the licences of the
    // files change more rarely than that.
    static constexpr std::chrono::hours kApiAnswerLifetime{24};
    // After a 429 or "maxlag" a source is left alone for Retry-After seconds, at least this.
    static constexpr std::chrono::seconds kMinRest{5};
    static constexpr std::chrono::seconds kMaxRest{3600};
    static constexpr int kPictureSlots = 2;

    // "norvo-gallery/VERSION (+contact) libcurl/VERSION".
    static std::string UserAgent();

    // `cache` may be unusable (then every call goes to the network).
    WebClient(AddressGuard guard, DiskCache& cache);

    enum class Outcome {
        Ok,       // the body is the answer
        Resting,  // not asked: the source rests after a 429 or "maxlag"
        Refused,  // the source answered 429, "maxlag" or an API error; `reason` says which
        Failed,   // not reached, timed out, an error status, too large, refused address
    };
    struct Reply {
        Outcome outcome = Outcome::Failed;
        FetchStatus status = FetchStatus::TransferFailed;  // of the transfer, when one was made
        std::string body;
        std::string contentType;
        long httpCode = 0;
        bool fromCache = false;
        std::string reason;  // one line, for the log and a 502 answer
    };

    // One API call on behalf of `source` ("wikimedia", "searxng"), answered from the cache
    // when a fresh answer is there; successful answers are cached.
    Reply Api(const std::string& source, const std::string& address, Clock::time_point deadline);
    // One picture, never cached here (the caller keeps only what decodes).
    Reply Picture(const std::string& source, const std::string& address,
                  Clock::time_point deadline);

    // Whether `source` rests now.
    bool Resting(const std::string& source) const;

    // Network requests made so far (answers from the cache not counted).
    int RequestsMade() const { return m_requests; }

private:
    Reply Fetch(const std::string& source, const std::string& address, std::uint64_t maxBytes,
                Clock::time_point deadline, bool api);
    void Rest(const std::string& source, std::chrono::seconds seconds);

    AddressGuard m_guard;
    DiskCache& m_cache;
    HttpFetcher m_fetcher;
    std::timed_mutex m_apiTurn;
    std::counting_semaphore<kPictureSlots> m_pictureSlots{kPictureSlots};
    mutable std::mutex m_restMutex;
    std::map<std::string, Clock::time_point> m_restUntil;
    std::atomic<int> m_requests{0};
};

}  // namespace norvo
