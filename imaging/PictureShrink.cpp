#include "imaging/PictureShrink.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace norvo {

namespace {

// The source pixels [first, first + weights.size()) that one output pixel covers, each with
// the share of it that lies inside.
struct Span {
    int32_t first = 0;
    std::vector<float> weights;
};

std::vector<Span> Spans(int32_t from, int32_t to) {
    std::vector<Span> spans(static_cast<size_t>(to));
    const double scale = static_cast<double>(from) / to;
    for (int32_t i = 0; i < to; ++i) {
        const double start = i * scale;
        const double end = std::min<double>((i + 1) * scale, from);
        Span& span = spans[static_cast<size_t>(i)];
        span.first = static_cast<int32_t>(start);
        const int32_t last = std::min<int32_t>(from, static_cast<int32_t>(std::ceil(end)));
        for (int32_t k = span.first; k < last; ++k) {
            const double w = std::min<double>(end, k + 1) - std::max<double>(start, k);
            span.weights.push_back(static_cast<float>(w / scale));  // shares sum to 1
        }
    }
    return spans;
}

}  // namespace

std::unique_ptr<Picture> ShrinkPicture(const Picture& source, int32_t width, int32_t height) {
    const int32_t fromWidth = source.header.biWidth;
    const int32_t fromHeight = source.header.biHeight;
    if (width < 1 || height < 1 || width > fromWidth || height > fromHeight) {
        return nullptr;
    }
    auto result = AllocatePicture(width, height);
    if (!result) {
        return nullptr;
    }
    try {
        const std::vector<Span> columns = Spans(fromWidth, width);
        const std::vector<Span> rows = Spans(fromHeight, height);
        const size_t rowValues = 3 * static_cast<size_t>(fromWidth);
        std::vector<float> sum(rowValues);
        const size_t padding = static_cast<size_t>(PictureStride(width)) - 3 * size_t(width);
        for (int32_t y = 0; y < height; ++y) {
            // Down the rows first: the weighted sum of the covered source rows.
            const Span& rowSpan = rows[static_cast<size_t>(y)];
            std::fill(sum.begin(), sum.end(), 0.0f);
            for (size_t k = 0; k < rowSpan.weights.size(); ++k) {
                const uint8_t* src = PictureRow(source, rowSpan.first + static_cast<int32_t>(k));
                const float w = rowSpan.weights[k];
                float* acc = sum.data();
                for (size_t n = 0; n < rowValues; ++n) {
                    acc[n] += w * static_cast<float>(src[n]);
                }
            }
            // Then across.
            uint8_t* dst = PictureRow(*result, y);
            for (int32_t x = 0; x < width; ++x, dst += 3) {
                const Span& columnSpan = columns[static_cast<size_t>(x)];
                float b = 0, g = 0, r = 0;
                const float* acc = sum.data() + 3 * static_cast<size_t>(columnSpan.first);
                for (const float w : columnSpan.weights) {
                    b += w * acc[0];
                    g += w * acc[1];
                    r += w * acc[2];
                    acc += 3;
                }
                dst[0] = static_cast<uint8_t>(std::clamp(b + 0.5f, 0.0f, 255.0f));
                dst[1] = static_cast<uint8_t>(std::clamp(g + 0.5f, 0.0f, 255.0f));
                dst[2] = static_cast<uint8_t>(std::clamp(r + 0.5f, 0.0f, 255.0f));
            }
            std::memset(dst, 0, padding);
        }
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return result;
}

}  // namespace norvo
