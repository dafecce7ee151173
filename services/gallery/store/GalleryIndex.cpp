#include "services/gallery/store/GalleryIndex.h"

#include <algorithm>
#include <system_error>
#include <tuple>

#include "base/Utf8Path.h"
#include "services/gallery/store/PictureStore.h"
#include "services/gallery/store/StorePlatform.h"

namespace norvo {

namespace fs = std::filesystem;

GalleryIndex::GalleryIndex(fs::path root) : m_root(std::move(root)) {}

std::string GalleryIndex::NormalizeName(std::string_view name) {
    return store_platform::NameKey(name);
}

bool GalleryIndex::IsPictureFile(const fs::path& file) {
    return PictureStore::ContentType(file) != nullptr;
}

std::vector<GalleryPicture> GalleryIndex::PicturesOf(std::string_view name) const {
    std::vector<GalleryPicture> pictures;
    const std::string key = NormalizeName(name);
    if (key.empty())
        return pictures;

    std::error_code ec;
    fs::directory_iterator people(m_root, ec);
    std::size_t seen = 0;
    // Several folders may spell the same person differently: their pictures are pooled.
    std::vector<fs::path> matches;
    for (; !ec && people != fs::directory_iterator() && seen < kMaxPeople;
         people.increment(ec), ++seen) {
        std::error_code typeEc;
        if (!people->is_directory(typeEc))
            continue;
        const std::string folder = Utf8Of(people->path().filename());
        if (NormalizeName(folder) == key)
            matches.push_back(people->path());
    }
    for (const fs::path& folder : matches) {
        const std::string person = Utf8Of(folder.filename());
        fs::directory_iterator files(folder, ec);
        for (; !ec && files != fs::directory_iterator(); files.increment(ec)) {
            std::error_code typeEc;
            if (!files->is_regular_file(typeEc) || !IsPictureFile(files->path()))
                continue;
            pictures.push_back({person, Utf8Of(files->path().filename()), files->path()});
        }
    }
    std::sort(pictures.begin(), pictures.end(),
              [](const GalleryPicture& a, const GalleryPicture& b) {
                  return std::tie(a.person, a.file) < std::tie(b.person, b.file);
              });
    if (pictures.size() > kMaxPicturesPerPerson)
        pictures.resize(kMaxPicturesPerPerson);
    return pictures;
}

}  // namespace norvo
