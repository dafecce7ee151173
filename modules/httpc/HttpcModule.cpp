#include "modules/httpc/HttpcModule.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "modules/httpc/FileName.h"
#include "modules/httpc/MarkerTexts.h"
#include "modules/httpc/ModuleRequest.h"
#include "net/HttpFetcher.h"

namespace norvo {

namespace {

// Headers that carry the cut texts, in the order the texts were found.
constexpr const char* kTextHeaders[kMaxMarkerTexts] = {"Result", "Value0", "Value1", "Value2"};
// Files being fetched get a hidden name in the work folder until they are complete.
constexpr const char* kTempPrefix = ".httpc-";

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

std::string FetchReason(FetchStatus status, long httpCode) {
    std::string reason(describe(status));
    if (status == FetchStatus::HttpStatus) {
        reason += " " + std::to_string(httpCode);
    }
    return reason;
}

}  // namespace

int HttpcModule::Load(std::string directory) {
    m_limits = FetchLimits::FromEnvironment();
    const char* probe = std::getenv("HTTPC_PROBE_URL");
    m_probeAddress = probe ? probe : "";
    if (!directory.empty() && directory.back() != '/') {
        directory += '/';
    }
    m_directory = std::move(directory);
    m_cancelled = false;
    m_loaded = true;
    return m_directory.empty() ? 1 : 0;
}

void HttpcModule::Unload() {
    m_loaded = false;
    m_directory.clear();
    m_probeAddress.clear();
    m_limits = FetchLimits();
}

ModuleAnswer HttpcModule::Handle(std::string_view requestText) const {
    try {
        ModuleRequest request;
        if (const RequestStatus status = ParseModuleRequest(requestText, request);
            status != RequestStatus::Ok) {
            return ModuleAnswer::BadRequest(describe(status));
        }
        if (!m_loaded) {
            return ModuleAnswer::Failure("module not loaded");
        }
        if (m_cancelled) {
            return ModuleAnswer::Failure(describe(FetchStatus::Cancelled));
        }
        const auto& args = request.arguments;
        switch (args.size()) {
            case 0:
                return CheckConnection();
            case 2:
                return StoreFile(args[0], args[1]);
            case 3:
                return CutTexts(args[0], args[1], args[2]);
            default:
                return ModuleAnswer::BadRequest("no request form takes this many arguments");
        }
    } catch (const std::bad_alloc&) {
        return ModuleAnswer::Failure("out of memory");
    } catch (...) {
        return ModuleAnswer::Failure("internal error");
    }
}

ModuleAnswer HttpcModule::CheckConnection() const {
    if (m_probeAddress.empty()) {
        ModuleAnswer answer = ModuleAnswer::Success("0");
        answer.AddHeader("Reason", "no probe address set in HTTPC_PROBE_URL");
        return answer;
    }
    const HttpFetcher fetcher(m_limits, &m_cancelled);
    return ModuleAnswer::Success(fetcher.Probe(m_probeAddress) ? "1" : "0");
}

ModuleAnswer HttpcModule::StoreFile(const std::string& address, const std::string& fileName) const {
    if (const FetchStatus check = HttpFetcher::CheckAddress(address); check != FetchStatus::Ok) {
        return ModuleAnswer::BadRequest(describe(check));
    }
    if (const FileNameStatus check = CheckFileName(fileName); check != FileNameStatus::Ok) {
        return ModuleAnswer::BadRequest(describe(check));
    }
    if (m_directory.empty()) {
        return ModuleAnswer::Failure("no work folder");
    }

    const std::string path = m_directory + fileName;
    std::string temp = m_directory + kTempPrefix + "XXXXXX";
    // mkostemp creates the file with mode 0600; close-on-exec keeps it out of child processes.
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return ModuleAnswer::Failure("cannot create a file in the work folder");
    }

    const HttpFetcher fetcher(m_limits, &m_cancelled);
    long httpCode = 0;
    FetchStatus status = fetcher.Fetch(
        address, [fd](const char* data, std::size_t size) { return WriteAll(fd, data, size); },
        kMaxFileBytes, httpCode);
    if (::close(fd) != 0 && status == FetchStatus::Ok) {
        status = FetchStatus::SinkFailed;
    }
    if (status == FetchStatus::Ok) {
        if (std::rename(temp.c_str(), path.c_str()) == 0) {
            return ModuleAnswer::Success("1");
        }
        status = FetchStatus::SinkFailed;
    }
    ::unlink(temp.c_str());
    // A stale file of the same name must not pass for this answer.
    ::unlink(path.c_str());
    return ModuleAnswer::Failure(FetchReason(status, httpCode));
}

ModuleAnswer HttpcModule::CutTexts(const std::string& address, const std::string& start,
                                   const std::string& end) const {
    if (const FetchStatus check = HttpFetcher::CheckAddress(address); check != FetchStatus::Ok) {
        return ModuleAnswer::BadRequest(describe(check));
    }
    if (start.empty() || end.empty()) {
        return ModuleAnswer::BadRequest("empty marker");
    }
    std::string body;
    const HttpFetcher fetcher(m_limits, &m_cancelled);
    long httpCode = 0;
    const FetchStatus status = fetcher.Fetch(
        address,
        [&body](const char* data, std::size_t size) {
            body.append(data, size);
            return true;
        },
        kMaxMemoryBytes, httpCode);
    if (status != FetchStatus::Ok) {
        return ModuleAnswer::Failure(FetchReason(status, httpCode));
    }
    ModuleAnswer answer(200, "OK");
    const auto texts = CutMarkerTexts(body, start, end);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        answer.AddHeader(kTextHeaders[i], texts[i]);
    }
    return answer;
}

}  // namespace norvo
