#pragma once

// The blend written out pixel by pixel over whole boxes, with running totals and a description
// lookup per write: slow, but plainly the intended algorithm. BlendFaces must match it
// wherever this writes a pixel. Only for boxes of modest size.

#include <algorithm>
#include <cstdint>

#include "imaging/FaceBlend.h"
#include "imaging/Picture.h"

namespace norvo::testing {

// Far-off positions read the nearest edge pixel, as the library does for any outside position.
inline int32_t ToInt32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

inline void ReferenceBlend(PictureHandle body, const FaceBoxList& boxes, PictureHandle face,
                           const FaceBox& s, PictureHandle mask) {
    const PictureInfoHeader& maskHeader = *DescribePicture(mask)->header;
    const int64_t mw = maskHeader.biWidth - 1;
    const int64_t mh = maskHeader.biHeight - 1;
    const int64_t fw = int64_t{s.right} - s.left;
    const int64_t fh = int64_t{s.bottom} - s.top;
    for (const FaceBox& t : boxes) {
        const int64_t bw = int64_t{t.right} - t.left;
        const int64_t bh = int64_t{t.bottom} - t.top;
        if (t.top >= t.bottom) {
            continue;
        }
        int64_t rowFace = 0;
        int64_t rowMask = 0;
        for (int64_t y = t.top; y < t.bottom; ++y, rowFace += fh, rowMask += mh) {
            const int64_t sy = s.top + rowFace / bh;
            const int64_t my = rowMask / bh;
            if (t.left >= t.right) {
                continue;
            }
            int64_t colFace = 0;
            int64_t colMask = 0;
            for (int64_t x = t.left; x < t.right; ++x, colFace += fw, colMask += mw) {
                const int64_t sx = s.left + colFace / bw;
                const int64_t mx = colMask / bw;
                const uint32_t f = ReadPicturePixel(face, ToInt32(sx), ToInt32(sy));
                const uint32_t m = ReadPicturePixel(mask, ToInt32(mx), ToInt32(my));
                const uint32_t b = ReadPicturePixel(body, ToInt32(x), ToInt32(y));
                const int32_t l = static_cast<int32_t>(m & 0xff);
                uint32_t r = 0;
                for (int i = 0; i < 3; ++i) {
                    const int32_t fi = static_cast<int32_t>((f >> (8 * i)) & 0xff);
                    const int32_t bi = static_cast<int32_t>((b >> (8 * i)) & 0xff);
                    const int32_t ri =
                        fi > bi ? bi + ((fi - bi) * l) / 255 : fi + ((bi - fi) * (255 - l)) / 255;
                    r |= static_cast<uint32_t>(ri) << (8 * i);
                }
                SetPicturePixel(body, ToInt32(x), ToInt32(y), r);
            }
        }
    }
}

}  // namespace norvo::testing
