#pragma once

namespace norvo {

// One detected face in picture pixels: the first column and row, and the size.
struct FaceRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const FaceRect&, const FaceRect&) = default;
};

}  // namespace norvo
