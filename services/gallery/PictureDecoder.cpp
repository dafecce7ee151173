#include "PictureDecoder.h"

#include "imaging/Picture.h"

namespace norvo {

namespace {

// The picture library decodes exactly as the program's compositing does (same reader, same
// limits, EXIF orientation applied), so the boxes found here fit the pictures it loads.
DecodeStatus FromPacked(PictureStatus status, PackedPixels& packed, GreyPicture& out) {
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
    out.width = packed.width;
    out.height = packed.height;
    out.pixels = std::move(packed.data);
    return DecodeStatus::Ok;
}

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

DecodeStatus PictureDecoder::DecodeFile(const std::filesystem::path& path, GreyPicture& out) {
    PackedPixels packed;
    const PictureStatus status = DecodePackedPixelsFile(path.string(), PackedFormat::Grey, packed);
    return FromPacked(status, packed, out);
}

DecodeStatus PictureDecoder::DecodeBytes(std::string_view bytes, GreyPicture& out) {
    PackedPixels packed;
    const PictureStatus status =
        DecodePackedPixels(bytes.data(), bytes.size(), PackedFormat::Grey, packed);
    return FromPacked(status, packed, out);
}

}  // namespace norvo
