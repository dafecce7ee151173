#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "modules/httpc/FetchLimits.h"

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
    SinkFailed,        // the receiver of the bytes refused them (disk full, no memory, ...)
    Cancelled,         // the cancel flag was raised before or during the transfer
    TransferFailed,    // any other transfer error
};

// Short readable text for `status`, fit for a "Reason:" header.
std::string_view describe(FetchStatus status);

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

    // Whether `address` is one this fetcher will try: absolute, http or https, no control bytes.
    static FetchStatus CheckAddress(const std::string& address);

    // Fetches `address` into `sink`, refusing bodies over `maxBytes` as they arrive. On a
    // status other than Ok the sink may have received part of the body. `httpCode` receives
    // the final answer's status (0 when none).
    FetchStatus Fetch(const std::string& address, const Sink& sink, std::uint64_t maxBytes,
                      long& httpCode) const;

    // Whether any server answered a HEAD request for `address` (any status counts) within the
    // probe time-out; false once cancelled.
    bool Probe(const std::string& address) const;

private:
    bool Cancelled() const { return m_cancelled != nullptr && m_cancelled->load(); }

    FetchLimits m_limits;
    const std::atomic<bool>* m_cancelled;
};

}  // namespace norvo
