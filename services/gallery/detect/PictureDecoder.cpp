#include "services/gallery/detect/PictureDecoder.h"

#include <fstream>
#include <semaphore>
#include <system_error>

#include "imaging/Picture.h"

namespace norvo {

namespace {

std::counting_semaphore<PictureDecoder::kMaxConcurrentDecodes> g_decodeSlots{
    PictureDecoder::kMaxConcurrentDecodes};

struct DecodeSlot {
    DecodeSlot() { g_decodeSlots.acquire(); }
    ~DecodeSlot() { g_decodeSlots.release(); }
};

}  // namespace

const char* describe(DecodeStatus status) {
    switch (status) {
        case DecodeStatus::Ok:
            return "ok";
        case DecodeStatus::Unreadable:
            return "the picture could not be read";
        case DecodeStatus::NotAPicture:
            return "not a picture in a known format";
        case DecodeStatus::TooLarge:
            return "the picture has more pixels than the service decodes";
    }
    return "unknown decode status";
}

DecodeStatus PictureDecoder::Decode(std::string_view bytes, DetectionPicture& out) {
    PackedPixels packed;
    std::int32_t fullWidth = 0, fullHeight = 0;
    PictureStatus status;
    {
        const DecodeSlot slot;
        // The picture library decodes exactly as the program's compositing does (same reader,
        // same EXIF handling), only smaller.
        status = DecodeGreyForDetection(bytes.data(), bytes.size(),
                                        static_cast<std::int32_t>(FaceDetector::kWorkLongSide),
                                        packed, fullWidth, fullHeight);
    }
    switch (status) {
        case PictureStatus::Ok:
            break;
        case PictureStatus::CannotOpen:
            return DecodeStatus::Unreadable;
        case PictureStatus::NotAPicture:
            return DecodeStatus::NotAPicture;
        case PictureStatus::TooLarge:
        case PictureStatus::OutOfMemory:
            return DecodeStatus::TooLarge;
    }
    out.grey.width = packed.width;
    out.grey.height = packed.height;
    out.grey.pixels = std::move(packed.data);
    out.fullWidth = fullWidth;
    out.fullHeight = fullHeight;
    return DecodeStatus::Ok;
}

}  // namespace norvo

namespace norvo {

DecodeStatus PictureDecoder::ReadFile(const std::filesystem::path& path, std::string& bytes) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec)
        return DecodeStatus::Unreadable;
    if (size > kMaxFileBytes)
        return DecodeStatus::TooLarge;
    std::ifstream in(path, std::ios::binary);
    bytes.resize(static_cast<std::size_t>(size));
    if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size())))
        return DecodeStatus::Unreadable;
    return DecodeStatus::Ok;
}

DecodeStatus PictureDecoder::DecodeFile(const std::filesystem::path& path, DetectionPicture& out) {
    std::string bytes;
    const DecodeStatus read = ReadFile(path, bytes);
    return read == DecodeStatus::Ok ? Decode(bytes, out) : read;
}

}  // namespace norvo
