#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>

#include "saori/HeaderTable.h"
#include "saori/Platform.h"

namespace norvo {

// The fixed head of every request text.
inline constexpr char kSaoriRequestHead[] =
    "EXECUTE SAORI/1.0\r\nSender: norvo\r\nSecurityLevel: Local\r\n";

// Answers longer than this are refused (result 2) before anything is copied: real answers carry
// a few addresses, bodies go to files, and a module claiming more is broken.
inline constexpr long kMaxSaoriAnswerBytes = 256L * 1024 * 1024;

// Composes the request text for `count` arguments (below 0 as 0, above 3 as 3); null
// arguments count as empty.
std::string ComposeSaoriRequest(int count, const char* arg0, const char* arg1, const char* arg2);

// Reads an answer of `len` bytes (stopping at a zero byte) into `table`, which is emptied first.
// 0 accepted (status 200 or 204), 3 no lines or a status line of fewer than three fields,
// 4 any other status.
int ParseSaoriAnswer(const char* data, size_t len, HeaderTable& table);

// Host of one SAORI/1.0 module: loads it, tells it its directory, sends requests, unloads it.
// Entry points are looked up at every call. One thread at a time, except CancelRequests.
class SaoriHost {
public:
    // `modulePath`: the module file; `moduleDirectory`: the text handed to "load" (ends in '/').
    SaoriHost(std::string modulePath, std::string moduleDirectory);
    // Unloads a module still loaded (a run left early, e.g. by an exception).
    ~SaoriHost();
    SaoriHost(const SaoriHost&) = delete;
    SaoriHost& operator=(const SaoriHost&) = delete;

    // 0 the module is loaded and "load" was called with the directory text; 1 failure (no module,
    // no "load", no block for the text), leaving nothing loaded. A module still loaded from an
    // earlier call is unloaded first.
    int LoadSaori();
    // Sends one request and fills `table`. 0 accepted (or no module loaded: table untouched),
    // 1 no "request" export or no block for the text, 2 no room for the answer, 3 empty/null
    // answer or short status line, 4 status neither 200 nor 204. After 1-4 the table is empty.
    int SaoriRequest(int count, const char* arg0, const char* arg1, const char* arg2,
                     HeaderTable& table);
    // Calls "unload" and releases the module; without "unload" the module stays loaded.
    void UnloadSaori();

    // From any thread, for a run that is being stopped: the request in flight ends at once when
    // the module exports "cancel" (without it, it runs to its end), and every later
    // SaoriRequest answers 1 without reaching the module. Final for this host.
    void CancelRequests();
    bool IsCancelled() const { return m_bCancelled.load(); }

    // True between a successful LoadSaori and the UnloadSaori that released the module.
    bool IsLoaded() const { return m_hSaori != nullptr; }
    const std::string& ModulePath() const { return m_strModulePath; }
    const std::string& ModuleDirectory() const { return m_strModuleDirectory; }
    // Why the last LoadSaori failed, in words; "" after a success.
    const std::string& LastLoadError() const { return m_strLoadError; }

private:
    std::string m_strModulePath;
    std::string m_strModuleDirectory;
    std::string m_strLoadError;
    platform::ModuleHandle m_hSaori = nullptr;
    // Guards changes of m_hSaori against a CancelRequests on another thread.
    std::mutex m_moduleMutex;
    std::atomic<bool> m_bCancelled{false};
};

}  // namespace norvo
