#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace norvo {

// Entries kept on disk across service runs: web answers, fetched pictures, face boxes. Each
// entry is one file named by the hash of its key, holding the key, the time it was written
// and a checksum of its value, so a damaged, truncated or foreign file is recognised, removed
// and treated as missing, never served. Files are written under a temporary name and renamed
// into place. When the folder holds more than its byte cap, the entries used least recently
// go first. Thread-safe; several processes may share one folder.
class DiskCache {
public:
    // Room for a few hundred pictures with their answers; small beside a desktop's disk.
    static constexpr std::uint64_t kDefaultMaxBytes = 256ull * 1024 * 1024;

    // $XDG_CACHE_HOME/norvo, else ~/.cache/norvo; empty when neither folder is known.
    static std::filesystem::path DefaultFolder();
    // Lower-case hex SHA-256 of `bytes`: entry names and the content keys of pictures.
    static std::string Hash(std::string_view bytes);

    // An empty folder makes a cache that finds nothing and stores nothing.
    explicit DiskCache(std::filesystem::path folder, std::uint64_t maxBytes = kDefaultMaxBytes);

    // False when the folder is empty or could not be made; every call then misses.
    bool Usable() const { return m_usable; }
    const std::filesystem::path& Folder() const { return m_folder; }

    // The value stored under (kind, key); nullopt when missing, damaged, or older than
    // `maxAge` (when that is positive).
    std::optional<std::string> Get(std::string_view kind, std::string_view key,
                                   std::chrono::seconds maxAge = std::chrono::seconds(0));
    // Stores or replaces the value; false when it could not be written (or alone exceeds the
    // cap). `kind` names a sub-folder and must be a plain name.
    bool Put(std::string_view kind, std::string_view key, std::string_view value);

    // Bytes the entries take on disk, as last counted.
    std::uint64_t StoredBytes();

private:
    std::filesystem::path EntryPath(std::string_view kind, std::string_view key) const;
    void CountIfNeeded();
    void Evict();

    std::filesystem::path m_folder;
    std::uint64_t m_maxBytes;
    bool m_usable = false;
    std::mutex m_mutex;
    bool m_counted = false;
    std::uint64_t m_storedBytes = 0;
};

}  // namespace norvo
