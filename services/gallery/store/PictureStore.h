#pragma once

#include <filesystem>
#include <string_view>

#include "services/gallery/wire/PicturePaths.h"

namespace norvo {

// Maps the path part of /pictures/<path> addresses to files inside the gallery folder.
class PictureStore {
public:
    explicit PictureStore(std::filesystem::path root);

    // The encoded path after "/pictures/" (no query) to a regular picture file whose real
    // path lies inside the gallery's real path.
    PathStatus Resolve(std::string_view encodedPath, std::filesystem::path& file) const {
        return ResolvePicturePath(m_root, encodedPath, file);
    }

    // Content type for a picture file name, by extension.
    static const char* ContentType(const std::filesystem::path& file) {
        return PictureContentType(file);
    }

private:
    std::filesystem::path m_root;
};

}  // namespace norvo
