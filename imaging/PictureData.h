#pragma once

// Inside of a picture handle; shared by the toolkit-free part of the library and its codecs.

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "imaging/Picture.h"

namespace norvo {

struct Picture {
    PictureInfoHeader header;
    PictureDescription description;
    uint8_t* bits = nullptr;
    // Owns the bits: an array of our own, or a decoder's buffer adopted to spare a copy.
    std::shared_ptr<void> storage;
};

// Points the picture at `bits` held by `storage`, rows of PictureStride(width) bytes.
void SetPictureBits(Picture& picture, int32_t width, int32_t height, uint8_t* bits,
                    std::shared_ptr<void> storage);

// True when a picture of this size stays inside kMaxPictureSide and kMaxPicturePixels.
inline bool PictureSizeAllowed(int64_t width, int64_t height) {
    return width >= 1 && height >= 1 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height <= kMaxPicturePixels;
}

// A picture of an allowed size with uninitialised bits; nullptr when memory runs out.
std::unique_ptr<Picture> AllocatePicture(int32_t width, int32_t height);

// The size ResizePicture(picture, width, height) asks for: a side of -1 follows the other by
// aspect ratio, rounded to the nearest pixel (at least 1); nullopt when the arguments are refused
// (both -1, a side 0 or below -1) or the size is over the limits.
std::optional<std::pair<int64_t, int64_t>> ResizedSize(const Picture& picture, int32_t width,
                                                       int32_t height);

// Start of row y (top-left origin) of the picture's bits.
inline uint8_t* PictureRow(const Picture& picture, int32_t y) {
    const int32_t h = picture.header.biHeight;
    return picture.bits + (int64_t{h} - 1 - y) * PictureStride(picture.header.biWidth);
}

}  // namespace norvo
