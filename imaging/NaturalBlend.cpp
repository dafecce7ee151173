#include "imaging/NaturalBlend.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>

#include <opencv2/imgproc.hpp>
#include <opencv2/photo.hpp>

#include "base/TwoThreads.h"
#include "imaging/FaceBlend.h"
#include "imaging/NaturalBlendSteps.h"
#include "imaging/PictureData.h"

namespace norvo {

namespace natural {

namespace {

// Bounds of the Lab deviation ratios. The lightness bound only keeps a flat face from being
// stretched without limit.
constexpr double kMinChromaRatio = 0.8;
constexpr double kMaxChromaRatio = 1.25;
constexpr double kMinLightnessRatio = 0.5;
constexpr double kMaxLightnessRatio = 2.0;
// Bounds of the blurred colour ratio: a dark corner of one face must not scale the other by
// a hundred.
constexpr double kMinColourRatio = 1.0 / 3.0;
constexpr double kMaxColourRatio = 3.0;
// Added to both blurred colours (0..255) before their ratio, so near-black areas do not
// turn noise into large factors.
constexpr double kColourRatioFloor = 4.0;
// Wide blurs are made on a copy small enough that their sigma there is about this.
constexpr double kBlurSigmaOnCopy = 2.0;
// Sub-pixel precision of the filled polygons (fillConvexPoly's shift).
constexpr int kPolygonShift = 4;

void FillConvex(cv::Mat& mask, const std::vector<cv::Point2f>& outline) {
    std::vector<cv::Point2f> hull;
    cv::convexHull(outline, hull);
    std::vector<cv::Point> fixed;
    fixed.reserve(hull.size());
    for (const cv::Point2f& p : hull) {
        fixed.emplace_back(static_cast<int>(std::lround(p.x * (1 << kPolygonShift))),
                           static_cast<int>(std::lround(p.y * (1 << kPolygonShift))));
    }
    cv::fillConvexPoly(mask, fixed, cv::Scalar(255), cv::LINE_8, kPolygonShift);
}

// The ratio of `top` to `bottom` (CV_32FC3), each blurred over `weight` (CV_32F, 0..1) only.
cv::Mat RatioOfBlurs(const cv::Mat& top, const cv::Mat& bottom, const cv::Mat& weight,
                     double sigma) {
    cv::Mat weight3;
    cv::merge(std::vector<cv::Mat>{weight, weight, weight}, weight3);
    // The kernel reaches 3 sigma (OpenCV's default, 4 sigma, costs a third more for nothing
    // seen).
    const int reach = static_cast<int>(std::ceil(3 * sigma));
    const cv::Size kernel(2 * reach + 1, 2 * reach + 1);
    cv::Mat blurredWeight;
    cv::Mat blurredTop;
    cv::Mat blurredBottom;
    cv::GaussianBlur(weight, blurredWeight, kernel, sigma);
    cv::GaussianBlur(top.mul(weight3), blurredTop, kernel, sigma);
    cv::GaussianBlur(bottom.mul(weight3), blurredBottom, kernel, sigma);
    // (t/w + floor) / (b/w + floor), written so that it is 1 where the weight blurs to 0.
    constexpr double kTiny = 1e-6;
    const cv::Mat floor1 = blurredWeight * kColourRatioFloor + kTiny;
    cv::Mat floor;
    cv::merge(std::vector<cv::Mat>{floor1, floor1, floor1}, floor);
    const cv::Mat ratio = (blurredTop + floor) / (blurredBottom + floor);
    return cv::max(cv::min(ratio, cv::Scalar::all(kMaxColourRatio)),
                   cv::Scalar::all(kMinColourRatio));
}

}  // namespace

cv::Matx23d EyeAlignment(cv::Point2d fromLeft, cv::Point2d fromRight, cv::Point2d toLeft,
                         cv::Point2d toRight) {
    // As complex numbers the similarity is z -> a z + b.
    const std::complex<double> f0(fromLeft.x, fromLeft.y);
    const std::complex<double> f1(fromRight.x, fromRight.y);
    const std::complex<double> t0(toLeft.x, toLeft.y);
    const std::complex<double> t1(toRight.x, toRight.y);
    const std::complex<double> a = (t1 - t0) / (f1 - f0);
    const std::complex<double> b = t0 - a * f0;
    return {a.real(), -a.imag(), b.real(), a.imag(), a.real(), b.imag()};
}

cv::Mat FaceWeights(cv::Size size, const std::vector<cv::Point2f>& hullA,
                    const std::vector<cv::Point2f>& hullB, double ramp) {
    cv::Mat a = cv::Mat::zeros(size, CV_8U);
    cv::Mat b = cv::Mat::zeros(size, CV_8U);
    FillConvex(a, hullA);
    FillConvex(b, hullB);
    cv::Mat both;
    cv::bitwise_and(a, b, both);
    cv::Mat distance;
    cv::distanceTransform(both, distance, cv::DIST_L2, cv::DIST_MASK_PRECISE);
    // The pixels along the edge are 1 from the outside: they start the ramp at 0.
    const float width = static_cast<float>(std::max(1.0, ramp));
    distance.forEach<float>([width](float& d, const int*) {
        const float t = std::clamp((d - 1.0f) / width, 0.0f, 1.0f);
        d = d > 0 ? t * t * (3 - 2 * t) : 0.0f;
    });
    return distance;
}

cv::Mat TransferLabColour(const cv::Mat& face, const cv::Mat& body, const cv::Mat& region) {
    cv::Mat faceLab;
    cv::Mat bodyLab;
    cv::cvtColor(face * (1.0 / 255.0), faceLab, cv::COLOR_BGR2Lab);
    cv::cvtColor(body * (1.0 / 255.0), bodyLab, cv::COLOR_BGR2Lab);
    cv::Scalar faceMean, faceSpread, bodyMean, bodySpread;
    cv::meanStdDev(faceLab, faceMean, faceSpread, region);
    cv::meanStdDev(bodyLab, bodyMean, bodySpread, region);
    cv::Matx34f map = cv::Matx34f::zeros();
    for (int c = 0; c < 3; ++c) {
        const double low = c == 0 ? kMinLightnessRatio : kMinChromaRatio;
        const double high = c == 0 ? kMaxLightnessRatio : kMaxChromaRatio;
        const double ratio =
            faceSpread[c] > 1e-6 ? std::clamp(bodySpread[c] / faceSpread[c], low, high) : high;
        map(c, c) = static_cast<float>(ratio);
        map(c, 3) = static_cast<float>(bodyMean[c] - faceMean[c] * ratio);
    }
    cv::transform(faceLab, faceLab, map);
    cv::Mat out;
    cv::cvtColor(faceLab, out, cv::COLOR_Lab2BGR);
    return out * 255.0;
}

cv::Mat BlurredRatio(const cv::Mat& numerator, const cv::Mat& denominator, const cv::Mat& region,
                     double sigma) {
    cv::Mat weight;
    cv::Mat(region != 0).convertTo(weight, CV_32F, 1.0 / 255.0);
    // A wide blur is as good on a smaller copy, and costs a fraction there: the ratio is made
    // on a copy where sigma is kBlurSigmaOnCopy, and scaled back up.
    const int shrink = static_cast<int>(sigma / kBlurSigmaOnCopy);
    if (shrink < 2) {
        return RatioOfBlurs(numerator, denominator, weight, sigma);
    }
    const cv::Size size(std::max(1, numerator.cols / shrink), std::max(1, numerator.rows / shrink));
    cv::Mat top;
    cv::Mat bottom;
    cv::Mat smallWeight;
    cv::resize(numerator, top, size, 0, 0, cv::INTER_AREA);
    cv::resize(denominator, bottom, size, 0, 0, cv::INTER_AREA);
    cv::resize(weight, smallWeight, size, 0, 0, cv::INTER_AREA);
    const double scale = std::sqrt(static_cast<double>(size.area()) / numerator.total());
    cv::Mat ratio = RatioOfBlurs(top, bottom, smallWeight, sigma * scale);
    cv::resize(ratio, ratio, numerator.size(), 0, 0, cv::INTER_LINEAR);
    return ratio;
}

cv::Mat MatchBlurredColour(const cv::Mat& face, const cv::Mat& body, const cv::Mat& region,
                           double sigma) {
    return face.mul(BlurredRatio(body, face, region, sigma));
}

cv::Mat SeamlessPaste(const cv::Mat& face, const cv::Mat& body, const cv::Mat& inside) {
    // seamlessClone clears the mask's outer rows and columns, then puts the mask's bounding
    // box around the given point with half sizes rounded down; this point puts it back where
    // it was taken from.
    cv::Mat mask = inside.clone();
    mask.row(0).setTo(0);
    mask.row(mask.rows - 1).setTo(0);
    mask.col(0).setTo(0);
    mask.col(mask.cols - 1).setTo(0);
    const cv::Rect box = cv::boundingRect(mask);
    cv::Mat out;
    body.convertTo(out, CV_32FC3);
    if (box.width < 3 || box.height < 3) {
        return out;
    }
    cv::Mat pasted;
    cv::seamlessClone(face, body, mask, cv::Point(box.x + box.width / 2, box.y + box.height / 2),
                      pasted, cv::NORMAL_CLONE);
    pasted.convertTo(out, CV_32FC3);
    // The solve's values inside the box come back cut down to whole numbers, half a level
    // low on average; that half is added back there.
    const cv::Rect solved(box.x + 1, box.y + 1, box.width - 2, box.height - 2);
    out(solved) += cv::Scalar::all(0.5);
    return out;
}

}  // namespace natural

namespace {

using natural::EyeAlignment;

// Width of the mask's ramp and sigma of the colour ratio's blur, as shares of the eye
// distance: the values measured best on portraits.
constexpr double kRampShare = 0.2;
constexpr double kRatioSigmaShare = 0.2;

// Landmarks closer than this (pixels) give no direction for the eye line.
constexpr double kMinEyeDistance = 4.0;
// Rows and columns of the small copy kept clear around the face for the seamless solve.
constexpr double kSolveMargin = 3.0;
// The seamless solve goes where the mask weight is at least this.
constexpr float kSeamlessWeight = 0.5f;
// OpenCV's seamless solver erodes its mask this many times (3 x 3) before it takes the
// pasted picture's gradients.
constexpr int kSolverErosion = 3;
// Blur of the colour match's gain on the face (pixels of the small copy): smooth, yet close to
// the colour changes the match made.
constexpr double kGainSigma = 1.0;
// Smallest work copy the fields are computed on.
constexpr int kMinFieldSide = 8;
// The face picture is shrunk by area averaging first when the warp would shrink it more
// than this: bilinear sampling alone would skip pixels and alias.
constexpr double kPreShrinkBelow = 0.5;
// Below this many pixels the fully weighted middle is too small to measure colours on, and
// the whole mask is used.
constexpr int kMinCorePixels = 16;

// One output position of a bilinear enlargement: the two source positions and the weight of
// the second, with cv::resize's alignment of pixel centres and its clamping at the edges.
struct Tap {
    int first;
    int second;
    float weight;
};

std::vector<Tap> Taps(int outSize, int inSize) {
    std::vector<Tap> taps(static_cast<size_t>(outSize));
    const double step = static_cast<double>(inSize) / outSize;
    for (int i = 0; i < outSize; ++i) {
        const double at = (i + 0.5) * step - 0.5;
        int first = static_cast<int>(std::floor(at));
        float weight = static_cast<float>(at - first);
        if (first < 0) {
            first = 0;
            weight = 0;
        }
        if (first >= inSize - 1) {
            first = inSize - 1;
            weight = 0;
        }
        taps[static_cast<size_t>(i)] = {first, std::min(first + 1, inSize - 1), weight};
    }
    return taps;
}

cv::Point2d Apply(const cv::Matx23d& m, cv::Point2d p) {
    return {m(0, 0) * p.x + m(0, 1) * p.y + m(0, 2), m(1, 0) * p.x + m(1, 1) * p.y + m(1, 2)};
}

// The affine map `outer` after `inner`.
cv::Matx23d Then(const cv::Matx23d& inner, const cv::Matx23d& outer) {
    return {outer(0, 0) * inner(0, 0) + outer(0, 1) * inner(1, 0),
            outer(0, 0) * inner(0, 1) + outer(0, 1) * inner(1, 1),
            outer(0, 0) * inner(0, 2) + outer(0, 1) * inner(1, 2) + outer(0, 2),
            outer(1, 0) * inner(0, 0) + outer(1, 1) * inner(1, 0),
            outer(1, 0) * inner(0, 1) + outer(1, 1) * inner(1, 1),
            outer(1, 0) * inner(0, 2) + outer(1, 1) * inner(1, 2) + outer(1, 2)};
}

// Picture handle as an OpenCV view of its bits. The bits are bottom-up, so the view is the
// picture upside down: picture row y is view row height-1-y.
cv::Mat FlippedView(PictureHandle picture) {
    const int width = picture->header.biWidth;
    return cv::Mat(picture->header.biHeight, width, CV_8UC3, picture->bits,
                   static_cast<size_t>(PictureStride(width)));
}

cv::Point2d InView(const LandmarkPoint& p, int height) {
    return {p.x, height - 1 - p.y};
}

// The outline (jaw and brows) of a face in the view of a picture `height` rows high.
std::vector<cv::Point2f> OutlineInView(const FaceLandmarks& marks, int height) {
    std::vector<cv::Point2f> outline;
    for (size_t i = kJawFirst; i < kBrowsEnd; ++i) {
        const cv::Point2d p = InView(marks.points[i], height);
        outline.emplace_back(static_cast<float>(p.x), static_cast<float>(p.y));
    }
    return outline;
}

// The part of the body view the blend onto a face with this outline and eye distance reads and
// writes: the outline's bounds, with room for the solve's margin on the small copy.
cv::Rect BlendArea(const std::vector<cv::Point2f>& bodyOutline, double eyes, cv::Size body,
                   bool fullResolution) {
    const double scale = fullResolution ? 1.0 : std::min(1.0, kEyeDistanceForFields / eyes);
    const int margin = static_cast<int>(std::ceil(kSolveMargin / scale)) + 1;
    const cv::Rect bounds = cv::boundingRect(bodyOutline);
    return cv::Rect(bounds.x - margin, bounds.y - margin, bounds.width + 2 * margin,
                    bounds.height + 2 * margin) &
           cv::Rect(cv::Point(), body);
}

// The face picture warped by `align` onto `area` of the body view (bilinear), shrunk first
// when the warp would shrink it strongly.
cv::Mat WarpFace(const cv::Mat& faceView, const cv::Matx23d& align, const cv::Rect& area) {
    cv::Matx23d m = align;
    m(0, 2) -= area.x;
    m(1, 2) -= area.y;
    const double zoom = std::hypot(align(0, 0), align(1, 0));
    cv::Mat source = faceView;
    if (zoom < kPreShrinkBelow) {
        cv::Matx23d back;
        cv::invertAffineTransform(align, back);
        std::vector<cv::Point2f> corners;
        for (const cv::Point2d c : {cv::Point2d(area.x, area.y), cv::Point2d(area.br().x, area.y),
                                    cv::Point2d(area.x, area.br().y), cv::Point2d(area.br())}) {
            const cv::Point2d p = Apply(back, c);
            corners.emplace_back(static_cast<float>(p.x), static_cast<float>(p.y));
        }
        const int pad = static_cast<int>(std::ceil(2.0 / zoom));
        cv::Rect part = cv::boundingRect(corners);
        part = cv::Rect(part.x - pad, part.y - pad, part.width + 2 * pad, part.height + 2 * pad) &
               cv::Rect(0, 0, faceView.cols, faceView.rows);
        if (!part.empty()) {
            cv::Mat small;
            cv::resize(faceView(part), small, cv::Size(), zoom, zoom, cv::INTER_AREA);
            if (!small.empty()) {
                // Small pixel q sits at face pixel part.tl + (q + 0.5) * k - 0.5.
                const double kx = static_cast<double>(part.width) / small.cols;
                const double ky = static_cast<double>(part.height) / small.rows;
                m = Then(
                    cv::Matx23d(kx, 0, part.x + 0.5 * kx - 0.5, 0, ky, part.y + 0.5 * ky - 0.5), m);
                source = small;
            }
        }
    }
    cv::Mat out;
    cv::warpAffine(source, out, m, area.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    return out;
}

// The fields on the small grid, as one 8-channel matrix: the mask weight, the share of the
// face's own detail, and the offset and gain that turn the warped face (where the share is 1)
// or the body (where it is 0) into the colour-matched, seamless result.
cv::Mat MakeFields(const cv::Mat& warpedSmall, const cv::Mat& bodySmall, const cv::Mat& weights,
                   double eyesSmall) {
    const cv::Mat both = weights > 0;
    cv::Mat core = weights >= 0.999f;
    if (cv::countNonZero(core) < kMinCorePixels) {
        core = both;
    }
    cv::Mat faceColour;
    cv::Mat bodyColour;
    warpedSmall.convertTo(faceColour, CV_32FC3);
    bodySmall.convertTo(bodyColour, CV_32FC3);
    cv::Mat matched = natural::TransferLabColour(faceColour, bodyColour, core);
    matched = natural::MatchBlurredColour(matched, bodyColour, both, kRatioSigmaShare * eyesSmall);
    cv::Mat matched8;
    matched.convertTo(matched8, CV_8UC3);
    const cv::Mat inside = weights >= kSeamlessWeight;
    const cv::Mat solved = natural::SeamlessPaste(matched8, bodySmall, inside);

    // The solve followed the face's gradients where `share` is 1 (OpenCV's solver takes them
    // only kSolverErosion pixels inside its mask) and the body's elsewhere; the colour match
    // scaled the face by about `gain`. So the result is share * (gain * face + offset) +
    // (1 - share) * (body + offset): at full resolution the face's and the body's own fine
    // detail under fields that hold no detail themselves.
    cv::Mat guided;
    cv::erode(inside, guided, cv::Mat::ones(3, 3, CV_8U), cv::Point(-1, -1), kSolverErosion);
    cv::Mat share;
    guided.convertTo(share, CV_32F, 1.0 / 255.0);
    cv::Mat share3;
    cv::merge(std::vector<cv::Mat>{share, share, share}, share3);
    const cv::Mat gain = natural::BlurredRatio(matched, faceColour, both, kGainSigma);
    const cv::Mat offset =
        solved - share3.mul(gain.mul(faceColour)) - (cv::Scalar::all(1) - share3).mul(bodyColour);
    cv::Mat fields;
    cv::merge(std::vector<cv::Mat>{weights, share, offset, gain}, fields);
    return fields;
}

// Where each row of `area` (view rows) keeps its trace of mask weights, picture rows top-down.
std::vector<uint8_t*> TraceRows(std::vector<uint8_t>& weights, PictureHandle body,
                                const cv::Rect& area) {
    const int width = body->header.biWidth;
    const int height = body->header.biHeight;
    std::vector<uint8_t*> rows(static_cast<size_t>(area.height));
    for (int y = 0; y < area.height; ++y) {
        const size_t row = static_cast<size_t>(height - 1 - (area.y + y));
        rows[static_cast<size_t>(y)] = weights.data() + row * static_cast<size_t>(width) + area.x;
    }
    return rows;
}

// The final mix, at full resolution: body + weight * (result - body), the fields scaled up
// bilinearly on the way (as cv::resize would, without making full-size copies of them).
void MixIntoBody(cv::Mat& bodyArea, const cv::Mat& warped, const cv::Mat& fields,
                 const std::vector<uint8_t*>& trace) {
    constexpr int kFields = 8;  // weight, share, offset (3), gain (3)
    const std::vector<Tap> columns = Taps(bodyArea.cols, fields.cols);
    const std::vector<Tap> rows = Taps(bodyArea.rows, fields.rows);
    std::vector<float> line(static_cast<size_t>(fields.cols) * kFields);
    for (int y = 0; y < bodyArea.rows; ++y) {
        const float* above = fields.ptr<float>(rows[y].first);
        const float* below = fields.ptr<float>(rows[y].second);
        const float down = rows[y].weight;
        for (size_t i = 0; i < line.size(); ++i) {
            line[i] = above[i] + down * (below[i] - above[i]);
        }
        uint8_t* b = bodyArea.ptr<uint8_t>(y);
        const uint8_t* w = warped.ptr<uint8_t>(y);
        uint8_t* mixed = trace.empty() ? nullptr : trace[static_cast<size_t>(y)];
        for (int x = 0; x < bodyArea.cols; ++x) {
            const float* left = &line[static_cast<size_t>(columns[x].first) * kFields];
            const float* right = &line[static_cast<size_t>(columns[x].second) * kFields];
            const float across = columns[x].weight;
            auto at = [&](int f) { return left[f] + across * (right[f] - left[f]); };
            const float m = at(0);
            if (m <= 0.0f) {
                continue;
            }
            const float k = at(1);
            for (int c = 0; c < 3; ++c) {
                const int i = 3 * x + c;
                const float base = b[i];
                const float change = at(2 + c) + k * (at(5 + c) * w[i] - base);
                b[i] = cv::saturate_cast<uint8_t>(base + m * change);
            }
            if (mixed) {
                mixed[x] = std::max<uint8_t>(mixed[x], cv::saturate_cast<uint8_t>(m * 255.0f));
            }
        }
    }
}

}  // namespace

void PrepareNaturalBlend() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Everything runs on the calling thread: the pictures here are small, and on a machine
        // of two cores OpenCV's pool of spinning workers cost more time than they saved (the
        // blend of a portrait took twice as long with them).
        cv::setNumThreads(1);
        const cv::Mat pixel(1, 1, CV_32FC3, cv::Scalar::all(0.5));
        cv::Mat lab;
        cv::cvtColor(pixel, lab, cv::COLOR_BGR2Lab);
    });
}

bool BlendFaceNatural(PictureHandle body, const FaceLandmarks& bodyMarks, PictureHandle face,
                      const FaceLandmarks& faceMarks, const NaturalBlendOptions& options) {
    if (!body || !face) {
        return false;
    }
    const int bodyWidth = body->header.biWidth;
    const int bodyHeight = body->header.biHeight;
    const int faceHeight = face->header.biHeight;
    const cv::Point2d bodyLeft = InView(bodyMarks.LeftEye(), bodyHeight);
    const cv::Point2d bodyRight = InView(bodyMarks.RightEye(), bodyHeight);
    const cv::Point2d faceLeft = InView(faceMarks.LeftEye(), faceHeight);
    const cv::Point2d faceRight = InView(faceMarks.RightEye(), faceHeight);
    const double eyes = cv::norm(bodyRight - bodyLeft);
    if (!(eyes >= kMinEyeDistance) || !(cv::norm(faceRight - faceLeft) >= kMinEyeDistance)) {
        return false;
    }
    const cv::Matx23d align = EyeAlignment(faceLeft, faceRight, bodyLeft, bodyRight);

    // Outlines (jaw and brows): the body face's, and the face's as aligned onto it.
    const std::vector<cv::Point2f> bodyOutline = OutlineInView(bodyMarks, bodyHeight);
    std::vector<cv::Point2f> faceOutline;
    for (size_t i = kJawFirst; i < kBrowsEnd; ++i) {
        const cv::Point2d f = Apply(align, InView(faceMarks.points[i], faceHeight));
        faceOutline.emplace_back(static_cast<float>(f.x), static_cast<float>(f.y));
    }

    const double scale = options.fullResolution ? 1.0 : std::min(1.0, kEyeDistanceForFields / eyes);
    const cv::Rect area =
        BlendArea(bodyOutline, eyes, cv::Size(bodyWidth, bodyHeight), options.fullResolution);
    if (area.width < kMinFieldSide || area.height < kMinFieldSide) {
        return false;
    }

    cv::Mat bodyArea = FlippedView(body)(area);
    const cv::Mat warped = WarpFace(FlippedView(face), align, area);

    // The fields, on a copy with the eyes about kEyeDistanceForFields apart.
    const cv::Size small(
        std::max(kMinFieldSide, static_cast<int>(std::lround(area.width * scale))),
        std::max(kMinFieldSide, static_cast<int>(std::lround(area.height * scale))));
    const bool reduced = small != area.size();
    const double sx = static_cast<double>(small.width) / area.width;
    const double sy = static_cast<double>(small.height) / area.height;
    auto toSmall = [&](std::vector<cv::Point2f> outline) {
        for (cv::Point2f& p : outline) {
            p.x = static_cast<float>((p.x - area.x + 0.5) * sx - 0.5);
            p.y = static_cast<float>((p.y - area.y + 0.5) * sy - 0.5);
        }
        return outline;
    };
    cv::Mat warpedSmall = warped;
    cv::Mat bodySmall;
    if (reduced) {
        // The face is warped straight onto the small grid (no second pass over the full area).
        const cv::Matx23d toGrid(sx, 0, (0.5 - area.x) * sx - 0.5, 0, sy,
                                 (0.5 - area.y) * sy - 0.5);
        warpedSmall =
            WarpFace(FlippedView(face), Then(align, toGrid), cv::Rect(cv::Point(), small));
        cv::resize(bodyArea, bodySmall, small, 0, 0, cv::INTER_AREA);
    } else {
        bodySmall = bodyArea.clone();
    }
    const double eyesSmall = eyes * std::sqrt(sx * sy);
    const cv::Mat weights = natural::FaceWeights(small, toSmall(bodyOutline), toSmall(faceOutline),
                                                 kRampShare * eyesSmall);
    const cv::Mat both = weights > 0;
    if (cv::countNonZero(both) == 0) {
        return false;
    }
    const cv::Mat fields = MakeFields(warpedSmall, bodySmall, weights, eyesSmall);
    MixIntoBody(
        bodyArea, warped, fields,
        options.weights ? TraceRows(*options.weights, body, area) : std::vector<uint8_t*>());
    return true;
}

NaturalBlendReport BlendFacesNatural(PictureHandle body, const FaceBoxList& bodyBoxes,
                                     PictureHandle face, const FaceBox& faceBox, PictureHandle mask,
                                     const LandmarkFinder& find,
                                     const NaturalBlendOptions& options) {
    NaturalBlendReport report;
    if (!body || !face || !mask) {
        return report;
    }
    if (options.weights) {
        options.weights->resize(static_cast<size_t>(body->header.biWidth) *
                                static_cast<size_t>(body->header.biHeight));
    }
    auto inside = [body](const FaceBox& box) {
        return box.left < box.right && box.top < box.bottom && box.right > 0 && box.bottom > 0 &&
               box.left < body->header.biWidth && box.top < body->header.biHeight;
    };
    const std::optional<FaceLandmarks> faceMarks =
        find ? find(face, faceBox) : std::optional<FaceLandmarks>();
    // Every body face is measured on the body as given, before anything is pasted over it,
    // two at a time.
    std::vector<std::optional<FaceLandmarks>> bodyMarks(bodyBoxes.size());
    if (faceMarks) {
        ForEachOnTwoThreads(bodyBoxes.size(), [&](size_t i) {
            if (inside(bodyBoxes[i])) {
                bodyMarks[i] = find(body, bodyBoxes[i]);
            }
        });
    }

    // Faces are blended in list order, a later one over an earlier one where they overlap.
    // Faces whose areas lie apart touch no pixel of each other, so a run of them is blended
    // two at a time, to the same picture.
    const int width = body->header.biWidth;
    const int height = body->header.biHeight;
    std::vector<size_t> run;
    std::vector<cv::Rect> runAreas;
    auto blendRun = [&] {
        std::vector<char> natural(run.size(), 0);
        ForEachOnTwoThreads(run.size(), [&](size_t k) {
            const size_t i = run[k];
            natural[k] =
                bodyMarks[i] && BlendFaceNatural(body, *bodyMarks[i], face, *faceMarks, options);
        });
        for (size_t k = 0; k < run.size(); ++k) {
            if (!natural[k]) {
                BlendFaces(body, {bodyBoxes[run[k]]}, face, faceBox, mask);
                ++report.classicFaces;
            }
        }
        run.clear();
        runAreas.clear();
    };
    for (size_t i = 0; i < bodyBoxes.size(); ++i) {
        const FaceBox& box = bodyBoxes[i];
        if (!inside(box)) {
            continue;
        }
        ++report.faces;
        // What either blend may touch: the box (classic, a pixel of slack around it) and the
        // natural blend's area, in the body view's rows.
        cv::Rect reach(box.left - 1, height - box.bottom - 1, box.right - box.left + 2,
                       box.bottom - box.top + 2);
        if (bodyMarks[i]) {
            const cv::Point2d left = InView(bodyMarks[i]->LeftEye(), height);
            const cv::Point2d right = InView(bodyMarks[i]->RightEye(), height);
            const double eyes = cv::norm(right - left);
            if (eyes >= kMinEyeDistance) {
                reach |= BlendArea(OutlineInView(*bodyMarks[i], height), eyes,
                                   cv::Size(width, height), options.fullResolution);
            }
        }
        // A face taken from the body itself is read while it is pasted: one face at a time.
        if (face == body || std::any_of(runAreas.begin(), runAreas.end(), [&](const cv::Rect& a) {
                return (a & reach).area() > 0;
            })) {
            blendRun();
        }
        run.push_back(i);
        runAreas.push_back(reach);
    }
    blendRun();
    return report;
}

}  // namespace norvo
