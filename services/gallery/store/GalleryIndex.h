#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace norvo {

// One picture of one person in the gallery folder.
struct GalleryPicture {
    std::string person;  // the folder name as it stands on disk (UTF-8)
    std::string file;    // the file name inside that folder
    std::filesystem::path path;
};

// The picture folder: one sub-folder per person. Reads the folder at each lookup, so
// pictures added while the service runs are found without a restart.
class GalleryIndex {
public:
    // Folders and pictures looked at per lookup: far more than any demo gallery holds,
    // and small enough that a lookup stays a few milliseconds on a huge folder.
    static constexpr std::size_t kMaxPeople = 10000;
    static constexpr std::size_t kMaxPicturesPerPerson = 64;

    explicit GalleryIndex(std::filesystem::path root);

    const std::filesystem::path& Root() const { return m_root; }

    // Key under which two spellings of one name meet: NFKC, case folded, white space
    // collapsed and trimmed. Input and output are UTF-8.
    static std::string NormalizeName(std::string_view name);

    // Pictures from every folder whose name matches, sorted by folder and file name;
    // empty when nobody matches.
    std::vector<GalleryPicture> PicturesOf(std::string_view name) const;

    // True for file names with a picture extension the service serves.
    static bool IsPictureFile(const std::filesystem::path& file);

private:
    std::filesystem::path m_root;
};

}  // namespace norvo
