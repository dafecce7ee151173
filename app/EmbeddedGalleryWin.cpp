#include "app/EmbeddedGallery.h"

// Windows implementation: CreateProcessW inside a job object that ends the child when the last
// handle to the job closes. Only this process holds that handle, so the service ends with the
// program however the program ends, also when it is killed. The child has no console (so a
// Ctrl-C meant for the program does not reach it) and inherits only its three standard handles.

#include <windows.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/WideText.h"

namespace norvo {

namespace {

// The address line is short; anything longer is not the service we started.
constexpr size_t kMaxAddressLine = 256;
// How long the service has to end by itself once its standard input closes, before the job is
// ended: it finishes the answer it is writing and removes its temporary files.
constexpr DWORD kStopGraceMs = 2000;
// How often the first line is looked for: the service answers within milliseconds.
constexpr auto kPollInterval = std::chrono::milliseconds(5);

// Quotes one argument as the child's CommandLineToArgvW (and the C runtime) reads it back.
std::wstring QuoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return arg;
    }
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

void CloseIfOpen(HANDLE& handle) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
    handle = nullptr;
}

// Handles that close themselves; the child's ends of the pipes are closed once it has them.
struct OwnedHandle {
    HANDLE handle = nullptr;
    ~OwnedHandle() { CloseIfOpen(handle); }
    HANDLE Release() {
        const HANDLE released = handle;
        handle = nullptr;
        return released;
    }
};

// The job that ends its processes when its last handle closes.
HANDLE MakeKillOnCloseJob() {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr) {
        return nullptr;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

// Where the service's log goes: our standard error when it is to be seen, else nowhere. The
// handle is inheritable.
HANDLE LogHandle(bool visible) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE ours = GetStdHandle(STD_ERROR_HANDLE);
    HANDLE log = nullptr;
    if (visible && ours != nullptr && ours != INVALID_HANDLE_VALUE &&
        DuplicateHandle(GetCurrentProcess(), ours, GetCurrentProcess(), &log, 0, TRUE,
                        DUPLICATE_SAME_ACCESS)) {
        return log;
    }
    log = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                      OPEN_EXISTING, 0, nullptr);
    return log == INVALID_HANDLE_VALUE ? nullptr : log;
}

}  // namespace

EmbeddedGallery::~EmbeddedGallery() {
    Stop();
}

bool EmbeddedGallery::IsRunning() const {
    return m_process != nullptr;
}

EmbeddedGallery::Status EmbeddedGallery::Start(const std::string& program,
                                               const std::string& picturesDir, int timeoutMs) {
    Stop();
    const std::wstring wideProgram = win::ToWide(program);
    const DWORD attributes =
        program.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wideProgram.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return Status::NoProgram;
    }

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    OwnedHandle outRead, outWrite, inRead, inWrite, log;
    if (!CreatePipe(&outRead.handle, &outWrite.handle, &inherit, 0) ||
        !SetHandleInformation(outRead.handle, HANDLE_FLAG_INHERIT, 0) ||
        !CreatePipe(&inRead.handle, &inWrite.handle, &inherit, 0) ||
        !SetHandleInformation(inWrite.handle, HANDLE_FLAG_INHERIT, 0)) {
        return Status::SpawnFailed;
    }
    log.handle = LogHandle(m_bLogVisible);
    OwnedHandle job{MakeKillOnCloseJob()};
    if (log.handle == nullptr || job.handle == nullptr) {
        return Status::SpawnFailed;
    }

    // Only the three standard handles go to the child, not whatever else another thread made
    // inheritable meanwhile.
    HANDLE inherited[] = {inRead.handle, outWrite.handle, log.handle};
    SIZE_T listSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
    std::vector<char> listMemory(listSize);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listMemory.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &listSize)) {
        return Status::SpawnFailed;
    }
    const bool listed = UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                                  inherited, sizeof inherited, nullptr, nullptr);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = inRead.handle;
    startup.StartupInfo.hStdOutput = outWrite.handle;
    startup.StartupInfo.hStdError = log.handle;
    startup.lpAttributeList = list;

    std::vector<std::string> args = {"--pictures", picturesDir, "--listen", "127.0.0.1:0",
                                     "--watch-stdin"};
    if (!m_strSources.empty()) {
        args.push_back("--sources");
        args.push_back(m_strSources);
    }
    std::wstring commandLine = QuoteArgument(wideProgram);
    for (const std::string& arg : args) {
        commandLine += L" " + QuoteArgument(win::ToWide(arg));
    }
    // Suspended until it is in the job, so nothing it starts can escape the job.
    PROCESS_INFORMATION child{};
    const BOOL created =
        CreateProcessW(wideProgram.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                       CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP | CREATE_NO_WINDOW |
                           CREATE_UNICODE_ENVIRONMENT | (listed ? EXTENDED_STARTUPINFO_PRESENT : 0),
                       nullptr, nullptr, &startup.StartupInfo, &child);
    DeleteProcThreadAttributeList(list);
    if (!created) {
        return Status::SpawnFailed;
    }
    if (!AssignProcessToJobObject(job.handle, child.hProcess)) {
        TerminateProcess(child.hProcess, 1);
        WaitForSingleObject(child.hProcess, INFINITE);
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
        return Status::SpawnFailed;
    }
    ResumeThread(child.hThread);
    CloseHandle(child.hThread);
    m_job = job.Release();
    m_process = child.hProcess;
    m_lifeline = inWrite.Release();
    m_out = outRead.Release();
    // The child's ends close here, so a child that exits breaks the pipe.
    CloseIfOpen(outWrite.handle);
    CloseIfOpen(inRead.handle);

    // Anonymous pipes cannot wait with a time-out: look for the line in short steps.
    std::string line;
    bool complete = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!complete && line.size() <= kMaxAddressLine) {
        DWORD available = 0;
        if (!PeekNamedPipe(m_out, nullptr, 0, nullptr, &available, nullptr)) {
            break;  // the child has closed its output, or is gone
        }
        if (available == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                break;
            }
            std::this_thread::sleep_for(kPollInterval);
            continue;
        }
        char buffer[64];
        DWORD n = 0;
        if (!ReadFile(m_out, buffer, available < sizeof buffer ? available : sizeof buffer, &n,
                      nullptr) ||
            n == 0) {
            break;
        }
        for (DWORD i = 0; i < n && !complete; ++i) {
            if (buffer[i] == '\n') {
                complete = true;
            } else if (buffer[i] != '\r') {
                line.push_back(buffer[i]);
            }
        }
    }
    if (!complete || !LooksLikeServiceAddress(line)) {
        Stop();
        return Status::NoAddress;
    }
    m_strAddress = line;
    return Status::Ok;
}

void EmbeddedGallery::Stop() {
    // Its input closing asks the service to end; the job ends it if it does not.
    CloseIfOpen(m_lifeline);
    if (m_process != nullptr) {
        if (WaitForSingleObject(m_process, kStopGraceMs) != WAIT_OBJECT_0) {
            TerminateJobObject(m_job, 1);
            WaitForSingleObject(m_process, INFINITE);
        }
    }
    CloseIfOpen(m_process);
    CloseIfOpen(m_out);
    CloseIfOpen(m_job);
    m_strAddress.clear();
}

}  // namespace norvo
