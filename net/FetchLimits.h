#pragma once

#include <cstdint>

namespace norvo {

// More than a handful of hops is a loop or a trap, not a picture host.
inline constexpr long kMaxRedirects = 5;
// A reachable host answers a connect within seconds; the user waits on every fetch.
inline constexpr long kConnectTimeoutSeconds = 10;
// Bounds a whole transfer so that a run (and closing the window during one) never hangs.
inline constexpr long kTransferTimeoutSeconds = 60;
// A transfer slower than this for kLowSpeedSeconds is a stalled server: give up early.
inline constexpr long kLowSpeedBytesPerSecond = 1024;
inline constexpr long kLowSpeedSeconds = 15;
// The connection check is asked before every run; a short answer beats a long wait.
inline constexpr long kProbeTimeoutSeconds = 5;
// Pictures and detection answers are far smaller; a larger body is refused so that a hostile
// or broken server cannot fill the disk. Counted as bytes arrive, a declared size can lie.
inline constexpr std::uint64_t kMaxFileBytes = 32ull * 1024 * 1024;
// A search answer held in memory to cut texts from; beyond this it is not a search answer.
inline constexpr std::uint64_t kMaxMemoryBytes = 8ull * 1024 * 1024;

// Time limits of one module instance. Tests shorten them through HTTPC_CONNECT_TIMEOUT_SECONDS,
// HTTPC_TIMEOUT_SECONDS and HTTPC_LOW_SPEED_SECONDS; the defaults are also the upper bounds.
struct FetchLimits {
    long connectTimeoutSeconds = kConnectTimeoutSeconds;
    long transferTimeoutSeconds = kTransferTimeoutSeconds;
    long lowSpeedSeconds = kLowSpeedSeconds;
    long probeTimeoutSeconds = kProbeTimeoutSeconds;

    // Defaults, each shortened by its environment variable when that holds a whole number
    // from 1 up to the default; anything else is ignored.
    static FetchLimits FromEnvironment();
};

}  // namespace norvo
