#pragma once

// dlib's 68-point face shape model (a cascade of regression-tree forests), laid out for
// finding landmarks fast. dlib's own shape_predictor keeps every tree's splits and every leaf
// in a heap block of its own, 120,000 blocks spread over 100 MB: walking the trees then waits
// on memory for most of its time. Here each cascade's splits lie in one block and all leaves
// in another, and the landmarks come out in fractions of a pixel instead of rounded.

#include <dlib/geometry/rectangle.h>
#include <dlib/geometry/vector.h>
#include <dlib/matrix.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/FaceLandmarks.h"

namespace norvo {

// A grey picture the model reads, rows top-down; `stride` may be negative (a bottom-up
// picture read from its last row).
struct GreyView {
    const uint8_t* top = nullptr;
    std::ptrdiff_t stride = 0;
    long width = 0;
    long height = 0;
};

class ShapeModel {
public:
    // Shape vectors: x and y of every part, in the box's unit square.
    using Shape = dlib::matrix<float, 0, 1>;

    struct Split {
        uint16_t first;  // feature pixels whose difference is compared
        uint16_t second;
        float threshold;  // above it, the walk goes to the left child
    };
    struct Tree {
        uint32_t firstSplit;  // into the cascade's splits
        uint32_t splits;      // 2^depth - 1; the tree has one leaf more
        const float* leaves;  // kShapeValues floats per leaf, in the model's LeafStore
    };
    struct Cascade {
        // Each feature pixel sits at an offset from one part of the current shape.
        std::vector<uint32_t> anchors;
        std::vector<dlib::vector<float, 2>> offsets;
        std::vector<Tree> trees;
        std::vector<Split> splits;
    };

    // The parts the model places, and its feature pixels per cascade at most (split indices
    // are 16 bits wide).
    static constexpr std::size_t kShapeValues = 2 * kLandmarkCount;
    static constexpr std::size_t kMaxFeaturePixels = 1u << 16;

    // The leaves of all trees, in blocks the kernel may back with huge pages: a face's walk
    // through the trees reads 7,500 leaves spread over 65 MB, and with small pages nearly
    // every one of them costs a page-table walk too.
    class LeafStore {
    public:
        // Room for `count` leaves, uninitialised; nullptr when memory runs out. Stays where
        // it is for the store's life.
        float* Add(std::size_t count);

    private:
        struct Free {
            void operator()(float* p) const;
        };
        std::vector<std::unique_ptr<float[], Free>> m_blocks;
        float* m_next = nullptr;  // the free part of the last block
        std::size_t m_free = 0;   // and its size in floats
    };

    ShapeModel() = default;

    // Takes the model's parts, the trees' leaves in `leaves`; false (and nothing kept) when
    // they do not fit together: a shape that is not kShapeValues long, an anchor, a feature
    // pixel or a split out of range, a tree that is not full.
    bool Assign(Shape initialShape, std::vector<Cascade> cascades, LeafStore leaves);

    bool Empty() const { return m_cascades.empty(); }

    // The landmarks of the face in `box` (inclusive corners, pixels of `image`), in pixels of
    // `image` with centres at whole numbers. The same arithmetic as dlib's shape_predictor,
    // so rounded to whole pixels they are exactly its answer. Only on a model that Assign took.
    FaceLandmarks Predict(const GreyView& image, const dlib::rectangle& box) const;

private:
    Shape m_initialShape;
    std::vector<Cascade> m_cascades;
    LeafStore m_leaves;
};

}  // namespace norvo
