#include "imaging/LandmarkModel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "base/Utf8Path.h"
#include "imaging/LandmarkModelFile.h"
#include "imaging/PictureData.h"

#ifdef _WIN32
#include <windows.h>

#include "base/WideText.h"
#endif

namespace norvo {

namespace {

// The model's cost does not depend on the picture's size, so faces wider than this are handed
// to it shrunk (by a whole factor, which OpenCV averages fastest): a larger copy would only
// cost time to make.
constexpr double kMaxModelBoxSide = 400.0;
// Faces narrower than this are enlarged (at most kMaxEnlargement times): the model reads
// whole pixels of the copy it sees, and on a face 90 pixels wide one pixel tilts the eye line
// by half a degree. (At 160 pixels the natural blend's eye-line error on rolled heads rose
// from 0.50 to 0.66 degrees, measured when the landmarks were still rounded to whole pixels.)
constexpr double kMinModelBoxSide = 300.0;
constexpr double kMaxEnlargement = 2.0;
// Around the box the model looks up to about a third of the box's side (the jaw reaches below
// the detector's box); the copy includes that much on every side.
constexpr double kCropMargin = 0.4;
// Boxes smaller than this carry too few pixels for landmarks.
constexpr int kMinBoxSide = 16;
// At least this share of the box must lie inside the picture.
constexpr double kMinBoxInside = 0.5;
// A box with less grey-level spread than this is a flat area, not a face.
constexpr double kMinGreySpread = 4.0;
// Eye distance of a plausible face, as a share of the box's width.
constexpr double kMinEyeShare = 0.15;
constexpr double kMaxEyeShare = 0.9;

#ifdef _WIN32
// The variable read through the wide API, so a path in any script arrives whole.
std::string Variable(const char* name) {
    const std::wstring wideName = win::ToWide(name);
    std::wstring value(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetEnvironmentVariableW(wideName.c_str(), value.data(),
                                                static_cast<DWORD>(value.size()));
        if (n == 0) {
            return {};
        }
        if (n < value.size()) {
            value.resize(n);
            return win::FromWide(value);
        }
        value.resize(n);  // n counts the terminating zero when the room was too small
    }
}
#endif

}  // namespace

const char* describe(LandmarkModelStatus status) {
    switch (status) {
        case LandmarkModelStatus::Ok:
            return "loaded";
        case LandmarkModelStatus::Missing:
            return "the landmark model file does not exist";
        case LandmarkModelStatus::Unreadable:
            return "the landmark model file cannot be read or is no 68-point shape model";
    }
    return "unknown landmark model status";
}

struct LandmarkModel::Shape {
    ShapeModel model;
};

LandmarkModel::LandmarkModel(std::string path) : m_strPath(std::move(path)) {}

LandmarkModel::~LandmarkModel() {
    std::lock_guard<std::mutex> lock(m_startMutex);
    if (m_loader.joinable()) {
        m_loader.join();
    }
}

std::string LandmarkModel::DefaultPath() {
#ifdef _WIN32
    if (std::string chosen = Variable(kLandmarkModelVariable); !chosen.empty()) {
        return chosen;
    }
    const std::wstring folder = win::ProgramFolder();
    return folder.empty() ? std::string()
                          : win::FromWide(folder + L"data\\" + win::ToWide(kLandmarkModelFileName));
#else
    const char* chosen = std::getenv(kLandmarkModelVariable);
    return chosen != nullptr && chosen[0] != '\0' ? chosen : kDefaultLandmarkModelPath;
#endif
}

void LandmarkModel::StartLoading(std::function<void()> thenAlso) {
    std::lock_guard<std::mutex> lock(m_startMutex);
    if (!m_loader.joinable()) {
        m_loader = std::thread([this, thenAlso = std::move(thenAlso)] {
            Load();
            if (thenAlso) {
                thenAlso();
            }
        });
    }
}

LandmarkModelStatus LandmarkModel::Load() {
    std::call_once(m_loadOnce, [this] {
        std::error_code ec;
        if (!std::filesystem::exists(PathFromUtf8(m_strPath), ec)) {
            m_status = LandmarkModelStatus::Missing;
            return;
        }
        auto shape = std::make_unique<Shape>();
        m_status = ReadShapeModel(m_strPath, shape->model) ? LandmarkModelStatus::Ok
                                                           : LandmarkModelStatus::Unreadable;
        if (m_status == LandmarkModelStatus::Ok) {
            m_shape = std::move(shape);
            m_ready.store(m_shape.get(), std::memory_order_release);
        }
    });
    return m_status;
}

std::optional<FaceLandmarks> LandmarkModel::Find(PictureHandle picture, const FaceBox& box) const {
    const Shape* model = m_ready.load(std::memory_order_acquire);
    if (!picture || !model) {
        return std::nullopt;
    }
    const int width = picture->header.biWidth;
    const int height = picture->header.biHeight;
    const int64_t boxWidth = int64_t{box.right} - box.left;
    const int64_t boxHeight = int64_t{box.bottom} - box.top;
    if (boxWidth < kMinBoxSide || boxHeight < kMinBoxSide || boxWidth > kMaxPictureSide ||
        boxHeight > kMaxPictureSide) {
        return std::nullopt;
    }
    const cv::Rect boxRect(box.left, box.top, static_cast<int>(boxWidth),
                           static_cast<int>(boxHeight));
    const cv::Rect whole(0, 0, width, height);
    if ((boxRect & whole).area() < kMinBoxInside * boxRect.area()) {
        return std::nullopt;
    }

    // The crop around the box, in grey, no wider than the model needs.
    const int margin = static_cast<int>(std::lround(kCropMargin * std::max(boxWidth, boxHeight)));
    const cv::Rect crop = cv::Rect(boxRect.x - margin, boxRect.y - margin,
                                   boxRect.width + 2 * margin, boxRect.height + 2 * margin) &
                          whole;
    // The bits are bottom-up: row y of the picture is row height-1-y of this view.
    const cv::Mat flipped(height, width, CV_8UC3, picture->bits,
                          static_cast<size_t>(PictureStride(width)));
    const cv::Mat source =
        flipped(cv::Rect(crop.x, height - crop.y - crop.height, crop.width, crop.height));
    double scale = 1.0;
    if (boxWidth > kMaxModelBoxSide) {
        scale = 1.0 / std::ceil(static_cast<double>(boxWidth) / kMaxModelBoxSide);
    } else if (boxWidth < kMinModelBoxSide) {
        scale = std::min(kMaxEnlargement, kMinModelBoxSide / static_cast<double>(boxWidth));
    }
    cv::Mat grey;  // upside down, like the view
    if (scale < 1.0) {
        // Shrunk first and turned grey after, on the fewer pixels.
        cv::Mat small;
        cv::resize(source, small, cv::Size(), scale, scale, cv::INTER_AREA);
        cv::cvtColor(small, grey, cv::COLOR_BGR2GRAY);
    } else {
        cv::cvtColor(source, grey, cv::COLOR_BGR2GRAY);
        if (scale > 1.0) {
            cv::resize(grey, grey, cv::Size(), scale, scale, cv::INTER_LINEAR);
        }
    }
    const double sx = static_cast<double>(grey.cols) / crop.width;
    const double sy = static_cast<double>(grey.rows) / crop.height;

    // Box corners in the copy's pixels (dlib's rectangles include their right and bottom).
    const long left = std::lround((box.left - crop.x) * sx);
    const long top = std::lround((box.top - crop.y) * sy);
    const long right = std::lround((box.right - crop.x) * sx) - 1;
    const long bottom = std::lround((box.bottom - crop.y) * sy) - 1;
    const cv::Rect inside =
        cv::Rect(static_cast<int>(left), grey.rows - 1 - static_cast<int>(bottom),
                 static_cast<int>(right - left + 1), static_cast<int>(bottom - top + 1)) &
        cv::Rect(0, 0, grey.cols, grey.rows);
    cv::Scalar mean, spread;
    cv::meanStdDev(grey(inside), mean, spread);
    if (spread[0] < kMinGreySpread) {
        return std::nullopt;
    }

    // The copy is upside down: the model reads it from its last row up.
    const GreyView upright{grey.ptr<uint8_t>(grey.rows - 1),
                           -static_cast<std::ptrdiff_t>(grey.step), grey.cols, grey.rows};
    FaceLandmarks marks = model->model.Predict(upright, dlib::rectangle(left, top, right, bottom));
    for (LandmarkPoint& p : marks.points) {
        p = {crop.x + (p.x + 0.5) / sx - 0.5, crop.y + (p.y + 0.5) / sy - 0.5};
    }

    const double eyes = marks.EyeDistance();
    if (eyes < kMinEyeShare * boxWidth || eyes > kMaxEyeShare * boxWidth) {
        return std::nullopt;
    }
    const cv::Rect2d around(box.left - 0.25 * boxWidth, box.top - 0.25 * boxHeight, 1.5 * boxWidth,
                            1.5 * boxHeight);
    for (const LandmarkPoint& eye : {marks.LeftEye(), marks.RightEye()}) {
        if (!around.contains(cv::Point2d(eye.x, eye.y))) {
            return std::nullopt;
        }
    }
    return marks;
}

}  // namespace norvo
