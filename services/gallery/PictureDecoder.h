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
    TooLarge,     // over the picture library's size limits, or no memory for it
};

const char* describe(DecodeStatus status);

// Turns picture files and fetched bodies into grey pictures, with the EXIF orientation
// applied so that face boxes agree with what the program sees when it loads the same file.
class PictureDecoder {
public:
    // Size limits are the picture library's (kMaxPictureSide, kMaxPicturePixels).
    static DecodeStatus DecodeFile(const std::filesystem::path& path, GreyPicture& out);
    static DecodeStatus DecodeBytes(std::string_view bytes, GreyPicture& out);
};

}  // namespace norvo
