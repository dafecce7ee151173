#include "imaging/LandmarkModelFile.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "base/Utf8Path.h"
#include "imaging/FaceLandmarks.h"

namespace norvo {

namespace {

// Bounds of a model this program can use; the 68-point model has 15 cascades of 500 trees of
// depth 4 over 500 feature pixels each. They keep a damaged count from asking for gigabytes
// (feature pixels are bounded by ShapeModel::kMaxFeaturePixels).
constexpr uint64_t kMaxCascades = 64;
constexpr uint64_t kMaxTreesPerCascade = 8192;
constexpr uint64_t kMaxSplitsPerTree = 4095;
constexpr uint64_t kShapeValues = ShapeModel::kShapeValues;

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
        value =
            (control & 0x80) ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
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
    bool ShapeColumn(float* column) {
        int64_t rows = 0;
        int64_t columns = 0;
        if (!Signed(rows, 8) || !Signed(columns, 8) ||
            std::llabs(rows) != static_cast<int64_t>(kShapeValues) || std::llabs(columns) != 1) {
            return false;
        }
        for (uint64_t i = 0; i < kShapeValues; ++i) {
            if (!Float(column[i])) {
                return false;
            }
        }
        return true;
    }

private:
    const unsigned char* m_p;
    const unsigned char* m_end;
};

// One tree: its splits appended to the cascade's, its leaves put in `leaves`.
bool ReadTree(Decoder& in, ShapeModel::Cascade& cascade, ShapeModel::LeafStore& leaves) {
    uint64_t splits = 0;
    if (!in.Count(splits, kMaxSplitsPerTree)) {
        return false;
    }
    ShapeModel::Tree tree{static_cast<uint32_t>(cascade.splits.size()),
                          static_cast<uint32_t>(splits), nullptr};
    for (uint64_t i = 0; i < splits; ++i) {
        uint64_t a = 0;
        uint64_t b = 0;
        float threshold = 0;
        // The indices are checked against the cascade's feature pixels once they are read.
        if (!in.Unsigned(a) || !in.Unsigned(b) || a >= ShapeModel::kMaxFeaturePixels ||
            b >= ShapeModel::kMaxFeaturePixels || !in.Float(threshold)) {
            return false;
        }
        cascade.splits.push_back({static_cast<uint16_t>(a), static_cast<uint16_t>(b), threshold});
    }
    // The model walks full binary trees: one leaf more than splits, a power of two.
    uint64_t count = 0;
    if (!in.Count(count, kMaxSplitsPerTree + 1) || count != splits + 1 ||
        (count & (count - 1)) != 0) {
        return false;
    }
    float* leaf = leaves.Add(count);
    if (leaf == nullptr) {
        return false;
    }
    tree.leaves = leaf;
    for (uint64_t i = 0; i < count; ++i, leaf += kShapeValues) {
        if (!in.ShapeColumn(leaf)) {
            return false;
        }
    }
    cascade.trees.push_back(tree);
    return true;
}

}  // namespace

bool ReadShapeModelBytes(const unsigned char* data, size_t size, ShapeModel& out) {
    try {
        Decoder in(data, size);
        int64_t version = 0;
        ShapeModel::Shape initialShape(kShapeValues);
        uint64_t cascades = 0;
        if (!in.Signed(version, 8) || version != 1 || !in.ShapeColumn(&initialShape(0)) ||
            !in.Count(cascades, kMaxCascades) || cascades == 0) {
            return false;
        }
        std::vector<ShapeModel::Cascade> model(cascades);
        ShapeModel::LeafStore leaves;
        for (auto& cascade : model) {
            uint64_t trees = 0;
            if (!in.Count(trees, kMaxTreesPerCascade)) {
                return false;
            }
            cascade.trees.reserve(trees);
            for (uint64_t t = 0; t < trees; ++t) {
                if (!ReadTree(in, cascade, leaves)) {
                    return false;
                }
            }
        }
        // Each feature pixel's anchor part, then its offset from that part.
        uint64_t count = 0;
        if (!in.Count(count, kMaxCascades) || count != cascades) {
            return false;
        }
        for (auto& cascade : model) {
            uint64_t pixels = 0;
            if (!in.Count(pixels, ShapeModel::kMaxFeaturePixels)) {
                return false;
            }
            cascade.anchors.resize(pixels);
            for (auto& anchor : cascade.anchors) {
                uint64_t index = 0;
                if (!in.Unsigned(index) || index >= kLandmarkCount) {
                    return false;
                }
                anchor = static_cast<uint32_t>(index);
            }
        }
        if (!in.Count(count, kMaxCascades) || count != cascades) {
            return false;
        }
        for (auto& cascade : model) {
            if (!in.Count(count, ShapeModel::kMaxFeaturePixels) ||
                count != cascade.anchors.size()) {
                return false;
            }
            cascade.offsets.resize(count);
            for (auto& offset : cascade.offsets) {
                if (!in.Float(offset.x()) || !in.Float(offset.y())) {
                    return false;
                }
            }
        }
        return in.AtEnd() &&
               out.Assign(std::move(initialShape), std::move(model), std::move(leaves));
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool ReadShapeModel(const std::string& path, ShapeModel& out) {
    const std::filesystem::path filePath = PathFromUtf8(path);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(filePath, ec)) {
        return false;
    }
    std::ifstream file(filePath, std::ios::binary | std::ios::ate);
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
