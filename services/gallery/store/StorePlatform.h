#pragma once

// What the service's store needs from the system, one file per platform: the hash that names
// cache entries, the key two spellings of a name meet under, and the cache's file operations.
// Linux: Qt and POSIX (StorePlatformPosix.cpp); Windows: CNG, the NLS functions and the
// wide-character file API (StorePlatformWin.cpp). Nothing here throws.

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <system_error>

namespace norvo::store_platform {

// The 32 raw bytes of the SHA-256 of `bytes`.
std::string RawSha256(std::string_view bytes);

// UTF-8 in and out: NFKC, case folded, white space collapsed to single spaces and trimmed.
std::string NameKey(std::string_view name);

// The user's cache folder for the service; empty when it is not known.
// Linux: $XDG_CACHE_HOME/norvo, else ~/.cache/norvo (each only when absolute);
// Windows: %LOCALAPPDATA%\norvo\cache (the known folder, not the variable).
std::filesystem::path DefaultCacheFolder();

// Makes `folder` (and its parents) when missing, the user's alone where the system allows; true
// when it is a folder this process may write into.
bool MakeCacheFolder(const std::filesystem::path& folder);

// The whole regular file; false when it cannot be opened or read.
bool ReadWholeFile(const std::filesystem::path& file, std::string& out);

// Writes `parts` one after another into a temporary file (named `tempPrefix` and a random
// tail) beside `file`, then renames it over `file`, so a reader sees the old entry or the
// new one, never half of one. `replacedBytes` receives the size of the file replaced (0 for
// none). The temporary file is removed on failure.
bool WriteFileReplacing(const std::filesystem::path& file, std::string_view tempPrefix,
                        std::initializer_list<std::string_view> parts,
                        std::uint64_t& replacedBytes);

// Sets the file's modification time to now: eviction goes by it.
void MarkUsed(const std::filesystem::path& file);

// The file's modification time as finely as the system keeps it (MinGW's std::filesystem
// knows whole seconds only, too coarse to order entries written one after another).
std::filesystem::file_time_type LastWriteTime(const std::filesystem::path& file,
                                              std::error_code& ec);

}  // namespace norvo::store_platform
