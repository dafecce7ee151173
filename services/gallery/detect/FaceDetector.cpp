#include "services/gallery/detect/FaceDetector.h"

#include <dlib/image_processing/frontal_face_detector.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "base/TwoThreads.h"

namespace norvo {

namespace {

constexpr double kWorkLongSide = FaceDetector::kWorkLongSide;
// Small pictures are enlarged up to this factor, so faces down to half the detector's
// window (40 px) are found in them.
constexpr double kMaxUpscale = 2.0;

// Detections scoring below this are dropped. The model's own cut is 0; weak hits just above
// it are mostly round badges and patterns (a mission patch scored 0.02 in our checks),
// while the real frontal faces scored 0.99 and more.
constexpr double kMinScore = 0.3;

using Detector = dlib::frontal_face_detector;

// Area-average scaling when shrinking (no aliasing that the HOG features would pick up),
// bilinear when enlarging.
void ScaleInto(const GreyPicture& in, double scale, dlib::array2d<unsigned char>& out) {
    const long outW = std::max(1L, std::lround(in.width * scale));
    const long outH = std::max(1L, std::lround(in.height * scale));
    out.set_size(outH, outW);
    const double sx = static_cast<double>(in.width) / outW;
    const double sy = static_cast<double>(in.height) / outH;
    if (scale < 1.0) {
        for (long y = 0; y < outH; ++y) {
            const int y0 = static_cast<int>(y * sy);
            const int y1 = std::max(y0 + 1, std::min(in.height, static_cast<int>((y + 1) * sy)));
            for (long x = 0; x < outW; ++x) {
                const int x0 = static_cast<int>(x * sx);
                const int x1 = std::max(x0 + 1, std::min(in.width, static_cast<int>((x + 1) * sx)));
                unsigned sum = 0;
                for (int yy = y0; yy < y1; ++yy) {
                    const std::uint8_t* row =
                        in.pixels.data() + static_cast<std::size_t>(yy) * in.width;
                    for (int xx = x0; xx < x1; ++xx) sum += row[xx];
                }
                out[y][x] = static_cast<unsigned char>(sum / ((y1 - y0) * (x1 - x0)));
            }
        }
        return;
    }
    for (long y = 0; y < outH; ++y) {
        const double fy = std::clamp((y + 0.5) * sy - 0.5, 0.0, in.height - 1.0);
        const int y0 = static_cast<int>(fy);
        const int y1 = std::min(y0 + 1, in.height - 1);
        const double wy = fy - y0;
        for (long x = 0; x < outW; ++x) {
            const double fx = std::clamp((x + 0.5) * sx - 0.5, 0.0, in.width - 1.0);
            const int x0 = static_cast<int>(fx);
            const int x1 = std::min(x0 + 1, in.width - 1);
            const double wx = fx - x0;
            auto at = [&](int yy, int xx) {
                return static_cast<double>(in.pixels[static_cast<std::size_t>(yy) * in.width + xx]);
            };
            const double top = at(y0, x0) * (1 - wx) + at(y0, x1) * wx;
            const double bottom = at(y1, x0) * (1 - wx) + at(y1, x1) * wx;
            out[y][x] = static_cast<unsigned char>(std::lround(top * (1 - wy) + bottom * wy));
        }
    }
}

}  // namespace

// The detector's pyramid is scanned in two parts: the work copy at full size and one step
// down, and everything from two steps down. Each pyramid step keeps (5/6)^2 of the pixels, so
// the first two levels cost about as much as all the smaller ones together, and two threads
// share one picture's scan evenly.
constexpr unsigned long kNearLevels = 2;

using Scanner = Detector::image_scanner_type;
using Pyramid = Scanner::pyramid_type;

// How many pyramid levels the scanner builds for an image of this size (its own rule).
unsigned long PyramidLevels(const Scanner& scanner, long rows, long cols) {
    Pyramid pyr;
    dlib::rectangle rect(cols, rows);
    unsigned long levels = 0;
    do {
        rect = pyr.rect_down(rect);
        ++levels;
    } while (rect.width() >= scanner.get_min_pyramid_layer_width() &&
             rect.height() >= scanner.get_min_pyramid_layer_height() &&
             levels < scanner.get_max_pyramid_levels());
    return levels;
}

struct FaceDetector::Pool {
    // Built from its serialised form on first use (the slow part, most of a second), so
    // the service answers its first line at once. Only its weights and overlap test are
    // used, read-only, by every call.
    std::once_flag modelOnce;
    std::unique_ptr<Detector> model;
    std::mutex mutex;
    // A scanner keeps the feature pyramid of the picture it scans, so each running call
    // borrows a pair of its own: one for the near levels, one for the rest.
    struct Scanners {
        Scanner nearLevels;
        Scanner farLevels;
    };
    std::vector<std::unique_ptr<Scanners>> idle;
    std::size_t built = 0;

    // Scanners borrowed for one call, handed back however the call ends.
    struct Lease {
        Pool& pool;
        std::unique_ptr<Scanners> scanners;
        ~Lease() {
            std::lock_guard lock(pool.mutex);
            pool.idle.push_back(std::move(scanners));
        }
    };

    void BuildModel() {
        std::call_once(modelOnce, [this] {
            model = std::make_unique<Detector>(dlib::get_frontal_face_detector());
        });
    }
    std::thread builder;  // the model built ahead of the first call, when asked to

    Lease Acquire() {
        BuildModel();
        std::lock_guard lock(mutex);
        if (!idle.empty()) {
            auto s = std::move(idle.back());
            idle.pop_back();
            return Lease{*this, std::move(s)};
        }
        ++built;
        auto s = std::make_unique<Scanners>();
        s->nearLevels.copy_configuration(model->get_scanner());
        s->nearLevels.set_max_pyramid_levels(kNearLevels);
        s->farLevels.copy_configuration(model->get_scanner());
        return Lease{*this, std::move(s)};
    }
};

namespace {

// Every window of every filter scoring at least kMinScore above its filter's threshold.
template <typename Image>
void ScanWindows(const Detector& model, Scanner& scanner, const Image& image,
                 std::vector<dlib::rect_detection>& out) {
    scanner.load(image);
    std::vector<std::pair<double, dlib::rectangle>> hits;
    for (unsigned long i = 0; i < model.num_detectors(); ++i) {
        const double threshold = model.get_w(i)(scanner.get_num_dimensions());
        scanner.detect(model.get_processed_w(i).get_detect_argument(), hits, threshold + kMinScore);
        for (const auto& [score, rect] : hits) out.push_back({score - threshold, i, rect});
    }
}

// The near levels on a second thread while this one scans the far levels; the far windows
// come back in the work copy's coordinates.
void ScanSplit(const Detector& model, Scanner& nearLevels, Scanner& farLevels,
               const dlib::array2d<unsigned char>& work, std::vector<dlib::rect_detection>& out) {
    std::vector<dlib::rect_detection> nearWindows;
    Pyramid pyr;
    RunBeside([&] { ScanWindows(model, nearLevels, work, nearWindows); },
              [&] {
                  // The same steps down the scanner itself takes, so the far part scans
                  // exactly the levels the near part leaves out.
                  // (Not named "far": Windows' headers define that away.)
                  dlib::array2d<unsigned char> oneDown, twoDown;
                  pyr(work, oneDown);
                  pyr(oneDown, twoDown);
                  ScanWindows(model, farLevels, twoDown, out);
              });
    for (auto& w : out) w.rect = pyr.rect_up(w.rect, kNearLevels);
    out.insert(out.end(), nearWindows.begin(), nearWindows.end());
}

// Best first; a window overlapping one already kept is the same face seen again.
std::vector<dlib::rectangle> DistinctFaces(const Detector& model,
                                           std::vector<dlib::rect_detection>& windows) {
    std::stable_sort(windows.begin(), windows.end(),
                     [](const dlib::rect_detection& a, const dlib::rect_detection& b) {
                         return a.detection_confidence > b.detection_confidence;
                     });
    std::vector<dlib::rectangle> kept;
    for (const auto& w : windows) {
        const bool seen = std::any_of(kept.begin(), kept.end(), [&](const dlib::rectangle& k) {
            return model.get_overlap_tester()(k, w.rect);
        });
        if (!seen)
            kept.push_back(w.rect);
    }
    return kept;
}

}  // namespace

FaceDetector::FaceDetector(ScanThreads threads)
    : m_pool(std::make_unique<Pool>()), m_threads(threads) {}
FaceDetector::~FaceDetector() {
    if (m_pool->builder.joinable())
        m_pool->builder.join();
}

void FaceDetector::Prepare() {
    std::lock_guard lock(m_pool->mutex);
    if (!m_pool->builder.joinable())
        m_pool->builder = std::thread([pool = m_pool.get()] { pool->BuildModel(); });
}

std::size_t FaceDetector::PoolSize() const {
    std::lock_guard lock(m_pool->mutex);
    return m_pool->built;
}

std::vector<FaceRect> FaceDetector::Detect(const GreyPicture& picture) const {
    std::vector<FaceRect> faces;
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.pixels.size() != static_cast<std::size_t>(picture.width) * picture.height) {
        return faces;
    }
    const double longSide = std::max(picture.width, picture.height);
    const double scale = std::min(kMaxUpscale, kWorkLongSide / longSide);

    dlib::array2d<unsigned char> work;
    ScaleInto(picture, scale, work);

    std::vector<dlib::rect_detection> windows;
    {
        const Pool::Lease lease = m_pool->Acquire();
        const Detector& model = *m_pool->model;
        if (m_threads == ScanThreads::Two &&
            PyramidLevels(model.get_scanner(), work.nr(), work.nc()) > kNearLevels) {
            ScanSplit(model, lease.scanners->nearLevels, lease.scanners->farLevels, work, windows);
        } else {
            ScanWindows(model, lease.scanners->farLevels, work, windows);
        }
    }
    const std::vector<dlib::rectangle> kept = DistinctFaces(*m_pool->model, windows);

    const double sx = static_cast<double>(picture.width) / work.nc();
    const double sy = static_cast<double>(picture.height) / work.nr();
    for (const dlib::rectangle& r : kept) {
        // Back to picture pixels, clipped: boxes of faces at the edge may reach past it.
        const long left =
            std::clamp(std::lround(r.left() * sx), 0L, static_cast<long>(picture.width));
        const long top =
            std::clamp(std::lround(r.top() * sy), 0L, static_cast<long>(picture.height));
        const long right =
            std::clamp(std::lround((r.right() + 1) * sx), 0L, static_cast<long>(picture.width));
        const long bottom =
            std::clamp(std::lround((r.bottom() + 1) * sy), 0L, static_cast<long>(picture.height));
        if (right <= left || bottom <= top)
            continue;
        faces.push_back({static_cast<int>(left), static_cast<int>(top),
                         static_cast<int>(right - left), static_cast<int>(bottom - top)});
    }
    std::stable_sort(faces.begin(), faces.end(), [](const FaceRect& a, const FaceRect& b) {
        return static_cast<long long>(a.width) * a.height >
               static_cast<long long>(b.width) * b.height;
    });
    return faces;
}

}  // namespace norvo
