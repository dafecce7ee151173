// C entry points of httpc.so: the memory handover around HttpcModule.
#include <curl/curl.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "modules/httpc/HttpcModule.h"

// The rest of the module is built hidden; these four are its whole interface.
#pragma GCC visibility push(default)
#include "modules/httpc/httpc.h"
#pragma GCC visibility pop

namespace {

norvo::HttpcModule g_module;
bool g_curlReady = false;

// Used when even composing an answer failed; the host reads it as result 4.
constexpr char kInternalError[] =
    "SAORI/1.0 500 Internal Server Error\r\nResult: 0\r\nReason: internal error\r\n\r\n";

}  // namespace

extern "C" {

int load(char* block, long len) {
    int result = 1;
    try {
        std::string directory;
        if (block != nullptr && len > 0) {
            directory.assign(block, static_cast<std::size_t>(len));
        }
        std::free(block);
        block = nullptr;
        if (!g_curlReady) {
            if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
                return 1;
            }
            g_curlReady = true;
        }
        result = g_module.Load(std::move(directory));
    } catch (...) {
        std::free(block);
    }
    return result;
}

char* request(char* block, long* len) {
    if (len == nullptr) {
        std::free(block);  // no way to hand back a length, so no answer either
        return nullptr;
    }
    std::string answer;
    try {
        const std::string_view text = (block != nullptr && *len > 0)
                                          ? std::string_view(block, static_cast<std::size_t>(*len))
                                          : std::string_view();
        answer = g_module.Handle(text).Compose();
    } catch (...) {
        answer.clear();
    }
    std::free(block);
    const char* source = answer.empty() ? kInternalError : answer.data();
    const std::size_t size = answer.empty() ? sizeof kInternalError - 1 : answer.size();
    char* out = static_cast<char*>(std::malloc(size));
    if (out == nullptr) {
        *len = 0;
        return nullptr;
    }
    std::memcpy(out, source, size);
    *len = static_cast<long>(size);
    return out;
}

void cancel(void) {
    g_module.Cancel();
}

int unload(void) {
    g_module.Unload();
    if (g_curlReady) {
        curl_global_cleanup();
        g_curlReady = false;
    }
    return 0;
}

}  // extern "C"
