#include "services/gallery/store/FaceStore.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <system_error>

#include "services/gallery/store/DiskCache.h"
#include "services/gallery/store/StorePlatform.h"

namespace norvo {

namespace fs = std::filesystem;

namespace {

// The detector's settings are part of what an entry means: a new kind starts afresh.
constexpr const char* kFacesKind = "faces1";
// More faces than this in one photo is no photo the program can use.
constexpr std::size_t kMaxFacesKept = 256;

// Boxes found on the detection copy, in the picture's own pixels.
std::vector<FaceRect> ToFullSize(const std::vector<FaceRect>& boxes, const DetectionPicture& p) {
    if (p.fullWidth == p.grey.width && p.fullHeight == p.grey.height)
        return boxes;
    const double sx = static_cast<double>(p.fullWidth) / p.grey.width;
    const double sy = static_cast<double>(p.fullHeight) / p.grey.height;
    std::vector<FaceRect> out;
    for (const FaceRect& b : boxes) {
        const long left = std::clamp(std::lround(b.x * sx), 0L, static_cast<long>(p.fullWidth));
        const long top = std::clamp(std::lround(b.y * sy), 0L, static_cast<long>(p.fullHeight));
        const long right =
            std::clamp(std::lround((b.x + b.width) * sx), 0L, static_cast<long>(p.fullWidth));
        const long bottom =
            std::clamp(std::lround((b.y + b.height) * sy), 0L, static_cast<long>(p.fullHeight));
        if (right > left && bottom > top) {
            out.push_back({static_cast<int>(left), static_cast<int>(top),
                           static_cast<int>(right - left), static_cast<int>(bottom - top)});
        }
    }
    return out;
}

}  // namespace

FaceStore::FaceStore(const FaceDetector& detector, DiskCache& cache)
    : m_detector(detector), m_cache(cache) {}

std::string FaceStore::Serialize(const PictureFaces& faces) {
    std::string text = std::to_string(faces.width) + " " + std::to_string(faces.height) + " " +
                       std::to_string(faces.faces.size());
    for (const FaceRect& f : faces.faces) {
        text += " " + std::to_string(f.x) + " " + std::to_string(f.y) + " " +
                std::to_string(f.width) + " " + std::to_string(f.height);
    }
    return text;
}

std::optional<PictureFaces> FaceStore::Deserialize(std::string_view text) {
    std::istringstream in{std::string(text)};
    PictureFaces faces;
    std::size_t count = 0;
    if (!(in >> faces.width >> faces.height >> count) || faces.width <= 0 || faces.height <= 0 ||
        count > kMaxFacesKept) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < count; ++i) {
        FaceRect f;
        if (!(in >> f.x >> f.y >> f.width >> f.height) || f.x < 0 || f.y < 0 || f.width <= 0 ||
            f.height <= 0 || f.x > faces.width - f.width || f.y > faces.height - f.height) {
            return std::nullopt;
        }
        faces.faces.push_back(f);
    }
    std::string rest;
    if (in >> rest)
        return std::nullopt;
    return faces;
}

std::optional<PictureFaces> FaceStore::Known(const std::string& hash) {
    {
        std::lock_guard lock(m_mutex);
        if (const auto it = m_faces.find(hash); it != m_faces.end())
            return it->second;
    }
    const std::optional<std::string> stored = m_cache.Get(kFacesKind, hash);
    if (!stored)
        return std::nullopt;
    std::optional<PictureFaces> faces = Deserialize(*stored);
    if (faces) {
        std::lock_guard lock(m_mutex);
        if (m_faces.size() >= kMaxRemembered)
            m_faces.clear();
        m_faces[hash] = *faces;
    }
    return faces;
}

void FaceStore::Remember(const std::string& hash, const PictureFaces& faces) {
    {
        std::lock_guard lock(m_mutex);
        if (m_faces.size() >= kMaxRemembered)
            m_faces.clear();
        m_faces[hash] = faces;
    }
    m_cache.Put(kFacesKind, hash, Serialize(faces));
}

DecodeStatus FaceStore::Faces(std::string_view bytes, PictureFaces& out, std::string* hashOut) {
    const std::string hash = DiskCache::Hash(bytes);
    if (hashOut)
        *hashOut = hash;
    if (std::optional<PictureFaces> known = Known(hash)) {
        out = std::move(*known);
        return DecodeStatus::Ok;
    }
    {
        std::lock_guard lock(m_mutex);
        if (const auto it = m_undecodable.find(hash); it != m_undecodable.end())
            return it->second;
    }
    DetectionPicture picture;
    const DecodeStatus status = PictureDecoder::Decode(bytes, picture);
    if (status != DecodeStatus::Ok) {
        std::lock_guard lock(m_mutex);
        if (m_undecodable.size() >= kMaxRemembered)
            m_undecodable.clear();
        m_undecodable[hash] = status;
        return status;
    }
    out.width = picture.fullWidth;
    out.height = picture.fullHeight;
    out.faces = ToFullSize(m_detector.Detect(picture.grey), picture);
    if (out.faces.size() > kMaxFacesKept)
        out.faces.resize(kMaxFacesKept);
    std::stable_sort(out.faces.begin(), out.faces.end(), [](const FaceRect& a, const FaceRect& b) {
        return static_cast<long long>(a.width) * a.height >
               static_cast<long long>(b.width) * b.height;
    });
    Remember(hash, out);
    return DecodeStatus::Ok;
}

std::optional<FaceStore::FileKey> FaceStore::KeyOf(const fs::path& file) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec)
        return std::nullopt;
    const auto mtime = store_platform::LastWriteTime(file, ec);
    if (ec)
        return std::nullopt;
    return FileKey{file.string(), size,
                   static_cast<std::int64_t>(mtime.time_since_epoch().count())};
}

std::optional<std::string> FaceStore::HashOfFile(const fs::path& file) {
    const std::optional<FileKey> key = KeyOf(file);
    if (key) {
        std::lock_guard lock(m_mutex);
        if (const auto it = m_fileHashes.find(*key); it != m_fileHashes.end())
            return it->second;
    }
    std::string read;
    if (PictureDecoder::ReadFile(file, read) != DecodeStatus::Ok)
        return std::nullopt;
    const std::string hash = DiskCache::Hash(read);
    if (key) {
        std::lock_guard lock(m_mutex);
        if (m_fileHashes.size() >= kMaxRemembered)
            m_fileHashes.clear();
        (*m_fileHashes.try_emplace(*key).first).second = hash;
    }
    return hash;
}

std::optional<PictureFaces> FaceStore::KnownFacesOfFile(const fs::path& file) {
    const std::optional<std::string> hash = HashOfFile(file);
    return hash ? Known(*hash) : std::nullopt;
}

DecodeStatus FaceStore::FacesOfFile(const fs::path& file, PictureFaces& out) {
    if (std::optional<PictureFaces> known = KnownFacesOfFile(file)) {
        out = std::move(*known);
        return DecodeStatus::Ok;
    }
    std::string bytes;
    const DecodeStatus read = PictureDecoder::ReadFile(file, bytes);
    if (read != DecodeStatus::Ok)
        return read;
    return Faces(bytes, out);
}

}  // namespace norvo
