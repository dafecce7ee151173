#pragma once

// File paths to and from the program's UTF-8 text. On POSIX a path is its bytes; on Windows it
// is UTF-16, and MinGW's std::filesystem reads a narrow string byte by byte (as Latin-1), so a
// name in any other script goes through these conversions. Neither throws.

#include <filesystem>
#include <string>
#include <string_view>

#ifdef _WIN32
#include "base/WideText.h"
#endif

namespace norvo {

inline std::filesystem::path PathFromUtf8(std::string_view text) {
#ifdef _WIN32
    return std::filesystem::path(win::ToWide(text));
#else
    return std::filesystem::path(text);
#endif
}

// Windows: a name that is no valid UTF-16 gets U+FFFD where it breaks.
inline std::string Utf8Of(const std::filesystem::path& path) {
#ifdef _WIN32
    return win::FromWide(path.native());
#else
    return path.string();
#endif
}

}  // namespace norvo
