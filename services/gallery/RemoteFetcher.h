#pragma once

#include <string>

namespace norvo {

enum class FetchStatus {
    Ok,
    BadScheme,  // not http or https (also after a redirect)
    TooLarge,   // the body passed kMaxBodyBytes
    HttpError,  // the server answered with a status of 400 or above
    Failed,     // no connection, time-out, or another transfer error
};

const char* describe(FetchStatus status);

// Fetches pictures from other hosts for detection (only with --allow-remote).
class RemoteFetcher {
public:
    // The same limits as the program's HTTP module, so the service never takes in
    // more than the program itself would download.
    static constexpr long kMaxBodyBytes = 32L * 1024 * 1024;  // no photo we care about is larger
    static constexpr long kConnectTimeoutSeconds = 10;
    static constexpr long kTotalTimeoutSeconds = 60;
    static constexpr long kLowSpeedBytesPerSecond = 1024;  // below this for...
    static constexpr long kLowSpeedSeconds = 15;           // ...this long: give up
    static constexpr long kMaxRedirects = 5;

    // Fetches the address; the body is only complete when the result is Ok.
    static FetchStatus Fetch(const std::string& url, std::string& body);
};

}  // namespace norvo
