#include "DetectionCache.h"

#include <system_error>

namespace norvo {

namespace fs = std::filesystem;

std::optional<DetectionCache::Key> DetectionCache::KeyOf(const fs::path& file) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec)
        return std::nullopt;
    const auto mtime = fs::last_write_time(file, ec);
    if (ec)
        return std::nullopt;
    return Key{file.string(), size, static_cast<std::int64_t>(mtime.time_since_epoch().count())};
}

std::optional<PictureFaces> DetectionCache::Find(const fs::path& file) const {
    const std::optional<Key> key = KeyOf(file);
    if (!key)
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(*key);
    if (it == m_entries.end())
        return std::nullopt;
    return it->second;
}

void DetectionCache::Store(const fs::path& file, const PictureFaces& faces) {
    const std::optional<Key> key = KeyOf(file);
    if (!key)
        return;
    std::lock_guard lock(m_mutex);
    if (m_entries.size() >= kMaxEntries)
        m_entries.clear();
    m_entries[*key] = faces;
}

std::size_t DetectionCache::Size() const {
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

}  // namespace norvo
