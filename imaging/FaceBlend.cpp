#include "imaging/FaceBlend.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/PictureData.h"

namespace norvo {

namespace {

// (k * extent) / total, truncated toward zero, for 0 <= k < total. The product of two box
// sides taken from a web answer can pass 2^63, so it is formed in 128 bits; the quotient is
// below |extent| and fits again.
int64_t ScaleIndex(int64_t k, int64_t extent, int64_t total) {
    return static_cast<int64_t>(static_cast<__int128>(k) * extent / total);
}

// One channel: the face value f over the body value b with weight l / 255, rounded down.
// Both branches divide non-negative numbers only.
inline uint8_t Mix(uint32_t f, uint32_t b, uint32_t l) {
    if (f > b) {
        return static_cast<uint8_t>(b + (f - b) * l / 255);
    }
    return static_cast<uint8_t>(f + (b - f) * (255 - l) / 255);
}

// Mix over a row of bytes. Written without branches in 16-bit lanes so the compiler can
// vectorise it; (t + 1 + (t >> 8)) >> 8 equals t / 255 for every t up to 255 * 255.
void MixRow(const uint8_t* __restrict face, const uint8_t* __restrict weight,
            uint8_t* __restrict body, size_t bytes) {
    for (size_t n = 0; n < bytes; ++n) {
        const uint16_t f = face[n];
        const uint16_t b = body[n];
        const uint16_t l = weight[n];
        const uint16_t lo = f < b ? f : b;
        const uint16_t hi = f < b ? b : f;
        const uint16_t w = f > b ? l : static_cast<uint16_t>(255 - l);
        const uint16_t t = static_cast<uint16_t>((hi - lo) * w);
        body[n] = static_cast<uint8_t>(lo + ((t + 1 + (t >> 8)) >> 8));
    }
}

}  // namespace

void SetPicturePixel(PictureHandle picture, int32_t x, int32_t y, uint32_t value) {
    const PictureDescription* description = DescribePicture(picture);
    if (!description) {
        return;
    }
    const PictureInfoHeader& header = *description->header;
    if (x < 0 || x >= header.biWidth || y < 0 || y >= header.biHeight) {
        return;
    }
    uint8_t* p = description->bits +
                 (int64_t{header.biHeight} - 1 - y) * PictureStride(header.biWidth) +
                 3 * int64_t{x};
    p[0] = static_cast<uint8_t>(value >> 16);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value);
}

// Visits only the part of each box inside the body picture, in the same row-major order as a
// pixel-by-pixel walk of the whole box, so every written pixel gets the same value the walk
// would give it (including reads of pixels an earlier box already changed).
int BlendFaces(PictureHandle body, const FaceBoxList& bodyBoxes, PictureHandle face,
               const FaceBox& faceBox, PictureHandle mask) {
    if (!body || !face || !mask) {
        return 1;
    }
    const int64_t width = body->header.biWidth;
    const int64_t height = body->header.biHeight;
    const int64_t faceWidth = face->header.biWidth;
    const int64_t faceHeight = face->header.biHeight;
    // The mask is stretched with one pixel less than its size, so its last row and column
    // never take part.
    const int64_t mw = int64_t{mask->header.biWidth} - 1;
    const int64_t mh = int64_t{mask->header.biHeight} - 1;
    const int64_t fw = int64_t{faceBox.right} - faceBox.left;
    const int64_t fh = int64_t{faceBox.bottom} - faceBox.top;
    // When the face or mask is the body picture itself, a pixel written early in a row may be
    // read later in the same row, so rows cannot be gathered ahead.
    const bool aliased = face == body || mask == body;

    std::vector<int32_t> faceColumn;  // byte offset of the face pixel per visited column
    std::vector<int32_t> maskColumn;  // byte offset of the mask's red per visited column
    std::vector<uint8_t> faceRow;     // the face row as stretched over the box, BGR
    std::vector<uint8_t> weightRow;   // the mask row as stretched, one weight per byte
    for (const FaceBox& box : bodyBoxes) {
        if (box.top >= box.bottom || box.left >= box.right) {
            continue;
        }
        const int64_t bw = int64_t{box.right} - box.left;
        const int64_t bh = int64_t{box.bottom} - box.top;
        const int64_t x0 = std::max<int64_t>(box.left, 0);
        const int64_t x1 = std::min<int64_t>(box.right, width);
        const int64_t y0 = std::max<int64_t>(box.top, 0);
        const int64_t y1 = std::min<int64_t>(box.bottom, height);
        if (x0 >= x1 || y0 >= y1) {
            continue;
        }
        const size_t columns = static_cast<size_t>(x1 - x0);
        faceColumn.resize(columns);
        maskColumn.resize(columns);
        for (size_t i = 0; i < columns; ++i) {
            const int64_t k = x0 + static_cast<int64_t>(i) - box.left;
            const int64_t sx = faceBox.left + ScaleIndex(k, fw, bw);
            const int64_t mx = ScaleIndex(k, mw, bw);
            faceColumn[i] = static_cast<int32_t>(3 * std::clamp<int64_t>(sx, 0, faceWidth - 1));
            maskColumn[i] = static_cast<int32_t>(3 * mx + 2);
        }
        faceRow.resize(3 * columns);
        weightRow.resize(3 * columns);
        int64_t gatheredFace = -1;  // source rows now in faceRow / weightRow
        int64_t gatheredMask = -1;
        size_t first = 0;  // weights outside [first, last) are 0: those pixels stay as they are
        size_t last = 0;
        for (int64_t y = y0; y < y1; ++y) {
            const int64_t j = y - box.top;
            const int64_t sy =
                std::clamp<int64_t>(faceBox.top + ScaleIndex(j, fh, bh), 0, faceHeight - 1);
            const int64_t my = ScaleIndex(j, mh, bh);
            const uint8_t* faceSource = PictureRow(*face, static_cast<int32_t>(sy));
            const uint8_t* maskSource = PictureRow(*mask, static_cast<int32_t>(my));
            uint8_t* bodyRow = PictureRow(*body, static_cast<int32_t>(y)) + 3 * x0;
            if (aliased) {
                for (size_t i = 0; i < columns; ++i) {
                    const uint32_t l = maskSource[maskColumn[i]];
                    const uint8_t* f = faceSource + faceColumn[i];
                    const uint32_t f0 = f[0], f1 = f[1], f2 = f[2];
                    uint8_t* b = bodyRow + 3 * i;
                    b[0] = Mix(f0, b[0], l);
                    b[1] = Mix(f1, b[1], l);
                    b[2] = Mix(f2, b[2], l);
                }
                continue;
            }
            // Neighbouring rows of a box larger than the face share their source rows.
            if (sy != gatheredFace) {
                for (size_t i = 0; i < columns; ++i) {
                    std::memcpy(&faceRow[3 * i], faceSource + faceColumn[i], 3);
                }
                gatheredFace = sy;
            }
            if (my != gatheredMask) {
                first = columns;
                last = 0;
                for (size_t i = 0; i < columns; ++i) {
                    const uint8_t l = maskSource[maskColumn[i]];
                    weightRow[3 * i] = weightRow[3 * i + 1] = weightRow[3 * i + 2] = l;
                    if (l != 0) {
                        first = std::min(first, i);
                        last = i + 1;
                    }
                }
                gatheredMask = my;
            }
            if (first < last) {
                MixRow(faceRow.data() + 3 * first, weightRow.data() + 3 * first,
                       bodyRow + 3 * first, 3 * (last - first));
            }
        }
    }
    return 0;
}

}  // namespace norvo
