#pragma once

// Area-averaging reduction of a picture, without the toolkit.

#include <memory>

#include "imaging/PictureData.h"

namespace norvo {

// A new picture of `width` x `height` (each no larger than the source's) in which every pixel
// is the mean of the source area it covers, rounded to nearest. nullptr when a size is out of
// range or memory runs out.
std::unique_ptr<Picture> ShrinkPicture(const Picture& source, int32_t width, int32_t height);

}  // namespace norvo
