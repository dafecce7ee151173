#include "services/gallery/fetch/WebClient.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>

#include "norvo/Version.h"
#include "services/gallery/store/DiskCache.h"

namespace norvo {

namespace {

// Wikimedia asks every client to name a way to reach its operator. NORVO_CONTACT (a page or
// a mail address) replaces the project's own page.
constexpr const char* kProjectContact = "https://norvo.invalid/contact";
constexpr const char* kContactVariable = "NORVO_CONTACT";

constexpr const char* kApiKind = "api";
constexpr const char* kRetryAfter = "Retry-After";
constexpr const char* kApiError = "MediaWiki-API-Error";

std::chrono::seconds RestFor(const std::string& retryAfter) {
    long seconds = 0;
    if (!retryAfter.empty()) {
        char* end = nullptr;
        seconds = std::strtol(retryAfter.c_str(), &end, 10);
        if (end == retryAfter.c_str() || *end != '\0')
            seconds = 0;  // an HTTP date: the shortest rest will do
    }
    return std::clamp(std::chrono::seconds(seconds), WebClient::kMinRest, WebClient::kMaxRest);
}

std::chrono::milliseconds Left(Clock::time_point deadline) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
}

FetchLimits ServiceLimits() {
    FetchLimits limits;
    limits.transferTimeoutSeconds = WebClient::kTransferTimeoutSeconds;
    return limits;
}

}  // namespace

std::string WebClient::UserAgent() {
    const char* contact = std::getenv(kContactVariable);
    const curl_version_info_data* curl = curl_version_info(CURLVERSION_NOW);
    return std::string("norvo-gallery/") + kProgramVersion + " (+" +
           (contact != nullptr && contact[0] != '\0' ? contact : kProjectContact) + ") libcurl/" +
           (curl != nullptr ? curl->version : "unknown");
}

WebClient::WebClient(AddressGuard guard, DiskCache& cache)
    : m_guard(std::move(guard)),
      m_cache(cache),
      m_fetcher(ServiceLimits(),
                FetchOptions{.userAgent = UserAgent(), .guard = &m_guard, .compressed = true}) {}

bool WebClient::Resting(const std::string& source) const {
    std::lock_guard lock(m_restMutex);
    const auto it = m_restUntil.find(source);
    return it != m_restUntil.end() && Clock::now() < it->second;
}

void WebClient::Rest(const std::string& source, std::chrono::seconds seconds) {
    std::lock_guard lock(m_restMutex);
    Clock::time_point& until = m_restUntil[source];
    until = std::max(until, Clock::now() + seconds);
}

WebClient::Reply WebClient::Api(const std::string& source, const std::string& address,
                                Clock::time_point deadline) {
    if (std::optional<std::string> cached =
            m_cache.Get(kApiKind, address,
                        std::chrono::duration_cast<std::chrono::seconds>(kApiAnswerLifetime))) {
        Reply reply;
        reply.outcome = Outcome::Ok;
        reply.body = std::move(*cached);
        reply.fromCache = true;
        return reply;
    }
    if (Resting(source))
        return Fetch(source, address, 0, deadline, true);  // answers "resting" at once
    // One call at a time: the services ask for serial API requests.
    std::unique_lock turn(m_apiTurn, std::defer_lock);
    if (!turn.try_lock_until(deadline)) {
        Reply reply;
        reply.reason = source + ": out of time waiting for an earlier request";
        return reply;
    }
    Reply reply = Fetch(source, address, kMaxApiBytes, deadline, true);
    if (reply.outcome == Outcome::Ok)
        m_cache.Put(kApiKind, address, reply.body);
    return reply;
}

WebClient::Reply WebClient::Picture(const std::string& source, const std::string& address,
                                    Clock::time_point deadline) {
    if (!m_pictureSlots.try_acquire_until(deadline)) {
        Reply reply;
        reply.reason = source + ": out of time waiting for a picture fetch";
        return reply;
    }
    Reply reply;
    try {
        reply = Fetch(source, address, kMaxPictureBytes, deadline, false);
    } catch (...) {
        m_pictureSlots.release();
        throw;
    }
    m_pictureSlots.release();
    return reply;
}

WebClient::Reply WebClient::Fetch(const std::string& source, const std::string& address,
                                  std::uint64_t maxBytes, Clock::time_point deadline, bool api) {
    Reply reply;
    if (Resting(source)) {
        reply.outcome = Outcome::Resting;
        reply.reason = source + " is resting after being asked to slow down";
        return reply;
    }
    const std::chrono::milliseconds left = Left(deadline);
    if (left.count() <= 0) {
        reply.reason = source + ": out of time";
        return reply;
    }
    FetchReply answer;
    ++m_requests;
    const FetchStatus status = m_fetcher.Fetch(address,
                                               [&reply](const char* data, std::size_t size) {
                                                   reply.body.append(data, size);
                                                   return true;
                                               },
                                               maxBytes, answer, left, {kRetryAfter, kApiError});
    reply.status = status;
    reply.httpCode = answer.httpCode;
    reply.contentType = answer.contentType;
    const std::string apiError =
        answer.headers.count(kApiError) ? answer.headers.at(kApiError) : std::string();
    const std::string retryAfter =
        answer.headers.count(kRetryAfter) ? answer.headers.at(kRetryAfter) : std::string();

    if (answer.httpCode == 429 || apiError == "maxlag") {
        // A thumbnail of a width the picture host does not serve also gets 429, without
        // Retry-After: that picture is given up, the host is not rested for it.
        if (api || !retryAfter.empty()) {
            const std::chrono::seconds rest = RestFor(retryAfter);
            Rest(source, rest);
            reply.reason = source + " asked to slow down (" +
                           (apiError == "maxlag" ? std::string("maxlag") : std::string("429")) +
                           "); resting " + std::to_string(rest.count()) + " s";
        } else {
            reply.reason = source + ": picture refused with 429";
        }
        reply.outcome = Outcome::Refused;
        reply.body.clear();
        return reply;
    }
    if (status == FetchStatus::Ok && !apiError.empty()) {
        reply.outcome = Outcome::Refused;
        reply.reason = source + " refused the request: " + apiError;
        reply.body.clear();
        return reply;
    }
    if (status != FetchStatus::Ok) {
        reply.reason = source + ": " + std::string(describe(status));
        if (status == FetchStatus::HttpStatus)
            reply.reason += " " + std::to_string(answer.httpCode);
        reply.body.clear();
        return reply;
    }
    reply.outcome = Outcome::Ok;
    return reply;
}

}  // namespace norvo
