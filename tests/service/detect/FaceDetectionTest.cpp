#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "services/gallery/detect/FaceDetector.h"
#include "services/gallery/detect/PictureDecoder.h"
#include "tests/service/TestPictures.h"

namespace norvo {
namespace {

// Face boxes checked by eye on the bundled pictures (x, y, width, height).
constexpr FaceRect kHopperFace{175, 140, 190, 190};
constexpr FaceRect kAstronautFace{180, 75, 95, 97};
// Qt's gray and darkGray.
constexpr std::uint32_t kQtGray = 0xA0A0A4;
constexpr std::uint32_t kQtDarkGray = 0x808080;

double Overlap(const FaceRect& a, const FaceRect& b) {
    const int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
    const int x1 = std::min(a.x + a.width, b.x + b.width),
              y1 = std::min(a.y + a.height, b.y + b.height);
    if (x1 <= x0 || y1 <= y0)
        return 0;
    const double inter = double(x1 - x0) * (y1 - y0);
    return inter / (double(a.width) * a.height + double(b.width) * b.height - inter);
}

FaceRect Scaled(const FaceRect& r, double s, int dx = 0, int dy = 0) {
    return {int(r.x * s) + dx, int(r.y * s) + dy, int(r.width * s), int(r.height * s)};
}

using test::TestImage;

GreyPicture Grey(const TestImage& image) {
    return test::GreyOf(image);
}

TestImage ScaledBy(const TestImage& image, double s) {
    return test::SmoothlyScaled(image, int(image.width() * s), int(image.height() * s));
}

class FaceDetection : public ::testing::Test {
protected:
    static const FaceDetector& Detector() {
        static FaceDetector detector;
        return detector;
    }
    static void ExpectFaces(const TestImage& image, const std::vector<FaceRect>& expected) {
        const std::vector<FaceRect> found = Detector().Detect(Grey(image));
        ASSERT_EQ(found.size(), expected.size());
        for (const FaceRect& want : expected) {
            const bool matched = std::any_of(found.begin(), found.end(), [&](const FaceRect& f) {
                return Overlap(f, want) > 0.5;
            });
            EXPECT_TRUE(matched) << "no box near " << want.x << "," << want.y << " " << want.width;
        }
    }
};

TEST_F(FaceDetection, FindsTheBundledFacesWhereTheyAre) {
    ExpectFaces(test::BundledHopper(), {kHopperFace});
    ExpectFaces(test::BundledAstronaut(), {kAstronautFace});
}

TEST_F(FaceDetection, FindsFacesInScaledMirroredAndCombinedVariants) {
    const TestImage hopper = test::BundledHopper();
    const TestImage astronaut = test::BundledAstronaut();
    // Half size: the astronaut's face is ~47 px, found only because small pictures are enlarged.
    ExpectFaces(ScaledBy(astronaut, 0.5), {Scaled(kAstronautFace, 0.5)});
    ExpectFaces(ScaledBy(hopper, 0.5), {Scaled(kHopperFace, 0.5)});
    // Mirrored.
    const TestImage mirrored = hopper.mirrored(true, false);
    ExpectFaces(mirrored, {{hopper.width() - kHopperFace.x - kHopperFace.width, kHopperFace.y,
                            kHopperFace.width, kHopperFace.height}});
    // Cropped to the head.
    ExpectFaces(hopper.copy(100, 60, 340, 340),
                {{kHopperFace.x - 100, kHopperFace.y - 60, 190, 190}});
    // Two people side by side.
    ExpectFaces(test::SideBySide(hopper, astronaut),
                {kHopperFace, Scaled(kAstronautFace, 1.0, hopper.width(), 0)});
}

TEST_F(FaceDetection, MapsBoxesBackFromALargePhoto) {
    const TestImage large = test::DrawnOn(test::Plain(4000, 3000, kQtGray), 1000, 300,
                                          ScaledBy(test::BundledHopper(), 4.0));
    ExpectFaces(large, {Scaled(kHopperFace, 4.0, 1000, 300)});
}

TEST_F(FaceDetection, FindsNothingWithoutAFace) {
    const TestImage flat = test::Plain(640, 480, kQtDarkGray);
    EXPECT_TRUE(Detector().Detect(Grey(flat)).empty());
    EXPECT_TRUE(Detector().Detect(GreyPicture{}).empty());
    EXPECT_TRUE(Detector().Detect(GreyPicture{10, 10, std::vector<std::uint8_t>(5)}).empty());
    EXPECT_TRUE(Detector().Detect(GreyPicture{1, 1, {0}}).empty());
}

TEST_F(FaceDetection, ConcurrentCallsAgreeWithOneAnother) {
    const GreyPicture picture = Grey(test::BundledAstronaut());
    const std::vector<FaceRect> alone = Detector().Detect(picture);
    std::vector<std::vector<FaceRect>> results(6);
    std::vector<std::thread> threads;
    for (auto& r : results) threads.emplace_back([&] { r = Detector().Detect(picture); });
    for (auto& t : threads) t.join();
    for (const auto& r : results) EXPECT_EQ(r, alone);
    EXPECT_LE(Detector().PoolSize(), 7u);
}

TEST_F(FaceDetection, ScanSplitOverTwoThreadsFindsWhatOneThreadFinds) {
    // The two-thread scan maps its far pyramid levels back by itself; boxes may differ by the
    // rounding of that mapping, never in number or place.
    static const FaceDetector oneThread(FaceDetector::ScanThreads::One);
    const TestImage hopper = test::BundledHopper();
    const TestImage astronaut = test::BundledAstronaut();
    for (const TestImage& image : {hopper, astronaut, ScaledBy(astronaut, 0.5),
                                   ScaledBy(hopper, 3.0), test::SideBySide(hopper, astronaut)}) {
        const GreyPicture picture = Grey(image);
        const std::vector<FaceRect> split = Detector().Detect(picture);
        const std::vector<FaceRect> whole = oneThread.Detect(picture);
        ASSERT_EQ(split.size(), whole.size()) << image.width() << "x" << image.height();
        for (std::size_t i = 0; i < split.size(); ++i) {
            EXPECT_GT(Overlap(split[i], whole[i]), 0.9) << image.width() << "x" << image.height();
        }
    }
}

TEST(PictureDecoding, AppliesTheExifOrientation) {
    // Stored lying on its side with an orientation tag that stands it up again.
    const TestImage upright = test::BundledHopper();
    const std::string jpeg = test::JpegLyingWithExifToStandUp(upright);
    DetectionPicture picture;
    ASSERT_EQ(PictureDecoder::Decode(jpeg, picture), DecodeStatus::Ok);
    EXPECT_EQ(picture.grey.width, upright.width());
    EXPECT_EQ(picture.grey.height, upright.height());
    EXPECT_EQ(picture.fullWidth, upright.width());
    EXPECT_EQ(picture.fullHeight, upright.height());
}

TEST(PictureDecoding, TellsBrokenMissingAndOversizedPicturesApart) {
    DetectionPicture picture;
    EXPECT_EQ(PictureDecoder::Decode("hello, no picture", picture), DecodeStatus::NotAPicture);
    EXPECT_EQ(PictureDecoder::Decode("", picture), DecodeStatus::NotAPicture);
    EXPECT_EQ(PictureDecoder::Decode(test::PngDeclaring(20000, 20000), picture),
              DecodeStatus::TooLarge);
    // On each side of the size limits the header passes and the missing data is what fails,
    // or the declared size is refused before anything is decoded. A format that cannot be
    // decoded scaled is refused as soon as its whole decode would pass Qt's own allocation
    // limit (128 MB in Qt 6.4: 32 megapixels at 4 bytes), which detection leaves as it is.
    struct Case {
        unsigned width, height;
        DecodeStatus expected;
    } cases[] = {
        {16384, 1, DecodeStatus::NotAPicture},   {16385, 1, DecodeStatus::TooLarge},
        {5000, 5000, DecodeStatus::NotAPicture}, {8000, 8000, DecodeStatus::TooLarge},
        {10000, 10001, DecodeStatus::TooLarge},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PictureDecoder::Decode(test::PngDeclaring(c.width, c.height), picture),
                  c.expected)
            << c.width << "x" << c.height;
    }
    EXPECT_EQ(PictureDecoder::DecodeFile("/nonexistent/picture.png", picture),
              DecodeStatus::Unreadable);
    const std::string jpeg =
        test::ReadBytes(test::BundledGallery() / "Grace Hopper" / "grace_hopper.jpg");
    EXPECT_EQ(PictureDecoder::Decode(jpeg.substr(0, 200), picture), DecodeStatus::NotAPicture);
}

}  // namespace
}  // namespace norvo
