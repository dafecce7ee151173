#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "services/gallery/wire/FaceRect.h"

namespace norvo {

// An 8-bit grey picture, rows top-down, one byte per pixel, no padding.
struct GreyPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

// Frontal face finder (HOG) over grey pictures; its model is built on first use. Detect may be
// called from any number of threads at once (each call borrows scanners of its own).
class FaceDetector {
public:
    // Long side of the copy the detector scans: the HOG scan costs grow with the pixel count,
    // and at this size a face filling a tenth of the picture is still well above the
    // detector's 80-pixel window.
    static constexpr int kWorkLongSide = 1000;

    // How many threads scan one picture: two halve the wait for an answer on a multi-core
    // machine; one gives the same boxes and is there to check that against.
    enum class ScanThreads { One, Two };

    explicit FaceDetector(ScanThreads threads = ScanThreads::Two);
    ~FaceDetector();
    FaceDetector(const FaceDetector&) = delete;
    FaceDetector& operator=(const FaceDetector&) = delete;

    // Starts building the model on a thread of its own, so that the first Detect finds it
    // ready; for callers that know detection is coming but first wait on something else.
    void Prepare();

    // Faces in the picture, largest first, in the picture's own pixel coordinates.
    std::vector<FaceRect> Detect(const GreyPicture& picture) const;

    // How many scanner pairs the pool has built so far (one per call that ever ran at once).
    std::size_t PoolSize() const;

private:
    struct Pool;
    std::unique_ptr<Pool> m_pool;
    ScanThreads m_threads;
};

}  // namespace norvo
