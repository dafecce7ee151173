#pragma once

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "services/gallery/detect/FaceDetector.h"
#include "services/gallery/detect/PictureDecoder.h"

namespace norvo {

class DiskCache;

// What detection found in one picture.
struct PictureFaces {
    int width = 0;  // the picture's own size, as the program will load it
    int height = 0;
    std::vector<FaceRect> faces;  // largest first, in the picture's own pixels

    long long LargestArea() const {
        return faces.empty() ? 0 : static_cast<long long>(faces[0].width) * faces[0].height;
    }
};

// Face boxes by the hash of a picture's bytes: remembered in memory and kept in the disk cache,
// so the same picture is detected once, whichever source or process meets it. Thread-safe.
class FaceStore {
public:
    // Entries remembered in memory; past that the memory starts over (the disk keeps them).
    static constexpr std::size_t kMaxRemembered = 4096;

    FaceStore(const FaceDetector& detector, DiskCache& cache);

    // Faces of the picture in `bytes`: known ones at once, else decoded and detected now and
    // then kept. `hash` receives the content hash when given.
    DecodeStatus Faces(std::string_view bytes, PictureFaces& out, std::string* hash = nullptr);
    // As Faces, for a file. The hash of a file is remembered by path, size and modification
    // time, so asking again for an unchanged, known file reads nothing.
    DecodeStatus FacesOfFile(const std::filesystem::path& file, PictureFaces& out);
    // Faces already known for the file, without decoding or detecting anything.
    std::optional<PictureFaces> KnownFacesOfFile(const std::filesystem::path& file);
    // Faces already known for the picture with this content hash.
    std::optional<PictureFaces> Known(const std::string& hash);

    // The disk form of an entry, and its reading (nullopt for anything malformed).
    static std::string Serialize(const PictureFaces& faces);
    static std::optional<PictureFaces> Deserialize(std::string_view text);

private:
    using FileKey = std::tuple<std::string, std::uintmax_t, std::int64_t>;
    static std::optional<FileKey> KeyOf(const std::filesystem::path& file);
    void Remember(const std::string& hash, const PictureFaces& faces);
    std::optional<std::string> HashOfFile(const std::filesystem::path& file);

    const FaceDetector& m_detector;
    DiskCache& m_cache;
    std::mutex m_mutex;
    std::map<std::string, PictureFaces> m_faces;        // by content hash
    std::map<std::string, DecodeStatus> m_undecodable;  // by content hash
    std::map<FileKey, std::string> m_fileHashes;
};

}  // namespace norvo
