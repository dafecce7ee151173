// Request targets as a hostile client sends them: query parsing, decoding, picture paths.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "services/gallery/wire/PicturePaths.h"
#include "services/gallery/wire/ServiceText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view target(reinterpret_cast<const char*>(data), size);
    if (auto q = norvo::ServiceText::QueryValue(target, "q")) {
        if (auto name = norvo::ServiceText::PercentDecode(*q, true)) {
            norvo::ServiceText::SearchJson(
                {{norvo::ServiceText::EncodePathSegment(*name), 1, 1, *name}});
        }
    }
    norvo::ServiceText::TrailingUrl(target);
    // A folder that exists everywhere; nothing outside it may ever resolve.
    std::filesystem::path file;
    if (norvo::ResolvePicturePath("/usr/share", target, file) == norvo::PathStatus::Ok &&
        file.string().rfind("/usr/share/", 0) != 0) {
        __builtin_trap();
    }
    return 0;
}
