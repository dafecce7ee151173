#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "FaceDetector.h"

namespace norvo {

enum class DecodeStatus {
    Ok,           // the picture was decoded
    Unreadable,   // the file could not be opened or read
    NotAPicture,  // the bytes are no picture in a known format, or it is damaged
    TooLarge,     // the picture declares more pixels than the service will decode
};

const char* describe(DecodeStatus status);

// Turns picture files and fetched bodies into grey pictures, with the EXIF orientation
// applied so that face boxes agree with what the program sees when it loads the same file.
class PictureDecoder {
public:
    // Largest picture decoded: 50 megapixels covers every camera photo in common use,
    // and keeps one decode below ~200 MB even when the codec makes 32-bit pixels.
    static constexpr long long kMaxPixels = 50LL * 1000 * 1000;

    static DecodeStatus DecodeFile(const std::filesystem::path& path, GreyPicture& out);
    static DecodeStatus DecodeBytes(std::string_view bytes, GreyPicture& out);
};

}  // namespace norvo
