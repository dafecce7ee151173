#pragma once

// Pictures, faces and landmarks shared by the blend benchmarks: the bundled photographs and
// synthetic variants of them, pictures of the library as OpenCV matrices and back, the
// service's face detector and the landmark model.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "imaging/FaceBox.h"
#include "imaging/LandmarkModel.h"
#include "imaging/Picture.h"
#include "services/gallery/detect/FaceDetector.h"

namespace norvo::bench {

struct PictureDeleter {
    void operator()(Picture* p) const { ReleasePicture(p); }
};
using Owned = std::unique_ptr<Picture, PictureDeleter>;

inline const std::string& GalleryDir() {
    static const std::string dir = NORVO_BENCH_GALLERY_DIR;
    return dir;
}

// A picture of the library from a top-down BGR matrix, and back.
inline Owned FromMat(const cv::Mat& image) {
    Owned p(CreatePicture(image.cols, image.rows));
    const PictureDescription* d = DescribePicture(p.get());
    for (int y = 0; y < image.rows; ++y) {
        std::memcpy(d->bits + (image.rows - 1 - y) * PictureStride(image.cols), image.ptr(y),
                    3 * static_cast<size_t>(image.cols));
    }
    return p;
}

inline cv::Mat ToMat(PictureHandle p) {
    const PictureDescription* d = DescribePicture(p);
    const int w = d->header->biWidth;
    const int h = d->header->biHeight;
    cv::Mat out(h, w, CV_8UC3);
    for (int y = 0; y < h; ++y) {
        std::memcpy(out.ptr(y), d->bits + (h - 1 - y) * PictureStride(w),
                    3 * static_cast<size_t>(w));
    }
    return out;
}

inline cv::Mat LoadMat(const std::string& path) {
    Owned p(LoadPicture(path));
    return p ? ToMat(p.get()) : cv::Mat();
}

// Faces the service's detector finds, largest first.
inline FaceBoxList DetectFaces(const FaceDetector& detector, const cv::Mat& image) {
    cv::Mat grey;
    cv::cvtColor(image, grey, cv::COLOR_BGR2GRAY);
    GreyPicture picture{grey.cols, grey.rows, {}};
    picture.pixels.assign(grey.datastart, grey.dataend);
    FaceBoxList boxes;
    for (const FaceRect& r : detector.Detect(picture)) {
        boxes.push_back({r.x, r.y, r.x + r.width, r.y + r.height});
    }
    return boxes;
}

// The variants of a photograph the quality bar is measured on.
enum class Variant {
    Original,
    RollLeft12,
    RollLeft10,
    RollRight10,
    RollRight12,
    WarmDark,
    CoolBright,
    SideLight
};

inline const char* VariantName(Variant v) {
    switch (v) {
        case Variant::Original:
            return "original";
        case Variant::RollLeft12:
            return "rolled -12";
        case Variant::RollLeft10:
            return "rolled -10";
        case Variant::RollRight10:
            return "rolled +10";
        case Variant::RollRight12:
            return "rolled +12";
        case Variant::WarmDark:
            return "warm-dark";
        case Variant::CoolBright:
            return "cool-bright";
        case Variant::SideLight:
            return "side light";
    }
    return "?";
}

inline bool IsRolled(Variant v) {
    return v == Variant::RollLeft12 || v == Variant::RollLeft10 || v == Variant::RollRight10 ||
           v == Variant::RollRight12;
}

// `photo` turned about `centre` (the head rolls), or relit.
inline cv::Mat MakeVariant(const cv::Mat& photo, Variant v, cv::Point2f centre) {
    auto roll = [&](double degrees) {
        cv::Mat out;
        cv::warpAffine(photo, out, cv::getRotationMatrix2D(centre, degrees, 1.0), photo.size(),
                       cv::INTER_CUBIC, cv::BORDER_REFLECT);
        return out;
    };
    cv::Mat f;
    photo.convertTo(f, CV_32FC3, 1.0 / 255);
    cv::Mat out;
    switch (v) {
        case Variant::Original:
            return photo.clone();
        case Variant::RollLeft12:
            return roll(12);  // counter-clockwise on screen
        case Variant::RollLeft10:
            return roll(10);
        case Variant::RollRight10:
            return roll(-10);
        case Variant::RollRight12:
            return roll(-12);
        case Variant::WarmDark:
            f = f.mul(cv::Scalar(0.45, 0.62, 0.8));  // blue, green, red
            break;
        case Variant::CoolBright:
            cv::pow(f, 0.7, f);
            f = f.mul(cv::Scalar(1.12, 1.02, 0.88));
            break;
        case Variant::SideLight: {
            cv::Mat light(f.size(), CV_32FC3);
            for (int x = 0; x < f.cols; ++x) {
                const float k = 0.3f + 1.0f * x / f.cols;  // dark on the left, bright right
                light.col(x).setTo(cv::Scalar::all(k));
            }
            f = f.mul(light);
            break;
        }
    }
    f.convertTo(out, CV_8UC3, 255.0);
    return out;
}

// A loaded landmark model (the Debian one unless NORVO_LANDMARK_MODEL names another).
inline LandmarkModel& Model() {
    static LandmarkModel model(LandmarkModel::DefaultPath());
    return model;
}

inline double Median(std::vector<double> v) {
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The 90th percentile (nearest rank).
inline double P90(std::vector<double> v) {
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    const size_t rank = static_cast<size_t>(std::ceil(0.9 * v.size()));
    return v[std::max<size_t>(rank, 1) - 1];
}

inline double Milliseconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace norvo::bench
