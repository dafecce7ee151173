#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "services/gallery/detect/FaceDetector.h"

namespace norvo {

enum class DecodeStatus {
    Ok,           // the picture was decoded
    Unreadable,   // the file could not be opened or read
    NotAPicture,  // the bytes are no picture in a known format, or it is damaged
    TooLarge,     // over the picture library's size limits, or no memory for it
};

const char* describe(DecodeStatus status);

// A picture as the detector sees it: grey, no larger than the detector's work size, with the
// EXIF orientation applied so that face boxes agree with what the program sees when it loads
// the same file; and the picture's own size, to scale boxes back to.
struct DetectionPicture {
    GreyPicture grey;
    int fullWidth = 0;
    int fullHeight = 0;
};

// Turns picture bytes into detection pictures. At most kMaxConcurrentDecodes decodes run at
// once in the process, so a burst of requests cannot hold many large pictures in memory.
class PictureDecoder {
public:
    static constexpr int kMaxConcurrentDecodes = 2;

    // Size limits are the picture library's (kMaxPictureSide, kMaxPicturePixels) and Qt's
    // allocation limit for what must be decoded whole.
    static DecodeStatus Decode(std::string_view bytes, DetectionPicture& out);
    // Reads the whole file into `bytes` (Unreadable when that fails); pictures larger than
    // kMaxFileBytes are refused as TooLarge without being read.
    static DecodeStatus ReadFile(const std::filesystem::path& path, std::string& bytes);
    static DecodeStatus DecodeFile(const std::filesystem::path& path, DetectionPicture& out);

    // No photo a person folder holds is anywhere near this; the fetched ones are capped lower.
    static constexpr std::uintmax_t kMaxFileBytes = 64ull * 1024 * 1024;
};

}  // namespace norvo
