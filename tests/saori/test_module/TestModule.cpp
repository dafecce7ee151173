// Scriptable SAORI module for tests: answers what the test queued, records every call it gets.
// Built five times: complete, and once each without "load", "request", "unload" or "cancel"
// (TM_WITHOUT_LOAD, TM_WITHOUT_REQUEST, TM_WITHOUT_UNLOAD, TM_WITHOUT_CANCEL).
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "TestModuleExports.h"

#ifdef _WIN32
#define TM_EXPORT extern "C" __declspec(dllexport)
#else
#define TM_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

// The allocator shared with the host: malloc/free, fixed global memory on Windows.
#ifdef _WIN32
char* AllocBlock(size_t size) {
    return static_cast<char*>(GlobalAlloc(GMEM_FIXED, size));
}
void FreeBlock(void* block) {
    if (block) {
        GlobalFree(block);
    }
}
#else
char* AllocBlock(size_t size) {
    return static_cast<char*>(std::malloc(size));
}
void FreeBlock(void* block) {
    std::free(block);
}
#endif

struct Answer {
    std::string bytes;
    bool isNull = false;
    long reportedLen = TM_REAL_LENGTH;
};

struct Event {
    int kind;
    std::string data;
};

const char kDefaultAnswer[] = "SAORI/1.0 200 OK\r\n\r\n";
// What a cancelled request answers, as the real module does.
const char kCancelledAnswer[] =
    "SAORI/1.0 500 Internal Server Error\r\nResult: 0\r\nReason: cancelled\r\n\r\n";

// For tests that run the module in another process (saori-request): the default answer may come
// from NORVO_TEST_MODULE_ANSWER, and NORVO_TEST_MODULE_TOUCH names a file that each request
// writes its bytes to in the module directory.
Answer InitialAnswer() {
    const char* env = std::getenv("NORVO_TEST_MODULE_ANSWER");
    return Answer{env ? env : kDefaultAnswer};
}

[[maybe_unused]] void Touch(const std::string& dir, const std::string& text) {
    const char* name = std::getenv("NORVO_TEST_MODULE_TOUCH");
    if (!name) {
        return;
    }
    if (FILE* f = std::fopen((dir + name).c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
}

struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Answer> queue;
    Answer fallback = InitialAnswer();
    tm_answer_fn fn = nullptr;
    void* user = nullptr;
    int loadResult = 1;
    std::string dir;
    std::vector<Event> events;
    bool blocking = false;
    int permits = 0;
    int blocked = 0;
    bool cancelled = false;  // set by "cancel", cleared by "load"
};

State& S() {
    static State state;
    return state;
}

Answer MakeAnswer(const char* data, long len, int isNull, long reportedLen) {
    Answer a;
    a.isNull = isNull != 0;
    if (data && len > 0) {
        a.bytes.assign(data, static_cast<size_t>(len));
    }
    a.reportedLen = reportedLen;
    return a;
}

[[maybe_unused]] char* Deliver(const Answer& a, long* len) {
    if (a.isNull) {
        *len = 0;
        return nullptr;
    }
    // The host frees the answer with free() (GlobalFree); one spare byte keeps a block of
    // length 0 away.
    char* block = AllocBlock(a.bytes.size() + 1);
    if (!block) {
        *len = 0;
        return nullptr;
    }
    std::memcpy(block, a.bytes.data(), a.bytes.size());
    *len = a.reportedLen != TM_REAL_LENGTH ? a.reportedLen : static_cast<long>(a.bytes.size());
    return block;
}

}  // namespace

#ifndef TM_WITHOUT_LOAD
TM_EXPORT int load(char* block, long len) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    s.dir.assign(block, static_cast<size_t>(len));
    s.events.push_back({TM_EVENT_LOAD, s.dir});
    s.cancelled = false;
    FreeBlock(block);  // handed-over blocks belong to the module
    return s.loadResult;
}
#endif

#ifndef TM_WITHOUT_REQUEST
TM_EXPORT char* request(char* block, long* len) {
    State& s = S();
    std::unique_lock lock(s.mutex);
    std::string text(block, static_cast<size_t>(*len));
    FreeBlock(block);
    s.events.push_back({TM_EVENT_REQUEST, text});
    Touch(s.dir, text);
    if (s.blocking) {
        ++s.blocked;
        s.changed.notify_all();
        s.changed.wait(lock, [&] { return !s.blocking || s.permits > 0 || s.cancelled; });
        if (s.blocking && !s.cancelled) {
            --s.permits;
        }
        --s.blocked;
    }
    if (s.cancelled) {
        return Deliver(Answer{kCancelledAnswer}, len);
    }
    if (!s.queue.empty()) {
        Answer a = std::move(s.queue.front());
        s.queue.pop_front();
        return Deliver(a, len);
    }
    if (s.fn) {
        const tm_answer_fn fn = s.fn;
        void* user = s.user;
        const std::string dir = s.dir;
        lock.unlock();  // the callback may call back into the controls
        return fn(user, text.data(), static_cast<long>(text.size()), dir.data(),
                  static_cast<long>(dir.size()), len);
    }
    return Deliver(s.fallback, len);
}
#endif

#ifndef TM_WITHOUT_UNLOAD
TM_EXPORT int unload(void) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    s.events.push_back({TM_EVENT_UNLOAD, {}});
    return 1;
}
#endif

#ifndef TM_WITHOUT_CANCEL
// Ends a waiting request (and every later one, until the next "load") with a failure answer.
TM_EXPORT void cancel(void) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    s.events.push_back({TM_EVENT_CANCEL, {}});
    s.cancelled = true;
    s.changed.notify_all();
}
#endif

TM_EXPORT void tm_reset(void) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    s.queue.clear();
    s.fallback = InitialAnswer();
    s.fn = nullptr;
    s.user = nullptr;
    s.loadResult = 1;
    s.dir.clear();
    s.events.clear();
    s.blocking = false;
    s.permits = 0;
    s.cancelled = false;
    s.changed.notify_all();
}

TM_EXPORT void tm_push_answer(const char* data, long len, int isNull, long reportedLen) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    s.queue.push_back(MakeAnswer(data, len, isNull, reportedLen));
}

TM_EXPORT void tm_set_default_answer(const char* data, long len, int isNull, long reportedLen) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    s.fallback = MakeAnswer(data, len, isNull, reportedLen);
}

TM_EXPORT void tm_set_answer_fn(tm_answer_fn fn, void* user) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    s.fn = fn;
    s.user = user;
}

TM_EXPORT void tm_set_load_result(int result) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    s.loadResult = result;
}

TM_EXPORT void tm_set_blocking(int on) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    s.blocking = on != 0;
    if (!s.blocking) {
        s.permits = 0;
    }
    s.changed.notify_all();
}

TM_EXPORT void tm_release_one(void) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    ++s.permits;
    s.changed.notify_all();
}

TM_EXPORT int tm_blocked_count(void) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    return s.blocked;
}

TM_EXPORT int tm_wait_blocked(int count, long timeoutMs) {
    State& s = S();
    std::unique_lock lock(s.mutex);
    return s.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return s.blocked >= count; })
               ? 1
               : 0;
}

TM_EXPORT long tm_event_count(void) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    return static_cast<long>(s.events.size());
}

TM_EXPORT long tm_event_copy(long index, int* kind, char* buf, long cap) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    if (index < 0 || static_cast<size_t>(index) >= s.events.size()) {
        return -1;
    }
    const Event& e = s.events[static_cast<size_t>(index)];
    if (kind) {
        *kind = e.kind;
    }
    if (buf && cap > 0) {
        std::memcpy(buf, e.data.data(), std::min(e.data.size(), static_cast<size_t>(cap)));
    }
    return static_cast<long>(e.data.size());
}
