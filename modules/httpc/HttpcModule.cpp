#include "modules/httpc/HttpcModule.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>

#ifdef _WIN32
#include "base/WideText.h"
#endif
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

#ifdef _WIN32

constexpr char kSeparator = '\\';

// The code page of a request's Charset; "" is the system's ANSI code page, which hosts that
// name no character set write in. False for a set the module does not read.
bool CodePageFor(std::string charset, UINT& codePage) {
    for (char& c : charset) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (charset.empty()) {
        codePage = CP_ACP;
    } else if (charset == "utf-8" || charset == "utf8") {
        codePage = CP_UTF8;
    } else if (charset == "shift_jis" || charset == "sjis" || charset == "x-sjis" ||
               charset == "windows-31j" || charset == "cp932") {
        codePage = 932;
    } else {
        return false;
    }
    return true;
}

// A file being fetched, under a temporary name of its own in the work folder.
class PendingFile {
public:
    PendingFile() = default;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    ~PendingFile() {
        Close();
        if (!m_path.empty()) {
            DeleteFileW(m_path.c_str());
        }
    }

    // Creates a fresh file in `folder` (ends with '\\'); never opens one that exists.
    bool Create(const std::wstring& folder) {
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::wstring path =
                folder + win::ToWide(kTempPrefix) + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(counter++);
            m_handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            if (m_handle != INVALID_HANDLE_VALUE) {
                m_path = path;
                return true;
            }
            if (GetLastError() != ERROR_FILE_EXISTS) {
                return false;
            }
        }
        return false;
    }

    bool Write(const char* data, std::size_t size) {
        while (size > 0) {
            const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
            DWORD written = 0;
            if (!WriteFile(m_handle, data, chunk, &written, nullptr) || written == 0) {
                return false;
            }
            data += written;
            size -= written;
        }
        return true;
    }

    bool Close() {
        if (m_handle == INVALID_HANDLE_VALUE) {
            return true;
        }
        const bool closed = CloseHandle(m_handle) != 0;
        m_handle = INVALID_HANDLE_VALUE;
        return closed;
    }

    // Gives the file its final name, replacing a file of that name.
    bool Commit(const std::wstring& path) {
        if (!MoveFileExW(m_path.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            return false;
        }
        m_path.clear();
        return true;
    }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    std::wstring m_path;
};

#else

constexpr char kSeparator = '/';

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

#endif

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
    if (!directory.empty() && directory.back() != '/' && directory.back() != kSeparator) {
        directory += kSeparator;
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
                return StoreFile(args[0], args[1], request.charset);
            case 3:
                return CutTexts(args[0], args[1], args[2], request.charset);
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

ModuleAnswer HttpcModule::StoreFile(const std::string& address, const std::string& fileName,
                                    [[maybe_unused]] const std::string& charset) const {
    if (const FetchStatus check = HttpFetcher::CheckAddress(address); check != FetchStatus::Ok) {
        return ModuleAnswer::BadRequest(describe(check));
    }
#ifdef _WIN32
    // The name is judged as the characters it stands for: in Shift_JIS a '\\' byte may be the
    // second half of a letter.
    UINT codePage = CP_ACP;
    if (!CodePageFor(charset, codePage)) {
        return ModuleAnswer::BadRequest("unknown Charset");
    }
    const std::wstring wideName = win::ToWide(fileName, codePage);
    const std::string checkedName = win::FromWide(wideName);
#else
    const std::string& checkedName = fileName;
#endif
    if (const FileNameStatus check = CheckFileName(checkedName); check != FileNameStatus::Ok) {
        return ModuleAnswer::BadRequest(describe(check));
    }
#ifdef _WIN32
    if (const FileNameStatus check = CheckWindowsFileName(checkedName);
        check != FileNameStatus::Ok) {
        return ModuleAnswer::BadRequest(describe(check));
    }
#endif
    if (m_directory.empty()) {
        return ModuleAnswer::Failure("no work folder");
    }

#ifdef _WIN32
    // The folder text came in the ANSI code page, as SAORI hosts hand it over.
    const std::wstring folder = win::ToWide(m_directory, CP_ACP);
    PendingFile file;
    if (!file.Create(folder)) {
        return ModuleAnswer::Failure("cannot create a file in the work folder");
    }
    const HttpFetcher fetcher(m_limits, &m_cancelled);
    long httpCode = 0;
    FetchStatus status = fetcher.Fetch(
        address, [&file](const char* data, std::size_t size) { return file.Write(data, size); },
        kMaxFileBytes, httpCode);
    if (!file.Close() && status == FetchStatus::Ok) {
        status = FetchStatus::SinkFailed;
    }
    const std::wstring path = folder + wideName;
    if (status == FetchStatus::Ok) {
        if (file.Commit(path)) {
            return ModuleAnswer::Success("1");
        }
        status = FetchStatus::SinkFailed;
    }
    // A stale file of the same name must not pass for this answer.
    DeleteFileW(path.c_str());
    return ModuleAnswer::Failure(FetchReason(status, httpCode));
#else
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
#endif
}

ModuleAnswer HttpcModule::CutTexts(const std::string& address, const std::string& startMarker,
                                   const std::string& endMarker,
                                   [[maybe_unused]] const std::string& charset) const {
    if (const FetchStatus check = HttpFetcher::CheckAddress(address); check != FetchStatus::Ok) {
        return ModuleAnswer::BadRequest(describe(check));
    }
#ifdef _WIN32
    // Web answers are UTF-8: the markers are looked for as the characters they stand for, and
    // the texts found go back in the request's character set.
    UINT codePage = CP_ACP;
    if (!CodePageFor(charset, codePage)) {
        return ModuleAnswer::BadRequest("unknown Charset");
    }
    const std::string start = win::FromWide(win::ToWide(startMarker, codePage));
    const std::string end = win::FromWide(win::ToWide(endMarker, codePage));
#else
    const std::string& start = startMarker;
    const std::string& end = endMarker;
#endif
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
    std::size_t next = 0;
    for (const std::string& found : texts) {
#ifdef _WIN32
        // A text the host's character set cannot hold would reach it altered: left out, and the
        // next one moves up.
        bool exact = true;
        const std::string text =
            codePage == CP_UTF8 ? found : win::FromWide(win::ToWide(found), codePage, &exact);
        if (exact) {
            answer.AddHeader(kTextHeaders[next++], text);
        }
#else
        answer.AddHeader(kTextHeaders[next++], found);
#endif
    }
    return answer;
}

}  // namespace norvo
