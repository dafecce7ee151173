#pragma once

// Test-side handle on the scriptable test SAORI module. Link the CMake target
// norvo_test_module_control (or call norvo_use_test_module(<target>)), which defines:
//   NORVO_TEST_MODULE_PATH            full module: load, request, unload, cancel + controls
//   NORVO_TEST_MODULE_NO_LOAD_PATH    the same without "load"
//   NORVO_TEST_MODULE_NO_REQUEST_PATH the same without "request"
//   NORVO_TEST_MODULE_NO_UNLOAD_PATH  the same without "unload"
//   NORVO_TEST_MODULE_NO_CANCEL_PATH  the same without "cancel"
//
//   norvo::testing::TestModule tm;              // opens NORVO_TEST_MODULE_PATH, resets it
//   tm.PushAnswer("SAORI/1.0 200 OK\r\nResult: 1\r\n\r\n");
//   tm.SetAnswerFn([](const std::string& request, const std::string& dir) {
//       return std::optional<std::string>("SAORI/1.0 200 OK\r\n\r\n"); });
//   ... host.LoadSaori(); host.SaoriRequest(...); host.UnloadSaori();
//   tm.Requests()  // exact request texts, in order
//
// Holding the control keeps the module mapped, so its records survive the host's unload.

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdlib>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestModuleExports.h"

namespace norvo::testing {

struct TestModuleEvent {
    int kind = 0;      // TM_EVENT_LOAD, TM_EVENT_REQUEST, TM_EVENT_UNLOAD or TM_EVENT_CANCEL
    std::string data;  // directory text for load, request bytes for request, else ""
};

// Answer of one request: bytes, or nullopt for a null block.
using TestAnswerFn =
    std::function<std::optional<std::string>(const std::string& request, const std::string& dir)>;

class TestModule {
public:
#ifdef NORVO_TEST_MODULE_PATH
    TestModule() : TestModule(NORVO_TEST_MODULE_PATH) {}
#endif
    // Opens the module at `path` (the same file the host loads) and resets it.
    explicit TestModule(const std::string& path) : m_path(path) {
#ifdef _WIN32
        m_handle = LoadLibraryA(path.c_str());
        if (!m_handle) {
            throw std::runtime_error("cannot open test module " + path + ": error " +
                                     std::to_string(GetLastError()));
        }
#else
        m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!m_handle) {
            const char* err = dlerror();
            throw std::runtime_error("cannot open test module " + path + ": " +
                                     (err ? err : "unknown"));
        }
#endif
        Bind(m_reset, "tm_reset");
        Bind(m_push, "tm_push_answer");
        Bind(m_default, "tm_set_default_answer");
        Bind(m_setFn, "tm_set_answer_fn");
        Bind(m_loadResult, "tm_set_load_result");
        Bind(m_blocking, "tm_set_blocking");
        Bind(m_releaseOne, "tm_release_one");
        Bind(m_blockedCount, "tm_blocked_count");
        Bind(m_waitBlocked, "tm_wait_blocked");
        Bind(m_eventCount, "tm_event_count");
        Bind(m_eventCopy, "tm_event_copy");
        Reset();
    }
    // Clears the callback (it points into this object), releases blocked requests, closes.
    ~TestModule() {
        m_setFn(nullptr, nullptr);
        m_blocking(0);
#ifdef _WIN32
        FreeLibrary(static_cast<HMODULE>(m_handle));
#else
        dlclose(m_handle);
#endif
    }
    TestModule(const TestModule&) = delete;
    TestModule& operator=(const TestModule&) = delete;

    const std::string& Path() const {
        return m_path;
    }

    void Reset() {
        m_reset();
        m_fn = nullptr;
    }
    // Queues one answer (raw bytes, zero bytes allowed); `reportedLen` lies about its length.
    void PushAnswer(const std::string& answer, long reportedLen = TM_REAL_LENGTH) {
        m_push(answer.data(), static_cast<long>(answer.size()), 0, reportedLen);
    }
    // Queues a null answer block.
    void PushNullAnswer() {
        m_push(nullptr, 0, 1, TM_REAL_LENGTH);
    }
    void SetDefaultAnswer(const std::string& answer, long reportedLen = TM_REAL_LENGTH) {
        m_default(answer.data(), static_cast<long>(answer.size()), 0, reportedLen);
    }
    void SetDefaultNullAnswer() {
        m_default(nullptr, 0, 1, TM_REAL_LENGTH);
    }
    // Answers requests (once the queue is empty) by calling `fn`; it runs on the requesting
    // thread. Null clears it.
    void SetAnswerFn(TestAnswerFn fn) {
        m_fn = std::move(fn);
        if (m_fn) {
            m_setFn(&TestModule::Trampoline, this);
        } else {
            m_setFn(nullptr, nullptr);
        }
    }
    void SetLoadResult(int result) {
        m_loadResult(result);
    }

    // Blocking requests, for tests that act while a run waits inside "request".
    void SetBlocking(bool on) {
        m_blocking(on ? 1 : 0);
    }
    void ReleaseOne() {
        m_releaseOne();
    }
    int BlockedCount() const {
        return m_blockedCount();
    }
    bool WaitBlocked(int count = 1, long timeoutMs = 120000) const {
        return m_waitBlocked(count, timeoutMs) != 0;
    }

    std::vector<TestModuleEvent> Events() const {
        std::vector<TestModuleEvent> events;
        const long n = m_eventCount();
        for (long i = 0; i < n; ++i) {
            TestModuleEvent e;
            const long len = m_eventCopy(i, &e.kind, nullptr, 0);
            if (len < 0) {
                break;
            }
            e.data.resize(static_cast<size_t>(len));
            m_eventCopy(i, &e.kind, e.data.data(), len);
            events.push_back(std::move(e));
        }
        return events;
    }
    std::vector<std::string> Of(int kind) const {
        std::vector<std::string> out;
        for (auto& e : Events()) {
            if (e.kind == kind) {
                out.push_back(std::move(e.data));
            }
        }
        return out;
    }
    std::vector<std::string> Requests() const {
        return Of(TM_EVENT_REQUEST);
    }
    std::vector<std::string> Loads() const {
        return Of(TM_EVENT_LOAD);
    }
    size_t UnloadCount() const {
        return Of(TM_EVENT_UNLOAD).size();
    }
    size_t CancelCount() const {
        return Of(TM_EVENT_CANCEL).size();
    }

private:
    template <typename F>
    void Bind(F& fn, const char* name) {
#ifdef _WIN32
        fn = reinterpret_cast<F>(
            reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(m_handle), name)));
#else
        fn = reinterpret_cast<F>(dlsym(m_handle, name));
#endif
        if (!fn) {
            throw std::runtime_error(std::string("test module lacks ") + name);
        }
    }

    static char* Trampoline(void* user, const char* request, long requestLen, const char* dir,
                            long dirLen, long* answerLen) {
        auto* self = static_cast<TestModule*>(user);
        std::optional<std::string> answer =
            self->m_fn(std::string(request, static_cast<size_t>(requestLen)),
                       std::string(dir, static_cast<size_t>(dirLen)));
        *answerLen = 0;
        if (!answer) {
            return nullptr;
        }
#ifdef _WIN32
        char* block = static_cast<char*>(GlobalAlloc(GMEM_FIXED, answer->size() + 1));
#else
        char* block = static_cast<char*>(malloc(answer->size() + 1));
#endif
        if (block) {
            answer->copy(block, answer->size());
            *answerLen = static_cast<long>(answer->size());
        }
        return block;
    }

    std::string m_path;
    void* m_handle = nullptr;
    TestAnswerFn m_fn;
    void (*m_reset)() = nullptr;
    void (*m_push)(const char*, long, int, long) = nullptr;
    void (*m_default)(const char*, long, int, long) = nullptr;
    void (*m_setFn)(tm_answer_fn, void*) = nullptr;
    void (*m_loadResult)(int) = nullptr;
    void (*m_blocking)(int) = nullptr;
    void (*m_releaseOne)() = nullptr;
    int (*m_blockedCount)() = nullptr;
    int (*m_waitBlocked)(int, long) = nullptr;
    long (*m_eventCount)() = nullptr;
    long (*m_eventCopy)(long, int*, char*, long) = nullptr;
};

}  // namespace norvo::testing
