#include "imaging/LandmarkModelFile.h"

#include <dlib/image_processing/shape_predictor.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "imaging/FaceLandmarks.h"

namespace norvo {

namespace {

// Bounds of a model this program can use; the 68-point model has 15 cascades of 500 trees of
// depth 4 over 500 feature pixels each. They keep a damaged count from asking for gigabytes.
constexpr uint64_t kMaxCascades = 64;
constexpr uint64_t kMaxTreesPerCascade = 8192;
constexpr uint64_t kMaxSplitsPerTree = 4095;
constexpr uint64_t kMaxFeaturePixels = 1u << 16;
constexpr uint64_t kShapeValues = 2 * kLandmarkCount;

// dlib's binary encoding, read from one buffer: integers as a control byte (size in the low
// nibble, 0x80 for a negative signed value, the bits 0x70 always clear) and that many bytes,
// least significant first; floats as a signed 64-bit mantissa and a signed 16-bit exponent.
class Decoder {
public:
    Decoder(const unsigned char* data, size_t size) : m_p(data), m_end(data + size) {}

    bool AtEnd() const { return m_p == m_end; }

    bool Signed(int64_t& value, unsigned maxBytes) {
        if (m_p == m_end) {
            return false;
        }
        const unsigned control = *m_p++;
        const unsigned size = control & 0x0F;
        if ((control & 0x70) != 0 || size == 0 || size > maxBytes ||
            static_cast<size_t>(m_end - m_p) < size) {
            return false;
        }
        uint64_t magnitude = 0;
        for (unsigned i = size; i-- > 0;) {
            magnitude = magnitude << 8 | m_p[i];
        }
        m_p += size;
        if (magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
            return false;
        }
        value = (control & 0x80) ? -static_cast<int64_t>(magnitude)
                                 : static_cast<int64_t>(magnitude);
        return true;
    }

    bool Unsigned(uint64_t& value) {
        if (m_p == m_end) {
            return false;
        }
        const unsigned size = *m_p++;
        if (size == 0 || size > 8 || static_cast<size_t>(m_end - m_p) < size) {
            return false;
        }
        value = 0;
        for (unsigned i = size; i-- > 0;) {
            value = value << 8 | m_p[i];
        }
        m_p += size;
        return true;
    }

    // A count no larger than `limit`.
    bool Count(uint64_t& value, uint64_t limit) { return Unsigned(value) && value <= limit; }

    // Decoded as dlib does (float mantissa scaled by ldexp), so the values match bit for bit.
    // Infinities and NaN are refused: no usable model holds them.
    bool Float(float& value) {
        int64_t mantissa = 0;
        int64_t exponent = 0;
        if (!Signed(mantissa, 8) || !Signed(exponent, 2) || exponent >= 32000) {
            return false;
        }
        value = std::ldexp(static_cast<float>(mantissa), static_cast<int>(exponent));
        return std::isfinite(value);
    }

    // A column of kShapeValues floats (dlib writes the sizes negated).
    bool ShapeColumn(dlib::matrix<float, 0, 1>& column) {
        int64_t rows = 0;
        int64_t columns = 0;
        if (!Signed(rows, 8) || !Signed(columns, 8) ||
            std::llabs(rows) != static_cast<int64_t>(kShapeValues) || std::llabs(columns) != 1) {
            return false;
        }
        column.set_size(kShapeValues);
        for (uint64_t i = 0; i < kShapeValues; ++i) {
            if (!Float(column(static_cast<long>(i)))) {
                return false;
            }
        }
        return true;
    }

private:
    const unsigned char* m_p;
    const unsigned char* m_end;
};

bool ReadTree(Decoder& in, uint64_t featurePixels, dlib::impl::regression_tree& tree) {
    uint64_t splits = 0;
    if (!in.Count(splits, kMaxSplitsPerTree)) {
        return false;
    }
    tree.splits.resize(splits);
    for (auto& split : tree.splits) {
        uint64_t a = 0;
        uint64_t b = 0;
        if (!in.Unsigned(a) || !in.Unsigned(b) || a >= featurePixels || b >= featurePixels ||
            !in.Float(split.thresh)) {
            return false;
        }
        split.idx1 = a;
        split.idx2 = b;
    }
    // The model walks full binary trees: one leaf more than splits, a power of two.
    uint64_t leaves = 0;
    if (!in.Count(leaves, kMaxSplitsPerTree + 1) || leaves != splits + 1 ||
        (leaves & (leaves - 1)) != 0) {
        return false;
    }
    tree.leaf_values.resize(leaves);
    for (auto& leaf : tree.leaf_values) {
        if (!in.ShapeColumn(leaf)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool ReadShapeModelBytes(const unsigned char* data, size_t size, dlib::shape_predictor& out) {
    try {
        Decoder in(data, size);
        int64_t version = 0;
        dlib::matrix<float, 0, 1> initialShape;
        uint64_t cascades = 0;
        if (!in.Signed(version, 8) || version != 1 || !in.ShapeColumn(initialShape) ||
            !in.Count(cascades, kMaxCascades) || cascades == 0) {
            return false;
        }
        // The trees come before the feature pixels they index; their indices are checked
        // against the largest allowed count here and against the real one below.
        std::vector<std::vector<dlib::impl::regression_tree>> forests(cascades);
        for (auto& forest : forests) {
            uint64_t trees = 0;
            if (!in.Count(trees, kMaxTreesPerCascade)) {
                return false;
            }
            forest.resize(trees);
            for (auto& tree : forest) {
                if (!ReadTree(in, kMaxFeaturePixels, tree)) {
                    return false;
                }
            }
        }
        std::vector<std::vector<unsigned long>> anchors(cascades);
        uint64_t count = 0;
        if (!in.Count(count, kMaxCascades) || count != cascades) {
            return false;
        }
        for (auto& cascade : anchors) {
            uint64_t pixels = 0;
            if (!in.Count(pixels, kMaxFeaturePixels)) {
                return false;
            }
            cascade.resize(pixels);
            for (auto& anchor : cascade) {
                uint64_t index = 0;
                if (!in.Unsigned(index) || index >= kLandmarkCount) {
                    return false;
                }
                anchor = index;
            }
        }
        // The feature pixels, rebuilt from their anchors and offsets: the shape model's public
        // constructor takes them in that form and derives the same anchors and offsets again.
        std::vector<std::vector<dlib::vector<float, 2>>> pixels(cascades);
        if (!in.Count(count, kMaxCascades) || count != cascades) {
            return false;
        }
        for (uint64_t c = 0; c < cascades; ++c) {
            if (!in.Count(count, kMaxFeaturePixels) || count != anchors[c].size()) {
                return false;
            }
            pixels[c].resize(count);
            for (uint64_t i = 0; i < count; ++i) {
                float dx = 0;
                float dy = 0;
                if (!in.Float(dx) || !in.Float(dy)) {
                    return false;
                }
                const unsigned long anchor = anchors[c][i];
                pixels[c][i] = dlib::vector<float, 2>(initialShape(2 * anchor) + dx,
                                                      initialShape(2 * anchor + 1) + dy);
            }
            for (const auto& tree : forests[c]) {
                for (const auto& split : tree.splits) {
                    if (split.idx1 >= count || split.idx2 >= count) {
                        return false;
                    }
                }
            }
        }
        if (!in.AtEnd()) {
            return false;
        }
        out = dlib::shape_predictor(initialShape, forests, pixels);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool ReadShapeModel(const std::string& path, dlib::shape_predictor& out) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return false;
    }
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        return false;
    }
    const std::streamoff size = file.tellg();
    if (size <= 0 || static_cast<std::uintmax_t>(size) > kMaxShapeModelBytes) {
        return false;
    }
    // Not zero-filled first: that alone would touch 100 MB once more.
    std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[size]);
    if (!bytes) {
        return false;
    }
    file.seekg(0);
    if (!file.read(reinterpret_cast<char*>(bytes.get()), size)) {
        return false;
    }
    return ReadShapeModelBytes(bytes.get(), static_cast<size_t>(size), out);
}

}  // namespace norvo
