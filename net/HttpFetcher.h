#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "net/AddressGuard.h"
#include "net/FetchLimits.h"

namespace norvo {

// Outcome of one fetch.
enum class FetchStatus {
    Ok,                // a 2xx answer, delivered whole to the sink
    BadAddress,        // not an absolute address curl can read, or holds control bytes
    SchemeRefused,     // a scheme other than http or https
    HttpStatus,        // the server answered with a status outside 2xx
    TooLarge,          // the body went over the byte cap
    TimedOut,          // connect, whole-transfer or low-speed limit reached
    ConnectFailed,     // no server reached (name lookup or connect failed)
    RedirectRefused,   // a redirect to a scheme other than http or https
    TooManyRedirects,  // more than kMaxRedirects hops
    TlsFailed,         // TLS handshake or certificate verification failed
    AddressRefused,    // every address the host resolved to is one the guard refuses
    SinkFailed,        // the receiver of the bytes refused them (disk full, no memory, ...)
    Cancelled,         // the cancel flag was raised before or during the transfer
    TransferFailed,    // any other transfer error
};

// Short readable text for `status`, fit for a "Reason:" header.
std::string_view describe(FetchStatus status);

// What a fetcher does beyond its fixed safety settings.
struct FetchOptions {
    std::string userAgent;  // "" for the module's own, norvo-httpc/VERSION
    // When set, a connection is opened only to addresses the guard allows; this is checked on
    // every address curl actually connects to, so redirects and name lookups are covered. The
    // proxy settings of the environment are then ignored: through a proxy the real
    // destination could not be checked.
    const AddressGuard* guard = nullptr;
    // Ask for compressed answers; the sink receives them decoded, so the byte cap counts the
    // decoded bytes and a small compressed bomb cannot pass it.
    bool compressed = false;
    // Watched by every transfer when given: once true, a transfer ends at once (within curl's
    // progress interval) with Cancelled and none starts.
    const std::atomic<bool>* cancelled = nullptr;
};

// The final answer's status line and the headers a caller asked for.
struct FetchReply {
    long httpCode = 0;
    std::string contentType;                     // "" when the answer named none
    std::map<std::string, std::string> headers;  // asked-for names that the answer carried
};

// HTTP(S) fetches with fixed safety settings: http/https only (also on redirects), at most
// kMaxRedirects hops, TLS verified, no cookies kept, time and size limits, no signals.
class HttpFetcher {
public:
    // Receives body bytes as they arrive; false aborts the transfer. An exception it throws
    // aborts the transfer too (SinkFailed) and never passes through libcurl.
    using Sink = std::function<bool(const char* data, std::size_t size)>;

    // `cancelled`, when given, is watched by every transfer: once it is true, a transfer
    // ends at once (within curl's progress interval) with Cancelled and none starts.
    explicit HttpFetcher(FetchLimits limits, const std::atomic<bool>* cancelled = nullptr);
    HttpFetcher(FetchLimits limits, FetchOptions options);

    // Whether `address` is one this fetcher will try: absolute, http or https, no control bytes.
    static FetchStatus CheckAddress(const std::string& address);

    // Fetches `address` into `sink`, refusing bodies over `maxBytes` as they arrive. On a
    // status other than Ok the sink may have received part of the body. `httpCode` receives
    // the final answer's status (0 when none).
    FetchStatus Fetch(const std::string& address, const Sink& sink, std::uint64_t maxBytes,
                      long& httpCode) const;
    // As above; the whole transfer also ends after `timeLeft` when that is positive, and the
    // answer headers named in `wanted` are handed back in `reply`.
    FetchStatus Fetch(const std::string& address, const Sink& sink, std::uint64_t maxBytes,
                      FetchReply& reply, std::chrono::milliseconds timeLeft,
                      const std::vector<std::string>& wanted = {}) const;

    // Whether any server answered a HEAD request for `address` (any status counts) within the
    // probe time-out; false once cancelled.
    bool Probe(const std::string& address) const;

private:
    bool Cancelled() const { return m_options.cancelled != nullptr && m_options.cancelled->load(); }

    FetchLimits m_limits;
    FetchOptions m_options;
};

}  // namespace norvo
