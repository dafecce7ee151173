#pragma once

// Inside of a picture handle; shared by the toolkit-free part of the library and its codecs.

#include <cstdint>
#include <memory>

#include "imaging/Picture.h"

namespace norvo {

struct Picture {
    PictureInfoHeader header;
    PictureDescription description;
    std::unique_ptr<uint8_t[]> bits;
};

// True when a picture of this size stays inside kMaxPictureSide and kMaxPicturePixels.
inline bool PictureSizeAllowed(int64_t width, int64_t height) {
    return width >= 1 && height >= 1 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height <= kMaxPicturePixels;
}

// Uninitialised bits for a picture of an allowed size; nullptr when memory runs out.
std::unique_ptr<Picture> AllocatePicture(int32_t width, int32_t height);

// Start of row y (top-left origin) of the picture's bits.
inline uint8_t* PictureRow(const Picture& picture, int32_t y) {
    const int32_t h = picture.header.biHeight;
    return picture.bits.get() + (int64_t{h} - 1 - y) * PictureStride(picture.header.biWidth);
}

}  // namespace norvo
