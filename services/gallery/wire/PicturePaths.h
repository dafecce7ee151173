#pragma once

#include <filesystem>
#include <string_view>

namespace norvo {

// Addresses of the picture folder's files start with this, after the service's address.
inline constexpr const char* kPicturesPrefix = "/pictures/";

enum class PathStatus {
    Ok,
    BadEncoding,  // a % not followed by two hex digits, or a NUL byte
    Outside,      // the path leads out of the gallery (.., absolute, symlink out)
    NotFound,     // no such picture file
};

const char* describe(PathStatus status);

// The encoded path after "/pictures/" (no query) to a regular picture file whose real path
// lies inside the real path of `root`.
PathStatus ResolvePicturePath(const std::filesystem::path& root, std::string_view encodedPath,
                              std::filesystem::path& file);

// Content type for a picture file name, by extension; nullptr for a file that is no picture.
const char* PictureContentType(const std::filesystem::path& file);

}  // namespace norvo
