#pragma once

// The masked face blend on pictures of the picture library.

#include <cstdint>

#include "imaging/FaceBox.h"
#include "imaging/Picture.h"

namespace norvo {

// Writes `value` (red | green << 8 | blue << 16, top byte ignored) at (x, y), top-left origin.
// Positions outside the picture are ignored.
void SetPicturePixel(PictureHandle picture, int32_t x, int32_t y, uint32_t value);

// Pastes `faceBox` of `face` over every box of `bodyBoxes` in `body`, in list order, each
// scaled by nearest-lower sampling and weighted by the mask's red channel (255 = face,
// 0 = body). Later boxes blend over earlier ones; empty boxes and the parts of boxes outside
// the body picture are skipped. Boxes of any size are safe: only the part inside the body
// picture is visited. Returns 0, or 1 when a handle is nullptr.
int BlendFaces(PictureHandle body, const FaceBoxList& bodyBoxes, PictureHandle face,
               const FaceBox& faceBox, PictureHandle mask);

}  // namespace norvo
