#include "RemoteFetcher.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <string>

#include "norvo/Version.h"

namespace norvo {

namespace {

struct Sink {
    std::string* body;
    bool overflow = false;
};

// Counts what really arrives: a Content-Length header can lie or be absent.
size_t Write(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const size_t bytes = size * count;
    if (sink->body->size() + bytes > static_cast<size_t>(RemoteFetcher::kMaxBodyBytes)) {
        sink->overflow = true;
        return 0;
    }
    sink->body->append(data, bytes);
    return bytes;
}

}  // namespace

const char* describe(FetchStatus status) {
    switch (status) {
        case FetchStatus::Ok:
            return "ok";
        case FetchStatus::BadScheme:
            return "only http and https addresses are fetched";
        case FetchStatus::TooLarge:
            return "the picture is larger than 32 MiB";
        case FetchStatus::HttpError:
            return "the picture's server answered with an error";
        case FetchStatus::Failed:
            return "the picture could not be fetched";
    }
    return "unknown fetch status";
}

FetchStatus RemoteFetcher::Fetch(const std::string& url, std::string& body) {
    static std::once_flag initOnce;
    std::call_once(initOnce, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    body.clear();
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl)
        return FetchStatus::Failed;
    CURL* h = curl.get();
    Sink sink{&body};
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, kTotalTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytesPerSecond);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds);
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxBodyBytes));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Write);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    const std::string userAgent = std::string("norvo-gallery/") + kProgramVersion;
    curl_easy_setopt(h, CURLOPT_USERAGENT, userAgent.c_str());

    const CURLcode rc = curl_easy_perform(h);
    if (sink.overflow || rc == CURLE_FILESIZE_EXCEEDED) {
        body.clear();
        return FetchStatus::TooLarge;
    }
    if (rc == CURLE_UNSUPPORTED_PROTOCOL)
        return FetchStatus::BadScheme;
    if (rc != CURLE_OK) {
        body.clear();
        return FetchStatus::Failed;
    }
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 400) {
        body.clear();
        return FetchStatus::HttpError;
    }
    return FetchStatus::Ok;
}

}  // namespace norvo
