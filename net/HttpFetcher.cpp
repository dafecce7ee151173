#include "net/HttpFetcher.h"

#include <curl/curl.h>
#ifndef _WIN32
#include <sys/socket.h>
#endif

#include <algorithm>
#include <memory>
#include <string>

#include "norvo/Version.h"

namespace norvo {

namespace {

// Only the web: no file://, ftp://, ldap:// and the like, neither asked for nor redirected to.
constexpr const char* kAllowedProtocols = "http,https";
// What the module's fetches call themselves; callers with their own rules name their own.
const std::string kUserAgent = std::string("norvo-httpc/") + kProgramVersion;

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

struct WriteContext {
    const HttpFetcher::Sink* sink = nullptr;
    std::uint64_t maxBytes = 0;
    std::uint64_t received = 0;
    bool overCap = false;
    bool sinkFailed = false;
};

// Called from libcurl's C frames: nothing may be thrown through them, so whatever the sink
// throws (a string growing out of memory) ends the transfer as a refused write instead.
size_t WriteBody(char* data, size_t size, size_t count, void* user) noexcept {
    auto* context = static_cast<WriteContext*>(user);
    const std::uint64_t bytes = static_cast<std::uint64_t>(size) * count;
    if (bytes > context->maxBytes - context->received) {
        context->overCap = true;
        return 0;  // fewer bytes than offered: curl aborts with CURLE_WRITE_ERROR
    }
    context->received += bytes;
    bool accepted = false;
    try {
        accepted = (*context->sink)(data, bytes);
    } catch (...) {
        accepted = false;
    }
    if (!accepted) {
        context->sinkFailed = true;
        return 0;
    }
    return bytes;
}

struct SocketContext {
    const AddressGuard* guard = nullptr;
    bool refused = false;
};

// Every connection curl opens passes here with the address it resolved: the one place where
// a name that resolves to a private address, or a redirect to one, can be stopped before a
// single packet is sent.
curl_socket_t OpenSocket(void* user, curlsocktype, curl_sockaddr* address) noexcept {
    auto* context = static_cast<SocketContext*>(user);
    if (context->guard != nullptr &&
        !context->guard->Allows(&address->addr, static_cast<socklen_t>(address->addrlen))) {
        context->refused = true;
        return CURL_SOCKET_BAD;
    }
#ifdef _WIN32
    // Not inherited by child processes, as SOCK_CLOEXEC does elsewhere.
    return WSASocketW(address->family, address->socktype, address->protocol, nullptr, 0,
                      WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
#else
    return socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
#endif
}

size_t DiscardBody(char*, size_t size, size_t count, void*) noexcept {
    return size * count;
}

// libcurl calls this at least about once a second, and whenever bytes move; non-zero aborts
// the transfer with CURLE_ABORTED_BY_CALLBACK.
int CheckCancelled(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) noexcept {
    const auto* cancelled = static_cast<const std::atomic<bool>*>(user);
    return cancelled != nullptr && cancelled->load() ? 1 : 0;
}

// Settings every transfer shares; false when curl refuses one of them.
bool Configure(CURL* easy, const std::string& address, const FetchLimits& limits,
               const FetchOptions& options, SocketContext& sockets, long timeoutMs) {
    bool ok = true;
    auto set = [&](CURLcode code) { ok = ok && code == CURLE_OK; };
    set(curl_easy_setopt(easy, CURLOPT_URL, address.c_str()));
    set(curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L));
    set(curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, kAllowedProtocols));
    set(curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, kAllowedProtocols));
    set(curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L));
    set(curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects));
    set(curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L));
    set(curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L));
    set(curl_easy_setopt(easy, CURLOPT_USERAGENT,
                         (options.userAgent.empty() ? kUserAgent : options.userAgent).c_str()));
    set(curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                         std::min(limits.connectTimeoutSeconds * 1000, timeoutMs)));
    set(curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, timeoutMs));
    set(curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytesPerSecond));
    set(curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, limits.lowSpeedSeconds));
    if (options.cancelled != nullptr) {
        set(curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, CheckCancelled));
        set(curl_easy_setopt(easy, CURLOPT_XFERINFODATA, options.cancelled));
        set(curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L));
    }
    set(curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, OpenSocket));
    set(curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, &sockets));
    if (options.guard != nullptr) {
        set(curl_easy_setopt(easy, CURLOPT_PROXY, ""));
    }
    if (options.compressed) {
        set(curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, ""));
    }
    // No CURLOPT_COOKIEFILE: the cookie engine stays off and every fetch uses a fresh handle.
    return ok;
}

FetchStatus FromCurl(CURLcode code) {
    switch (code) {
        case CURLE_OK:
            return FetchStatus::Ok;
        case CURLE_URL_MALFORMAT:
            return FetchStatus::BadAddress;
        case CURLE_UNSUPPORTED_PROTOCOL:
            return FetchStatus::RedirectRefused;  // the first address was checked already
        case CURLE_TOO_MANY_REDIRECTS:
            return FetchStatus::TooManyRedirects;
        case CURLE_OPERATION_TIMEDOUT:
            return FetchStatus::TimedOut;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_CONNECT:
            return FetchStatus::ConnectFailed;
        case CURLE_FILESIZE_EXCEEDED:
            return FetchStatus::TooLarge;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
            return FetchStatus::TlsFailed;
        default:
            return FetchStatus::TransferFailed;
    }
}

}  // namespace

std::string_view describe(FetchStatus status) {
    switch (status) {
        case FetchStatus::Ok:
            return "fetched";
        case FetchStatus::BadAddress:
            return "malformed address";
        case FetchStatus::SchemeRefused:
            return "only http and https addresses are fetched";
        case FetchStatus::HttpStatus:
            return "server answered with an error status";
        case FetchStatus::TooLarge:
            return "answer too large";
        case FetchStatus::TimedOut:
            return "timed out";
        case FetchStatus::ConnectFailed:
            return "server not reached";
        case FetchStatus::RedirectRefused:
            return "redirect to a scheme other than http or https refused";
        case FetchStatus::TooManyRedirects:
            return "too many redirects";
        case FetchStatus::TlsFailed:
            return "secure connection failed";
        case FetchStatus::AddressRefused:
            return "address in a local or private network refused";
        case FetchStatus::SinkFailed:
            return "answer could not be stored";
        case FetchStatus::Cancelled:
            return "cancelled";
        case FetchStatus::TransferFailed:
            return "transfer failed";
    }
    return "unknown fetch status";
}

HttpFetcher::HttpFetcher(FetchLimits limits, const std::atomic<bool>* cancelled)
    : m_limits(limits) {
    m_options.cancelled = cancelled;
}

HttpFetcher::HttpFetcher(FetchLimits limits, FetchOptions options)
    : m_limits(limits), m_options(std::move(options)) {}

FetchStatus HttpFetcher::CheckAddress(const std::string& address) {
    for (char c : address) {
        const auto b = static_cast<unsigned char>(c);
        // NUL would silently shorten the address handed to curl; other controls and spaces
        // have no place in an address.
        if (b <= 0x20 || b == 0x7F) {
            return FetchStatus::BadAddress;
        }
    }
    std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    if (!url) {
        return FetchStatus::TransferFailed;
    }
    if (curl_url_set(url.get(), CURLUPART_URL, address.c_str(), CURLU_NON_SUPPORT_SCHEME) !=
        CURLUE_OK) {
        return FetchStatus::BadAddress;
    }
    char* scheme = nullptr;
    if (curl_url_get(url.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK || !scheme) {
        return FetchStatus::BadAddress;
    }
    const std::string_view text(scheme);  // curl hands the scheme back in lower case
    const bool web = text == "http" || text == "https";
    curl_free(scheme);
    return web ? FetchStatus::Ok : FetchStatus::SchemeRefused;
}

FetchStatus HttpFetcher::Fetch(const std::string& address, const Sink& sink, std::uint64_t maxBytes,
                               long& httpCode) const {
    FetchReply reply;
    const FetchStatus status = Fetch(address, sink, maxBytes, reply, std::chrono::milliseconds(0));
    httpCode = reply.httpCode;
    return status;
}

FetchStatus HttpFetcher::Fetch(const std::string& address, const Sink& sink, std::uint64_t maxBytes,
                               FetchReply& reply, std::chrono::milliseconds timeLeft,
                               const std::vector<std::string>& wanted) const {
    reply = FetchReply();
    if (const FetchStatus check = CheckAddress(address); check != FetchStatus::Ok) {
        return check;
    }
    if (Cancelled()) {
        return FetchStatus::Cancelled;
    }
    EasyHandle easy(curl_easy_init());
    if (!easy) {
        return FetchStatus::TransferFailed;
    }
    long timeoutMs = m_limits.transferTimeoutSeconds * 1000;
    if (timeLeft.count() > 0) {
        timeoutMs = std::min<long>(timeoutMs, static_cast<long>(timeLeft.count()));
    }
    WriteContext context;
    context.sink = &sink;
    context.maxBytes = maxBytes;
    SocketContext sockets{m_options.guard};
    if (!Configure(easy.get(), address, m_limits, m_options, sockets, timeoutMs) ||
        curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, WriteBody) != CURLE_OK ||
        curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &context) != CURLE_OK ||
        curl_easy_setopt(easy.get(), CURLOPT_MAXFILESIZE_LARGE,
                         static_cast<curl_off_t>(maxBytes)) != CURLE_OK) {
        return FetchStatus::TransferFailed;
    }
    const CURLcode code = curl_easy_perform(easy.get());
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &reply.httpCode);
    const char* type = nullptr;
    if (curl_easy_getinfo(easy.get(), CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type) {
        reply.contentType = type;
    }
    for (const std::string& name : wanted) {
        curl_header* header = nullptr;
        if (curl_easy_header(easy.get(), name.c_str(), 0, CURLH_HEADER, -1, &header) == CURLHE_OK &&
            header != nullptr && header->value != nullptr) {
            reply.headers[name] = header->value;
        }
    }
    if (code == CURLE_ABORTED_BY_CALLBACK || (code != CURLE_OK && Cancelled())) {
        return FetchStatus::Cancelled;
    }
    if (context.overCap) {
        return FetchStatus::TooLarge;
    }
    if (context.sinkFailed) {
        return FetchStatus::SinkFailed;
    }
    if (sockets.refused && code == CURLE_COULDNT_CONNECT) {
        return FetchStatus::AddressRefused;
    }
    if (code != CURLE_OK) {
        return FromCurl(code);
    }
    return reply.httpCode >= 200 && reply.httpCode <= 299 ? FetchStatus::Ok
                                                          : FetchStatus::HttpStatus;
}

bool HttpFetcher::Probe(const std::string& address) const {
    if (CheckAddress(address) != FetchStatus::Ok || Cancelled()) {
        return false;
    }
    EasyHandle easy(curl_easy_init());
    if (!easy) {
        return false;
    }
    SocketContext sockets{m_options.guard};
    if (!Configure(easy.get(), address, m_limits, m_options, sockets,
                   m_limits.probeTimeoutSeconds * 1000) ||
        // The first server's answer is all the check asks for, so a redirect is not followed.
        curl_easy_setopt(easy.get(), CURLOPT_FOLLOWLOCATION, 0L) != CURLE_OK ||
        curl_easy_setopt(easy.get(), CURLOPT_NOBODY, 1L) != CURLE_OK ||
        curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, DiscardBody) != CURLE_OK) {
        return false;
    }
    const CURLcode code = curl_easy_perform(easy.get());
    long httpCode = 0;
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &httpCode);
    if (code == CURLE_ABORTED_BY_CALLBACK) {
        return false;
    }
    // Any status line means a server is there, even when the transfer then failed.
    return code == CURLE_OK || httpCode > 0;
}

}  // namespace norvo
