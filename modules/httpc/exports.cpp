// C entry points of httpc.so and httpc.dll: the memory handover around HttpcModule.
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

// The one allocator shared with the host: malloc/free, or fixed global memory on Windows.
#ifdef _WIN32
char* AllocBlock(std::size_t size) {
    return static_cast<char*>(GlobalAlloc(GMEM_FIXED, size ? size : 1));
}
void FreeBlock(void* block) {
    if (block != nullptr) {
        GlobalFree(block);
    }
}
#else
char* AllocBlock(std::size_t size) {
    return static_cast<char*>(std::malloc(size));
}
void FreeBlock(void* block) {
    std::free(block);
}
#endif

int Load(char* block, long len) {
    int result = 1;
    try {
        std::string directory;
        if (block != nullptr && len > 0) {
            directory.assign(block, static_cast<std::size_t>(len));
        }
        FreeBlock(block);
        block = nullptr;
        if (!g_curlReady) {
            if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
                return 1;
            }
            g_curlReady = true;
        }
        result = g_module.Load(std::move(directory));
    } catch (...) {
        FreeBlock(block);
    }
    return result;
}

char* Request(char* block, long* len) {
    if (len == nullptr) {
        FreeBlock(block);  // no way to hand back a length, so no answer either
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
    FreeBlock(block);
    const char* source = answer.empty() ? kInternalError : answer.data();
    const std::size_t size = answer.empty() ? sizeof kInternalError - 1 : answer.size();
    char* out = AllocBlock(size);
    if (out == nullptr) {
        *len = 0;
        return nullptr;
    }
    std::memcpy(out, source, size);
    *len = static_cast<long>(size);
    return out;
}

int Unload() {
    g_module.Unload();
    if (g_curlReady) {
        curl_global_cleanup();
        g_curlReady = false;
    }
    return 0;
}

}  // namespace

extern "C" {

#ifdef _WIN32

BOOL __cdecl load(HGLOBAL block, long len) {
    return Load(static_cast<char*>(block), len) == 0 ? TRUE : FALSE;
}

HGLOBAL __cdecl request(HGLOBAL block, long* len) {
    return Request(static_cast<char*>(block), len);
}

BOOL __cdecl unload(void) {
    Unload();
    return TRUE;
}

void __cdecl cancel(void) {
    g_module.Cancel();
}

#else

int load(char* block, long len) {
    return Load(block, len);
}

char* request(char* block, long* len) {
    return Request(block, len);
}

void cancel(void) {
    g_module.Cancel();
}

int unload(void) {
    return Unload();
}

#endif

}  // extern "C"
