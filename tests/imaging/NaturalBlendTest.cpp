// The natural blend's steps and the whole blend on drawn faces with known landmarks.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "imaging/FaceBlend.h"
#include "imaging/NaturalBlend.h"
#include "imaging/NaturalBlendSteps.h"
#include "imaging/Picture.h"

namespace norvo {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct PictureDeleter {
    void operator()(Picture* p) const { ReleasePicture(p); }
};
using Owned = std::unique_ptr<Picture, PictureDeleter>;

// A picture of the library holding `image` (CV_8UC3 BGR, rows top-down).
Owned FromMat(const cv::Mat& image) {
    Owned p(CreatePicture(image.cols, image.rows));
    const PictureDescription* d = DescribePicture(p.get());
    for (int y = 0; y < image.rows; ++y) {
        std::memcpy(d->bits + (image.rows - 1 - y) * PictureStride(image.cols), image.ptr(y),
                    3 * static_cast<size_t>(image.cols));
    }
    return p;
}

cv::Mat ToMat(PictureHandle p) {
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

// A plausible 68-point face: eyes `eyes` apart around `centre`, the eye line turned by
// `degrees` (clockwise on screen).
FaceLandmarks FaceAt(cv::Point2d centre, double eyes, double degrees) {
    std::vector<cv::Point2d> unit;  // eye distance 1, eyes at (-0.5, 0) and (0.5, 0)
    for (int i = 0; i < 17; ++i) {
        const double t = kPi * i / 16;
        unit.emplace_back(-std::cos(t), 0.1 + 1.5 * std::sin(t));
    }
    for (int i = 0; i < 5; ++i) unit.emplace_back(-0.9 + 0.175 * i, -0.35);
    for (int i = 0; i < 5; ++i) unit.emplace_back(0.2 + 0.175 * i, -0.35);
    for (int i = 0; i < 4; ++i) unit.emplace_back(0, 0.05 + 0.18 * i);
    for (int i = 0; i < 5; ++i) unit.emplace_back(-0.25 + 0.125 * i, 0.7);
    for (double side : {-0.5, 0.5}) {
        for (int i = 0; i < 6; ++i) {
            unit.emplace_back(side + 0.18 * std::cos(kPi * i / 3), 0.07 * std::sin(kPi * i / 3));
        }
    }
    for (int i = 0; i < 12; ++i) {
        unit.emplace_back(0.45 * std::cos(kPi * i / 6), 1.05 + 0.15 * std::sin(kPi * i / 6));
    }
    for (int i = 0; i < 8; ++i) {
        unit.emplace_back(0.3 * std::cos(kPi * i / 4), 1.05 + 0.06 * std::sin(kPi * i / 4));
    }
    const double c = std::cos(degrees * kPi / 180);
    const double s = std::sin(degrees * kPi / 180);
    FaceLandmarks marks;
    for (size_t i = 0; i < kLandmarkCount; ++i) {
        const cv::Point2d u = unit[i] * eyes;
        marks.points[i] = {centre.x + c * u.x - s * u.y, centre.y + s * u.x + c * u.y};
    }
    return marks;
}

cv::Point Pixel(const LandmarkPoint& p) {
    return {static_cast<int>(std::lround(p.x)), static_cast<int>(std::lround(p.y))};
}

// A drawn face: skin filling the landmark outline, dark dots on the eyes, on a background.
cv::Mat DrawFace(cv::Size size, const FaceLandmarks& marks, cv::Scalar skin, cv::Scalar back) {
    cv::Mat image(size, CV_8UC3, back);
    std::vector<cv::Point> outline;
    for (size_t i = kJawFirst; i < kBrowsEnd; ++i) outline.push_back(Pixel(marks.points[i]));
    std::vector<cv::Point> hull;
    cv::convexHull(outline, hull);
    cv::fillConvexPoly(image, hull, skin, cv::LINE_AA);
    const int dot = static_cast<int>(marks.EyeDistance() * 0.06);
    cv::circle(image, Pixel(marks.LeftEye()), dot, cv::Scalar(20, 20, 20), -1, cv::LINE_AA);
    cv::circle(image, Pixel(marks.RightEye()), dot, cv::Scalar(20, 20, 20), -1, cv::LINE_AA);
    // Some texture, so gradients are not all zero.
    cv::Mat noise(size, CV_8UC3);
    cv::randn(noise, cv::Scalar::all(0), cv::Scalar::all(3));
    return image + noise;
}

double Grey(const cv::Mat& image, const LandmarkPoint& at) {
    const cv::Vec3b p = image.at<cv::Vec3b>(Pixel(at));
    return (p[0] + p[1] + p[2]) / 3.0;
}

TEST(NaturalBlendSteps, EyeAlignmentRecoversRotationScaleAndShift) {
    const struct {
        double degrees, scale, dx, dy;
    } cases[] = {{0, 1, 0, 0}, {11, 1.3, 40, -12}, {-12, 0.4, -5, 300}, {170, 2.5, 0.5, 0.25}};
    const cv::Point2d left(10, 20);
    const cv::Point2d right(50, 27);
    for (const auto& c : cases) {
        const double a = c.scale * std::cos(c.degrees * kPi / 180);
        const double b = c.scale * std::sin(c.degrees * kPi / 180);
        const cv::Matx23d want(a, -b, c.dx, b, a, c.dy);
        auto map = [&](cv::Point2d p) { return cv::Point2d(want * cv::Vec3d(p.x, p.y, 1)); };
        const cv::Matx23d got = natural::EyeAlignment(left, right, map(left), map(right));
        for (int i = 0; i < 6; ++i) {
            EXPECT_NEAR(got.val[i], want.val[i], 1e-9) << c.degrees << " degrees, entry " << i;
        }
    }
}

TEST(NaturalBlendSteps, WeightsRiseSmoothlyInsideBothOutlinesOnly) {
    const std::vector<cv::Point2f> a{{20, 20}, {80, 20}, {80, 80}, {20, 80}};
    const std::vector<cv::Point2f> b{{40, 40}, {100, 40}, {100, 100}, {40, 100}};
    const double ramp = 10;
    const cv::Mat w = natural::FaceWeights(cv::Size(120, 120), a, b, ramp);
    ASSERT_EQ(w.type(), CV_32F);
    for (int y = 0; y < w.rows; ++y) {
        for (int x = 0; x < w.cols; ++x) {
            const float v = w.at<float>(y, x);
            ASSERT_GE(v, 0.0f);
            ASSERT_LE(v, 1.0f);
            const bool inBoth = x > 40 && x < 80 && y > 40 && y < 80;
            if (!inBoth) {
                ASSERT_EQ(v, 0.0f) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(w.at<float>(60, 60), 1.0f);
    // Along a row from the edge to the middle: rising, by small steps, full after the ramp.
    float previous = 0;
    for (int x = 40; x <= 60; ++x) {
        const float v = w.at<float>(60, x);
        EXPECT_GE(v, previous);
        EXPECT_LE(v - previous, 0.2f) << x;
        previous = v;
    }
    EXPECT_GT(w.at<float>(60, 45), 0.1f);
    EXPECT_LT(w.at<float>(60, 45), 0.6f);
    EXPECT_EQ(w.at<float>(60, 40 + static_cast<int>(ramp) + 2), 1.0f);
}

TEST(NaturalBlendSteps, LabTransferMovesTheFaceToTheBodysColour) {
    cv::Mat body(40, 40, CV_32FC3);
    cv::randu(body, cv::Scalar(60, 90, 150), cv::Scalar(100, 130, 210));
    const cv::Mat all(40, 40, CV_8U, cv::Scalar(255));
    auto lab = [&](const cv::Mat& bgr) {
        cv::Mat out;
        cv::cvtColor(bgr * (1.0 / 255), out, cv::COLOR_BGR2Lab);
        cv::Scalar mean, spread;
        cv::meanStdDev(out, mean, spread, all);
        return std::pair{mean, spread};
    };

    // A flat patch takes the body's mean colour.
    const cv::Mat flat(40, 40, CV_32FC3, cv::Scalar(200, 40, 30));
    const auto [flatMean, flatSpread] = lab(natural::TransferLabColour(flat, body, all));
    const auto [bodyMean, bodySpread] = lab(body);
    EXPECT_LT(cv::norm(flatMean - bodyMean), 0.5);

    // A more colourful face keeps 0.8 of its a*/b* spread (lips stay lips), and its
    // lightness spread follows the body's within 0.5 to 2 times its own.
    cv::Mat vivid(40, 40, CV_32FC3);
    cv::randu(vivid, cv::Scalar(40, 70, 110), cv::Scalar(120, 150, 230));
    const auto [vividMean, vividSpread] = lab(vivid);
    const auto [outMean, outSpread] = lab(natural::TransferLabColour(vivid, body, all));
    for (int c : {1, 2}) {
        ASSERT_LT(bodySpread[c], 0.8 * vividSpread[c]);
        EXPECT_NEAR(outSpread[c] / vividSpread[c], 0.8, 0.03) << "channel " << c;
    }
    EXPECT_NEAR(outSpread[0] / vividSpread[0], std::clamp(bodySpread[0] / vividSpread[0], 0.5, 2.0),
                0.03);
    EXPECT_LT(cv::norm(outMean - bodyMean), 1.0);
}

TEST(NaturalBlendSteps, BlurredRatioEvensOutLightFromOneSide) {
    const cv::Mat body(60, 80, CV_32FC3, cv::Scalar(90, 120, 170));
    cv::Mat face(60, 80, CV_32FC3);
    for (int x = 0; x < face.cols; ++x) {
        face.col(x).setTo(cv::Scalar(90, 120, 170) * (0.5 + x / 80.0));  // lit from the right
    }
    cv::Mat region(60, 80, CV_8U, cv::Scalar(0));
    region(cv::Rect(10, 10, 60, 40)).setTo(255);
    const cv::Mat out = natural::MatchBlurredColour(face, body, region, 8);
    auto green = [](const cv::Mat& m, int x) { return m.at<cv::Vec3f>(30, x)[1]; };
    const double before = green(face, 65) - green(face, 15);
    const double after = green(out, 65) - green(out, 15);
    EXPECT_GT(before, 70);
    EXPECT_LT(std::abs(after), 0.25 * before);
    EXPECT_NEAR(green(out, 40), 120, 6);
}

TEST(NaturalBlendSteps, SeamlessPasteKeepsASeamlessPasteAndRemovesAnOffset) {
    cv::Mat body(64, 64, CV_8UC3);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            body.at<cv::Vec3b>(y, x) = cv::Vec3b(40 + x, 60 + y, 100 + (x + y) / 2);
        }
    }
    cv::Mat inside(64, 64, CV_8U, cv::Scalar(0));
    cv::circle(inside, {32, 32}, 20, cv::Scalar(255), -1);
    cv::Mat bodyF;
    body.convertTo(bodyF, CV_32FC3);

    const cv::Mat same = natural::SeamlessPaste(body, body, inside);
    EXPECT_LE(cv::norm(same, bodyF, cv::NORM_INF), 0.5 + 1e-3);

    cv::Mat brighter = body + cv::Scalar::all(30);
    const cv::Mat evened = natural::SeamlessPaste(brighter, body, inside);
    EXPECT_LE(cv::norm(evened, bodyF, cv::NORM_INF), 1.0);
}

// Two drawn faces of different skin; the body's is turned by 12 degrees.
class NaturalBlendTest : public ::testing::Test {
protected:
    void SetUp() override {
        PrepareNaturalBlend();  // as the program does: OpenCV on the calling thread
        faceMarks = FaceAt({150, 130}, 80, 0);
        bodyMarks = FaceAt({200, 180}, 100, 12);
        face = FromMat(DrawFace({300, 320}, faceMarks, {170, 190, 230}, {40, 140, 40}));
        body = FromMat(DrawFace({400, 420}, bodyMarks, {70, 110, 160}, {150, 90, 60}));
        mask = Owned(CreatePicture(16, 16));
        std::memset(DescribePicture(mask.get())->bits, 0xff,
                    DescribePicture(mask.get())->header->biSizeImage);
    }

    FaceLandmarks faceMarks;
    FaceLandmarks bodyMarks;
    Owned face;
    Owned body;
    Owned mask;
};

TEST_F(NaturalBlendTest, AlignsTheEyesTakesTheBodysToneAndLeavesTheRest) {
    const cv::Mat before = ToMat(body.get());
    std::vector<uint8_t> weights;
    NaturalBlendOptions options;
    options.weights = &weights;
    weights.assign(before.total(), 0);
    ASSERT_TRUE(BlendFaceNatural(body.get(), bodyMarks, face.get(), faceMarks, options));
    const cv::Mat after = ToMat(body.get());

    // The face's dark eyes land on the body's turned eye line, not where an untilted paste
    // would put them.
    const FaceLandmarks untilted = FaceAt({200, 180}, 100, 0);
    for (const auto& [eye, wrong] : {std::pair{bodyMarks.LeftEye(), untilted.LeftEye()},
                                     std::pair{bodyMarks.RightEye(), untilted.RightEye()}}) {
        EXPECT_LT(Grey(after, eye), Grey(after, bodyMarks.points[29]) - 40);
        EXPECT_GT(Grey(after, wrong), Grey(after, eye) + 25);
    }
    // The cheeks have the body's skin, not the face's much lighter one.
    const LandmarkPoint cheek{(bodyMarks.points[3].x + bodyMarks.points[31].x) / 2,
                              (bodyMarks.points[3].y + bodyMarks.points[31].y) / 2};
    EXPECT_LT(cv::norm(cv::Vec3d(after.at<cv::Vec3b>(Pixel(cheek))) -
                       cv::Vec3d(before.at<cv::Vec3b>(Pixel(cheek)))),
              20);
    // Outside the face nothing changed, and the weights say where the face went.
    int changedOutside = 0;
    for (int y = 0; y < after.rows; ++y) {
        for (int x = 0; x < after.cols; ++x) {
            const bool mixed = weights[static_cast<size_t>(y) * after.cols + x] > 0;
            if (!mixed && after.at<cv::Vec3b>(y, x) != before.at<cv::Vec3b>(y, x)) {
                ++changedOutside;
            }
        }
    }
    EXPECT_EQ(changedOutside, 0);
    EXPECT_EQ(weights[static_cast<size_t>(Pixel(bodyMarks.points[30]).y) * after.cols +
                      Pixel(bodyMarks.points[30]).x],
              255);
}

TEST_F(NaturalBlendTest, FieldsFromTheSmallCopyMatchTheFullResolutionOnes) {
    // Eyes 200 px apart: the fields are made at a fifth of the size.
    faceMarks = FaceAt({300, 260}, 160, 0);
    bodyMarks = FaceAt({400, 330}, 200, -10);
    face = FromMat(DrawFace({600, 640}, faceMarks, {170, 190, 230}, {40, 140, 40}));
    body = FromMat(DrawFace({800, 800}, bodyMarks, {70, 110, 160}, {150, 90, 60}));
    Owned full(CopyPicture(body.get()));
    NaturalBlendOptions exact;
    exact.fullResolution = true;
    ASSERT_TRUE(BlendFaceNatural(body.get(), bodyMarks, face.get(), faceMarks));
    ASSERT_TRUE(BlendFaceNatural(full.get(), bodyMarks, face.get(), faceMarks, exact));
    EXPECT_GT(cv::PSNR(ToMat(body.get()), ToMat(full.get())), 38.0);
}

TEST_F(NaturalBlendTest, FacesWithoutLandmarksAreBlendedTheClassicWay) {
    const FaceBox marked{120, 60, 280, 300};
    const FaceBox unmarked{20, 300, 100, 380};
    const FaceBox faceBox{80, 60, 220, 280};
    auto finder = [&](PictureHandle picture, const FaceBox& box) -> std::optional<FaceLandmarks> {
        if (picture == face.get())
            return faceMarks;
        if (box == marked)
            return bodyMarks;
        return std::nullopt;
    };
    const FaceBoxList boxes{marked, unmarked, {500, 500, 600, 600}, {10, 10, 10, 50}};

    Owned classic(CopyPicture(body.get()));
    BlendFaces(classic.get(), boxes, face.get(), faceBox, mask.get());
    const NaturalBlendReport report =
        BlendFacesNatural(body.get(), boxes, face.get(), faceBox, mask.get(), finder);
    EXPECT_EQ(report.faces, 2u);  // the box outside and the empty one do not count
    EXPECT_EQ(report.classicFaces, 1u);
    const cv::Mat natural = ToMat(body.get());
    const cv::Mat expected = ToMat(classic.get());
    const cv::Rect unmarkedArea(20, 300, 80, 80);
    EXPECT_EQ(cv::norm(natural(unmarkedArea), expected(unmarkedArea), cv::NORM_INF), 0);
    EXPECT_GT(cv::norm(natural(cv::Rect(150, 120, 100, 100)),
                       expected(cv::Rect(150, 120, 100, 100)), cv::NORM_L1),
              0);

    // Without landmarks for the face picture, every box is classic: the classic result.
    body = FromMat(DrawFace({400, 420}, bodyMarks, {70, 110, 160}, {150, 90, 60}));
    classic.reset(CopyPicture(body.get()));
    BlendFaces(classic.get(), boxes, face.get(), faceBox, mask.get());
    const NaturalBlendReport none = BlendFacesNatural(
        body.get(), boxes, face.get(), faceBox, mask.get(),
        [](PictureHandle, const FaceBox&) { return std::optional<FaceLandmarks>(); });
    EXPECT_EQ(none.classicFaces, 2u);
    EXPECT_EQ(cv::norm(ToMat(body.get()), ToMat(classic.get()), cv::NORM_INF), 0);
}

TEST_F(NaturalBlendTest, AGroupGivesThePictureOfBlendingOneFaceAfterAnother) {
    // Three faces side by side, one over the first and one without landmarks over the second,
    // each listed right after what it covers: faces apart are blended side by side, the others
    // after what they cover.
    const FaceBox faceBox{80, 60, 220, 280};
    const cv::Mat one = ToMat(body.get());
    cv::Mat row;
    cv::hconcat(std::vector<cv::Mat>{one, one, one}, row);
    auto shifted = [](FaceLandmarks marks, double dx) {
        for (LandmarkPoint& p : marks.points) p.x += dx;
        return marks;
    };
    auto box = [](int dx) { return FaceBox{110 + dx, 90, 300 + dx, 340}; };
    const FaceBoxList boxes{box(0), box(30), box(400), {500, 150, 600, 250}, box(800)};
    const std::vector<std::optional<FaceLandmarks>> marks{
        shifted(bodyMarks, 0), shifted(bodyMarks, 30), shifted(bodyMarks, 400), std::nullopt,
        shifted(bodyMarks, 800)};
    auto finder = [&](PictureHandle picture, const FaceBox& b) -> std::optional<FaceLandmarks> {
        if (picture == face.get())
            return faceMarks;
        for (size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i] == b)
                return marks[i];
        }
        return std::nullopt;
    };

    Owned group = FromMat(row);
    Owned expected = FromMat(row);
    for (size_t i = 0; i < boxes.size(); ++i) {
        if (!marks[i] || !BlendFaceNatural(expected.get(), *marks[i], face.get(), faceMarks)) {
            BlendFaces(expected.get(), {boxes[i]}, face.get(), faceBox, mask.get());
        }
    }
    const NaturalBlendReport report =
        BlendFacesNatural(group.get(), boxes, face.get(), faceBox, mask.get(), finder);
    EXPECT_EQ(report.faces, 5u);
    EXPECT_EQ(report.classicFaces, 1u);
    EXPECT_EQ(cv::norm(ToMat(group.get()), ToMat(expected.get()), cv::NORM_INF), 0);
}

}  // namespace
}  // namespace norvo
