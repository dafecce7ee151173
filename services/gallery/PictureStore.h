#pragma once

#include <filesystem>
#include <string_view>

namespace norvo {

enum class PathStatus {
    Ok,
    BadEncoding,  // a % not followed by two hex digits, or a NUL byte
    Outside,      // the path leads out of the gallery (.., absolute, symlink out)
    NotFound,     // no such picture file
};

const char* describe(PathStatus status);

// Maps the path part of /pictures/<path> addresses to files inside the gallery folder.
class PictureStore {
public:
    explicit PictureStore(std::filesystem::path root);

    // The encoded path after "/pictures/" (no query) to a regular picture file whose real
    // path lies inside the gallery's real path.
    PathStatus Resolve(std::string_view encodedPath, std::filesystem::path& file) const;

    // Content type for a picture file name, by extension.
    static const char* ContentType(const std::filesystem::path& file);

private:
    std::filesystem::path m_root;
};

}  // namespace norvo
