// Compiled at -O3 (see CMakeLists.txt): the walk through the trees and the sums of leaves are
// the whole cost of finding landmarks.

#include "imaging/ShapeModel.h"

#include <dlib/image_processing/shape_predictor.h>

#if defined(__linux__)
#include <sys/mman.h>
#elif defined(_WIN32)
#include <malloc.h>
#endif

#include <algorithm>
#include <cstdlib>

namespace norvo {

namespace {

// Leaves are stored in blocks of this size, aligned to the huge page size so the kernel can
// back them with huge pages.
constexpr std::size_t kHugePage = 2u << 20;
constexpr std::size_t kLeafBlockBytes = 16 * kHugePage;

}  // namespace

// Windows' C runtime has no aligned_alloc: aligned blocks come from, and go back to, its own pair.
void ShapeModel::LeafStore::Free::operator()(float* p) const {
#if defined(_WIN32)
    _aligned_free(p);
#else
    std::free(p);
#endif
}

float* ShapeModel::LeafStore::Add(std::size_t count) {
    if (count > (SIZE_MAX / sizeof(float) - kHugePage) / kShapeValues) {
        return nullptr;
    }
    const std::size_t floats = count * kShapeValues;
    if (floats > m_free) {
        const std::size_t bytes =
            (std::max(floats * sizeof(float), kLeafBlockBytes) + kHugePage - 1) / kHugePage *
            kHugePage;
#if defined(_WIN32)
        void* block = _aligned_malloc(bytes, kHugePage);
#else
        void* block = std::aligned_alloc(kHugePage, bytes);
#endif
        if (block == nullptr) {
            return nullptr;
        }
#if defined(__linux__)
        // Only a hint: without it the model still works, on small pages.
        madvise(block, bytes, MADV_HUGEPAGE);
#endif
        m_blocks.emplace_back(static_cast<float*>(block));
        m_next = m_blocks.back().get();
        m_free = bytes / sizeof(float);
    }
    float* at = m_next;
    m_next += floats;
    m_free -= floats;
    return at;
}

bool ShapeModel::Assign(Shape initialShape, std::vector<Cascade> cascades, LeafStore leaves) {
    if (initialShape.size() != static_cast<long>(kShapeValues) || cascades.empty()) {
        return false;
    }
    for (const Cascade& cascade : cascades) {
        const std::size_t pixels = cascade.anchors.size();
        if (pixels != cascade.offsets.size() || pixels > kMaxFeaturePixels) {
            return false;
        }
        for (uint32_t anchor : cascade.anchors) {
            if (anchor >= kLandmarkCount) {
                return false;
            }
        }
        for (const Split& split : cascade.splits) {
            if (split.first >= pixels || split.second >= pixels) {
                return false;
            }
        }
        for (const Tree& tree : cascade.trees) {
            // A full binary tree: 2^depth - 1 splits, all of them inside the cascade's.
            if (((tree.splits + 1) & tree.splits) != 0 || tree.leaves == nullptr ||
                tree.firstSplit > cascade.splits.size() ||
                tree.splits > cascade.splits.size() - tree.firstSplit) {
                return false;
            }
        }
    }
    m_initialShape = std::move(initialShape);
    m_cascades = std::move(cascades);
    m_leaves = std::move(leaves);
    return true;
}

FaceLandmarks ShapeModel::Predict(const GreyView& image, const dlib::rectangle& box) const {
    // dlib's shape_predictor::operator() and impl::extract_feature_pixel_values, step by step
    // with the same types, so that every value is the same to the last bit.
    using dlib::impl::location;
    Shape current = m_initialShape;
    const dlib::point_transform_affine toImage = dlib::impl::unnormalizing_tform(box);
    std::vector<float> features;
    for (const Cascade& cascade : m_cascades) {
        const dlib::matrix<float, 2, 2> turn = dlib::matrix_cast<float>(
            dlib::impl::find_tform_between_shapes(m_initialShape, current).get_m());
        features.resize(cascade.anchors.size());
        for (std::size_t i = 0; i < features.size(); ++i) {
            const dlib::point p =
                toImage(turn * cascade.offsets[i] + location(current, cascade.anchors[i]));
            features[i] = p.x() >= 0 && p.y() >= 0 && p.x() < image.width && p.y() < image.height
                              ? image.top[p.y() * image.stride + p.x()]
                              : 0.0f;
        }
        float* sum = &current(0);
        for (const Tree& tree : cascade.trees) {
            const Split* splits = cascade.splits.data() + tree.firstSplit;
            uint32_t node = 0;
            while (node < tree.splits) {
                const Split& s = splits[node];
                node = features[s.first] - features[s.second] > s.threshold ? 2 * node + 1
                                                                            : 2 * node + 2;
            }
            const float* leaf = tree.leaves + (node - tree.splits) * kShapeValues;
            for (std::size_t k = 0; k < kShapeValues; ++k) {
                sum[k] += leaf[k];
            }
        }
    }
    FaceLandmarks marks;
    for (std::size_t i = 0; i < kLandmarkCount; ++i) {
        const dlib::vector<double, 2> p = toImage(location(current, i));
        marks.points[i] = {p.x(), p.y()};
    }
    return marks;
}

}  // namespace norvo
