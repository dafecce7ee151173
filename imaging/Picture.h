#pragma once

// The picture library the compositing works through. Pictures are held as 24-bit bottom-up
// BGR bitmaps with rows padded to 4 bytes, described by a BITMAPINFOHEADER-like record, so the
// blend can address pixels the same way on every platform. No toolkit types leak out of here.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace norvo {

// Why a picture could not be loaded or decoded.
enum class PictureStatus {
    Ok,           // decoded
    CannotOpen,   // the file is missing or unreadable
    NotAPicture,  // no known picture format, or the data is damaged
    TooLarge,     // declared size over kMaxPictureSide or kMaxPicturePixels
    OutOfMemory,  // the decoded picture could not be allocated
};

// One-line English reason for logs and tests.
const char* describe(PictureStatus status);

// Pictures larger than this are refused before decoding: a web download may declare any size,
// and a 24-bit copy of 100 megapixels (300 MB) is already more than a desktop run should hold.
inline constexpr int32_t kMaxPictureSide = 16384;
inline constexpr int64_t kMaxPicturePixels = 100'000'000;

// The fields of a Windows BITMAPINFOHEADER; biHeight > 0 means bottom-up rows.
struct PictureInfoHeader {
    uint32_t biSize = sizeof(PictureInfoHeader);
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 24;
    uint32_t biCompression = 0;  // uncompressed RGB
    uint32_t biSizeImage = 0;    // stride * biHeight
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};

// What DescribePicture returns: the header and the pixel bits, rows bottom-up, 3 bytes per
// pixel (blue, green, red), each row padded to a multiple of 4 bytes.
struct PictureDescription {
    uint32_t reserved0 = 0;
    uint32_t reserved1 = 0;
    PictureInfoHeader* header = nullptr;
    uint8_t* bits = nullptr;
};

// Opaque picture owned by the library until ReleasePicture.
struct Picture;
using PictureHandle = Picture*;

// Row length in bytes of a 24-bit picture `width` pixels wide (3 * width rounded up to 4).
inline int64_t PictureStride(int64_t width) {
    return (3 * width + 3) & ~int64_t{3};
}

// Decodes a picture file (PNG, JPEG, GIF, BMP, WebP, TIFF) with its EXIF orientation applied.
// Returns nullptr on failure and, when `why` is given, stores the reason there.
// `path` is a byte string in the locale's file-name encoding.
PictureHandle LoadPicture(const std::string& path, PictureStatus* why = nullptr);

// As LoadPicture, from an encoded picture in memory (e.g. a fetched body).
PictureHandle LoadPictureFromMemory(const void* data, size_t size, PictureStatus* why = nullptr);

// A black picture of the given size, or nullptr when a side is below 1, over the size
// limits, or memory runs out.
PictureHandle CreatePicture(int32_t width, int32_t height);

// A copy of `picture` with bits of its own, or nullptr for nullptr or when memory runs out.
PictureHandle CopyPicture(PictureHandle picture);

// Frees a picture; nullptr is allowed and does nothing.
void ReleasePicture(PictureHandle picture);

// A picture that releases itself when its owner goes; get() is the handle the operations take.
struct PictureRelease {
    void operator()(PictureHandle picture) const { ReleasePicture(picture); }
};
using OwnedPicture = std::unique_ptr<Picture, PictureRelease>;

// The pixel at (x, y), top-left origin, as red | green << 8 | blue << 16. Positions outside
// the picture read the nearest pixel inside it. Returns 0 for nullptr.
uint32_t ReadPicturePixel(PictureHandle picture, int32_t x, int32_t y);

// Leaves the picture as a 24-bit bottom-up bitmap (pictures are always held that way, so this
// only checks the handle). Returns 0 on success, 1 for nullptr.
int MakeBottomUp24(PictureHandle picture);

// Writes the picture as a baseline JPEG (4:2:0) of `quality` 0..100. `flags` must be 0.
// The file is replaced only once the whole picture was written, so a failed write never
// leaves a truncated file behind. Returns 0 on success, 1 on any failure.
int SavePictureJpeg(const std::string& path, PictureHandle picture, int quality, int flags);

// Writes the picture as a PNG file, replaced only once the whole picture was written.
// Returns 0 on success, 1 on any failure.
int SavePicturePng(const std::string& path, PictureHandle picture);

// The picture's description, valid until the next ResizePicture or ReleasePicture on it.
// Returns nullptr for nullptr.
const PictureDescription* DescribePicture(PictureHandle picture);

// Scales the picture smoothly in place. A side of -1 follows the other by aspect ratio
// (at least 1 pixel); a picture already of the asked size is left untouched. Returns 0 on
// success, 1 when both sides are -1, a side is 0 or below -1, the result is over the size
// limits, or memory runs out (the picture is then unchanged).
int ResizePicture(PictureHandle picture, int32_t width, int32_t height);

// A decoded picture as tightly packed top-down rows, for face detectors.
struct PackedPixels {
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;       // 3: red, green, blue; 1: grey
    std::vector<uint8_t> data;  // width * height * channels bytes, row after row
};

enum class PackedFormat { Rgb, Grey };

// Decodes with the same reader, limits and EXIF orientation as LoadPicture, so face boxes
// found in the result fit the pictures the compositing loads.
PictureStatus DecodePackedPixels(const void* data, size_t size, PackedFormat format,
                                 PackedPixels& out);
PictureStatus DecodePackedPixelsFile(const std::string& path, PackedFormat format,
                                     PackedPixels& out);

// Decodes for a face detector: grey, with the same reader and EXIF orientation, but no more
// than `maxLongSide` pixels on the long side (JPEG is scaled while it is decoded, so a 12 MP
// photo costs a fraction of a full decode). `fullWidth` and `fullHeight` receive the size
// LoadPicture gives the same picture, to scale boxes back. Unlike the decoders above this one
// does not raise Qt's allocation limit: a picture whose decoded pixels would pass it is
// refused as TooLarge before they are allocated.
PictureStatus DecodeGreyForDetection(const void* data, size_t size, int32_t maxLongSide,
                                     PackedPixels& out, int32_t& fullWidth, int32_t& fullHeight);

}  // namespace norvo
