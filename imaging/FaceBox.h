#pragma once

#include <cstdint>
#include <vector>

namespace norvo {

// One face in a picture, in that picture's pixels with the origin at the top-left corner.
// Right and bottom are exclusive: the face covers columns left..right-1 and rows top..bottom-1.
struct FaceBox {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    friend bool operator==(const FaceBox&, const FaceBox&) = default;
};

// All faces of one picture in the order the detector reported them.
using FaceBoxList = std::vector<FaceBox>;

}  // namespace norvo
