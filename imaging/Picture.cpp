#include "imaging/Picture.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "imaging/PictureData.h"

namespace norvo {

const char* describe(PictureStatus status) {
    switch (status) {
        case PictureStatus::Ok:
            return "decoded";
        case PictureStatus::CannotOpen:
            return "the file cannot be opened";
        case PictureStatus::NotAPicture:
            return "not a picture in a known format, or damaged";
        case PictureStatus::TooLarge:
            return "the picture is larger than 16384 pixels on a side or 100 megapixels";
        case PictureStatus::OutOfMemory:
            return "not enough memory for the picture";
    }
    return "unknown picture status";
}

void SetPictureBits(Picture& picture, int32_t width, int32_t height, uint8_t* bits,
                    std::shared_ptr<void> storage) {
    picture.header.biWidth = width;
    picture.header.biHeight = height;
    picture.header.biSizeImage = static_cast<uint32_t>(PictureStride(width) * height);
    picture.bits = bits;
    picture.storage = std::move(storage);
    picture.description.header = &picture.header;
    picture.description.bits = bits;
}

std::optional<std::pair<int64_t, int64_t>> ResizedSize(const Picture& picture, int32_t width,
                                                       int32_t height) {
    if ((width == -1 && height == -1) || (width < 1 && width != -1) ||
        (height < 1 && height != -1)) {
        return std::nullopt;
    }
    const int64_t oldWidth = picture.header.biWidth;
    const int64_t oldHeight = picture.header.biHeight;
    int64_t newWidth = width;
    int64_t newHeight = height;
    if (newWidth == -1) {
        newWidth = std::max<int64_t>(1, (2 * oldWidth * newHeight + oldHeight) / (2 * oldHeight));
    } else if (newHeight == -1) {
        newHeight = std::max<int64_t>(1, (2 * oldHeight * newWidth + oldWidth) / (2 * oldWidth));
    }
    if (!PictureSizeAllowed(newWidth, newHeight)) {
        return std::nullopt;
    }
    return std::pair{newWidth, newHeight};
}

std::unique_ptr<Picture> AllocatePicture(int32_t width, int32_t height) {
    if (!PictureSizeAllowed(width, height)) {
        return nullptr;
    }
    auto picture = std::unique_ptr<Picture>(new (std::nothrow) Picture);
    if (!picture) {
        return nullptr;
    }
    const size_t size = static_cast<size_t>(PictureStride(width) * height);
    try {
        std::shared_ptr<uint8_t[]> bits(new uint8_t[size]);
        uint8_t* raw = bits.get();
        SetPictureBits(*picture, width, height, raw, std::move(bits));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return picture;
}

PictureHandle CreatePicture(int32_t width, int32_t height) {
    auto picture = AllocatePicture(width, height);
    if (!picture) {
        return nullptr;
    }
    std::memset(picture->bits, 0, picture->header.biSizeImage);
    return picture.release();
}

PictureHandle CopyPicture(PictureHandle picture) {
    if (!picture) {
        return nullptr;
    }
    auto copy = AllocatePicture(picture->header.biWidth, picture->header.biHeight);
    if (!copy) {
        return nullptr;
    }
    std::memcpy(copy->bits, picture->bits, picture->header.biSizeImage);
    return copy.release();
}

void ReleasePicture(PictureHandle picture) {
    delete picture;
}

uint32_t ReadPicturePixel(PictureHandle picture, int32_t x, int32_t y) {
    if (!picture) {
        return 0;
    }
    // A face box reaching past the face picture samples its edge instead of garbage.
    x = std::clamp(x, 0, picture->header.biWidth - 1);
    y = std::clamp(y, 0, picture->header.biHeight - 1);
    const uint8_t* p = PictureRow(*picture, y) + 3 * int64_t{x};
    return uint32_t{p[2]} | uint32_t{p[1]} << 8 | uint32_t{p[0]} << 16;
}

int MakeBottomUp24(PictureHandle picture) {
    return picture ? 0 : 1;
}

const PictureDescription* DescribePicture(PictureHandle picture) {
    return picture ? &picture->description : nullptr;
}

}  // namespace norvo
