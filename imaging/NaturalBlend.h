#pragma once

// The natural face blend, beside the classic one: the face turned and scaled so its eyes lie
// on the body face's eyes, its colour matched to the body face, its edge solved seamless.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "imaging/FaceBox.h"
#include "imaging/FaceLandmarks.h"
#include "imaging/Picture.h"

namespace norvo {

// The landmarks of the face in a box of a picture; nullopt when none can be found.
using LandmarkFinder = std::function<std::optional<FaceLandmarks>(PictureHandle, const FaceBox&)>;

struct NaturalBlendOptions {
    // Colour match, seamless solve and feather on the full-resolution pixels instead of on a
    // copy with the eyes kEyeDistanceForFields pixels apart. Slow for large faces; there to
    // measure what the small copy costs.
    bool fullResolution = false;
    // When set, receives per body pixel (rows top-down) the weight 0..255 with which the face
    // was mixed in by the natural blend; faces blended the classic way leave it as it is.
    std::vector<uint8_t>* weights = nullptr;
};

// The colour fields, the seamless solve and the feather are computed on a copy scaled so the
// eyes are this many pixels apart (never enlarged), then scaled back up: their cost then does
// not grow with the face's size, and they hold no detail finer than that anyway.
inline constexpr double kEyeDistanceForFields = 40.0;

// What the natural blend did to one picture.
struct NaturalBlendReport {
    std::size_t faces = 0;         // body boxes inside the picture
    std::size_t classicFaces = 0;  // of those, blended the classic way for want of landmarks
};

// Blends the face in `faceBox` of `face` into every box of `bodyBoxes` of `body`, in list
// order, each with its own alignment; landmarks are found on the pictures as they are given.
// A box for which `find` gives no landmarks (or every box, when the face has none) is blended
// the classic way, through `mask`, exactly as BlendFaces does. Empty boxes and boxes entirely
// outside the body are skipped. Returns an empty report when a handle is nullptr.
NaturalBlendReport BlendFacesNatural(PictureHandle body, const FaceBoxList& bodyBoxes,
                                     PictureHandle face, const FaceBox& faceBox, PictureHandle mask,
                                     const LandmarkFinder& find,
                                     const NaturalBlendOptions& options = {});

// Builds the colour conversion tables OpenCV makes on first use (a quarter of a second), so
// that the first blend does not wait for them, and keeps OpenCV on the calling thread. Safe
// from any thread, any number of times.
void PrepareNaturalBlend();

// One face of `face` (its landmarks `faceMarks`) blended onto the face of `body` with the
// landmarks `bodyMarks`. False, with the body untouched, when the landmarks give nothing to
// blend: eyes on one spot, or faces that do not overlap inside the body picture.
bool BlendFaceNatural(PictureHandle body, const FaceLandmarks& bodyMarks, PictureHandle face,
                      const FaceLandmarks& faceMarks, const NaturalBlendOptions& options = {});

}  // namespace norvo
