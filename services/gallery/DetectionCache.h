#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "FaceDetector.h"

namespace norvo {

// What detection found in one picture file.
struct PictureFaces {
    int width = 0;
    int height = 0;
    std::vector<FaceRect> faces;  // largest first
};

// Detection results per gallery file, keyed by path, size and modification time, so a
// replaced picture is looked at again. Thread-safe.
class DetectionCache {
public:
    // Entries kept: a gallery far larger than the demo one still fits; past it the
    // cache starts over rather than growing without end.
    static constexpr std::size_t kMaxEntries = 4096;

    std::optional<PictureFaces> Find(const std::filesystem::path& file) const;
    void Store(const std::filesystem::path& file, const PictureFaces& faces);
    std::size_t Size() const;

private:
    using Key = std::tuple<std::string, std::uintmax_t, std::int64_t>;
    static std::optional<Key> KeyOf(const std::filesystem::path& file);

    mutable std::mutex m_mutex;
    std::map<Key, PictureFaces> m_entries;
};

}  // namespace norvo
