#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace norvo {

// Characters of a web picture's id: half a SHA-256 in hex, so collisions between addresses are
// out of reach and paths stay short.
inline constexpr std::size_t kPictureIdChars = 32;

// The id of the web picture fetched from `address`: it names the picture in the service's
// addresses (/remote/<id>.<ext>) and in the disk cache.
std::string PictureId(std::string_view address);

}  // namespace norvo
