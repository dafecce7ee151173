#include "net/FetchLimits.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace norvo {

namespace {

long Shortened(const char* variable, long fallback) {
    const char* text = std::getenv(variable);
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 1 || value > fallback) {
        return fallback;
    }
    return value;
}

}  // namespace

FetchLimits FetchLimits::FromEnvironment() {
    FetchLimits limits;
    limits.connectTimeoutSeconds =
        Shortened("HTTPC_CONNECT_TIMEOUT_SECONDS", kConnectTimeoutSeconds);
    limits.transferTimeoutSeconds = Shortened("HTTPC_TIMEOUT_SECONDS", kTransferTimeoutSeconds);
    limits.lowSpeedSeconds = Shortened("HTTPC_LOW_SPEED_SECONDS", kLowSpeedSeconds);
    limits.probeTimeoutSeconds = std::min(kProbeTimeoutSeconds, limits.transferTimeoutSeconds);
    return limits;
}

}  // namespace norvo
