#include "services/gallery/store/DiskCache.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "base/Utf8Path.h"
#include "services/gallery/store/StorePlatform.h"

namespace norvo {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMagic = "NORVO-CACHE 1\n";
constexpr std::size_t kChecksumBytes = 32;
constexpr std::size_t kHeaderBytes = kMagic.size() + 8 + 4 + 8 + kChecksumBytes;
constexpr std::string_view kTempPrefix = ".tmp-";
// A temporary file this old belongs to a writer that died; anything younger may be in use.
constexpr auto kStaleTemp = std::chrono::minutes(10);
// Eviction frees a little more than needed, so the next few writes do not scan again.
constexpr double kEvictTo = 0.9;

void PutNumber(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t GetNumber(std::string_view in, std::size_t at, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
    return value;
}

bool IsEntryName(const std::string& name) {
    return name.size() == 64 && name.find_first_not_of("0123456789abcdef") == std::string::npos;
}

bool IsTempName(const std::string& name) {
    return name.rfind(kTempPrefix, 0) == 0;
}

// Calls `visit(path, entry)` for every file of the cache: entries and temporary files in the
// kinds' folders. Nothing else in the folder (a user may name any folder) is ever touched.
template <typename Visit>
void ForEachCacheFile(const fs::path& folder, Visit visit) {
    std::error_code ec;
    for (fs::directory_iterator kinds(folder, ec), end; !ec && kinds != end; kinds.increment(ec)) {
        std::error_code typeEc;
        if (!kinds->is_directory(typeEc) || Utf8Of(kinds->path().filename()).rfind('.', 0) == 0)
            continue;
        std::error_code fileEc;
        for (fs::directory_iterator files(kinds->path(), fileEc); !fileEc && files != end;
             files.increment(fileEc)) {
            const std::string name = Utf8Of(files->path().filename());
            if ((IsEntryName(name) || IsTempName(name)) && files->is_regular_file(typeEc))
                visit(*files, IsEntryName(name));
        }
    }
}

}  // namespace

fs::path DiskCache::DefaultFolder() {
    return store_platform::DefaultCacheFolder();
}

std::string DiskCache::Hash(std::string_view bytes) {
    static const char kHex[] = "0123456789abcdef";
    const std::string raw = store_platform::RawSha256(bytes);
    std::string hex;
    hex.reserve(raw.size() * 2);
    for (const char c : raw) {
        hex += kHex[static_cast<unsigned char>(c) >> 4];
        hex += kHex[static_cast<unsigned char>(c) & 0x0F];
    }
    return hex;
}

DiskCache::DiskCache(fs::path folder, std::uint64_t maxBytes)
    : m_folder(std::move(folder)), m_maxBytes(maxBytes) {
    m_usable = !m_folder.empty() && store_platform::MakeCacheFolder(m_folder);
}

fs::path DiskCache::EntryPath(std::string_view kind, std::string_view key) const {
    return m_folder / std::string(kind) / Hash(key);
}

std::optional<std::string> DiskCache::Get(std::string_view kind, std::string_view key,
                                          std::chrono::seconds maxAge) {
    if (!m_usable)
        return std::nullopt;
    const fs::path file = EntryPath(kind, key);
    std::string bytes;
    if (!store_platform::ReadWholeFile(file, bytes)) {
        std::error_code ec;
        if (fs::exists(file, ec))
            fs::remove(file, ec);  // there but unreadable: of no use to anyone
        return std::nullopt;
    }
    auto damaged = [&] {
        std::error_code ec;
        fs::remove(file, ec);
        return std::nullopt;
    };
    if (bytes.size() < kHeaderBytes || bytes.compare(0, kMagic.size(), kMagic) != 0)
        return damaged();
    std::size_t at = kMagic.size();
    const auto created = static_cast<std::int64_t>(GetNumber(bytes, at, 8));
    const std::uint64_t keyBytes = GetNumber(bytes, at + 8, 4);
    const std::uint64_t valueBytes = GetNumber(bytes, at + 12, 8);
    const std::string_view checksum(bytes.data() + at + 20, kChecksumBytes);
    at = kHeaderBytes;
    if (keyBytes != key.size() || valueBytes != bytes.size() - at - keyBytes ||
        bytes.compare(at, keyBytes, key) != 0) {
        return damaged();
    }
    const std::string_view value(bytes.data() + at + keyBytes, valueBytes);
    if (store_platform::RawSha256(value) != checksum)
        return damaged();
    if (maxAge.count() > 0 && std::time(nullptr) - created > maxAge.count())
        return std::nullopt;
    // Used now: the last to be evicted.
    store_platform::MarkUsed(file);
    return std::string(value);
}

bool DiskCache::Put(std::string_view kind, std::string_view key, std::string_view value) {
    if (!m_usable || kHeaderBytes + key.size() + value.size() > m_maxBytes ||
        key.size() > 0xFFFFFFFFu || kind.empty() || kind.find('/') != std::string_view::npos ||
        kind.front() == '.') {
        return false;
    }
    const fs::path file = EntryPath(kind, key);
    if (!store_platform::MakeCacheFolder(file.parent_path()))
        return false;
    std::string header(kMagic);
    PutNumber(header, static_cast<std::uint64_t>(std::time(nullptr)), 8);
    PutNumber(header, key.size(), 4);
    PutNumber(header, value.size(), 8);
    header += store_platform::RawSha256(value);

    std::uint64_t replaced = 0;
    if (!store_platform::WriteFileReplacing(file, kTempPrefix, {header, key, value}, replaced))
        return false;
    std::lock_guard lock(m_mutex);
    if (m_counted) {
        m_storedBytes += header.size() + key.size() + value.size();
        m_storedBytes -= std::min(m_storedBytes, replaced);
    } else {
        CountIfNeeded();  // the new entry is counted with the rest
    }
    if (m_storedBytes > m_maxBytes)
        Evict();
    return true;
}

std::uint64_t DiskCache::StoredBytes() {
    std::lock_guard lock(m_mutex);
    CountIfNeeded();
    return m_storedBytes;
}

void DiskCache::CountIfNeeded() {
    if (m_counted)
        return;
    m_counted = true;
    m_storedBytes = 0;
    ForEachCacheFile(m_folder, [this](const fs::directory_entry& file, bool) {
        std::error_code ec;
        const std::uintmax_t bytes = file.file_size(ec);
        if (!ec)
            m_storedBytes += bytes;
    });
}

void DiskCache::Evict() {
    struct Entry {
        fs::path path;
        fs::file_time_type used;
        std::uintmax_t bytes;
    };
    std::vector<Entry> entries;
    std::uint64_t total = 0;
    const auto now = fs::file_time_type::clock::now();
    ForEachCacheFile(m_folder, [&](const fs::directory_entry& file, bool isEntry) {
        std::error_code ec;
        Entry e{file.path(), store_platform::LastWriteTime(file.path(), ec), file.file_size(ec)};
        if (ec)
            return;
        if (!isEntry) {
            if (now - e.used > kStaleTemp)
                fs::remove(e.path, ec);
            return;
        }
        total += e.bytes;
        entries.push_back(std::move(e));
    });
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.used < b.used; });
    const auto target = static_cast<std::uint64_t>(static_cast<double>(m_maxBytes) * kEvictTo);
    for (const Entry& e : entries) {
        if (total <= target)
            break;
        std::error_code removeEc;
        if (fs::remove(e.path, removeEc))
            total -= e.bytes;
    }
    m_storedBytes = total;
}

}  // namespace norvo
