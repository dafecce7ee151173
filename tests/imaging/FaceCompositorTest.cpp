// One run's compositing: load, blend, scale, save, release.

#include <gtest/gtest.h>

#include "imaging/FaceBlend.h"
#include "imaging/FaceCompositor.h"
#include "tests/imaging/TestPictures.h"

namespace norvo {
namespace {

using testing::TempFolder;

class FaceCompositorTest : public ::testing::Test {
protected:
    void SetUp() override {
        const testing::TestImage body(400, 300, 0x000000);
        const testing::TestImage face(50, 50, 0xffffff);
        const testing::TestImage mask(8, 8, 0xffffff);
        ASSERT_TRUE(testing::SaveImage(body, m_body, "jpeg"));
        ASSERT_TRUE(testing::SaveImage(face, m_face, "png"));
        ASSERT_TRUE(testing::SaveImage(mask, m_mask, "png"));
        ASSERT_TRUE(testing::WriteBytes(m_junk, {'n', 'o'}));
    }

    TempFolder m_dir;
    std::string m_body = m_dir.Path("body.jpg");
    std::string m_face = m_dir.Path("face.png");
    std::string m_mask = m_dir.Path("mask.png");
    std::string m_junk = m_dir.Path("junk.jpg");
    std::string m_missing = m_dir.Path("missing.png");
};

TEST_F(FaceCompositorTest, BlendsEveryBoxScalesTo600HighAndSaves) {
    FaceCompositor compositor;
    ASSERT_EQ(compositor.Compose(m_body, {{0, 0, 100, 100}, {200, 150, 400, 300}}, m_face,
                                 {0, 0, 50, 50}, m_mask),
              ComposeStatus::Ok);
    PictureHandle body = compositor.body();
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(DescribePicture(body)->header->biWidth, 800);
    EXPECT_EQ(DescribePicture(body)->header->biHeight, 600);
    // Boxes doubled by the scaling; the white face in both, black elsewhere.
    EXPECT_GT(ReadPicturePixel(body, 100, 100) & 0xff, 240u);
    EXPECT_GT(ReadPicturePixel(body, 600, 450) & 0xff, 240u);
    EXPECT_LT(ReadPicturePixel(body, 600, 100) & 0xff, 16u);
    EXPECT_TRUE(compositor.failedPath().empty());

    const std::string out = m_dir.Path("result.jpg");
    EXPECT_EQ(compositor.Save(out), SaveStatus::Saved);
    PictureStatus why = PictureStatus::Ok;
    PictureHandle saved = LoadPicture(out, &why);
    ASSERT_NE(saved, nullptr) << describe(why);
    EXPECT_EQ(DescribePicture(saved)->header->biHeight, 600);
    ReleasePicture(saved);

    EXPECT_EQ(compositor.Save(m_dir.Path("no-folder/x.jpg")), SaveStatus::WriteFailed);
    compositor.Release();
    EXPECT_EQ(compositor.body(), nullptr);
    EXPECT_EQ(compositor.Save(out), SaveStatus::NothingToSave);
    compositor.Release();  // twice is harmless
}

TEST_F(FaceCompositorTest, AnUnreadablePictureStopsBeforeBlendingAndNamesTheFile) {
    const struct {
        std::string body, face, mask;
        ComposeStatus want;
        std::string failed;
        PictureStatus why;
    } cases[] = {
        {m_missing, m_face, m_mask, ComposeStatus::BodyUnreadable, m_missing,
         PictureStatus::CannotOpen},
        {m_junk, m_face, m_mask, ComposeStatus::BodyUnreadable, m_junk, PictureStatus::NotAPicture},
        {m_body, m_junk, m_mask, ComposeStatus::FaceUnreadable, m_junk, PictureStatus::NotAPicture},
        {m_body, m_face, m_missing, ComposeStatus::MaskUnreadable, m_missing,
         PictureStatus::CannotOpen},
        // Body and face both bad: the body, loaded first, is the one named.
        {m_junk, m_missing, m_mask, ComposeStatus::BodyUnreadable, m_junk,
         PictureStatus::NotAPicture},
    };
    for (const auto& c : cases) {
        FaceCompositor compositor;
        EXPECT_EQ(compositor.Compose(c.body, {{0, 0, 10, 10}}, c.face, {0, 0, 5, 5}, c.mask),
                  c.want);
        EXPECT_EQ(compositor.failedPath(), c.failed);
        EXPECT_EQ(compositor.failedReason(), c.why);
        EXPECT_EQ(compositor.body(), nullptr);
        const std::string out = m_dir.Path("never.jpg");
        EXPECT_EQ(compositor.Save(out), SaveStatus::NothingToSave);
        EXPECT_TRUE(testing::ReadBytes(out).empty());
    }
}

TEST_F(FaceCompositorTest, ASecondComposeStartsAfresh) {
    FaceCompositor compositor;
    ASSERT_EQ(compositor.Compose(m_body, {}, m_face, {0, 0, 50, 50}, m_missing),
              ComposeStatus::MaskUnreadable);
    ASSERT_EQ(compositor.Compose(m_body, {}, m_face, {0, 0, 50, 50}, m_mask), ComposeStatus::Ok);
    EXPECT_TRUE(compositor.failedPath().empty());
    EXPECT_EQ(compositor.failedReason(), PictureStatus::Ok);
    // No boxes: the body is only scaled.
    EXPECT_LT(ReadPicturePixel(compositor.body(), 400, 300) & 0xff, 16u);
}

TEST_F(FaceCompositorTest, AnotherBlendIsMadeBesideTheClassicOneAndTheChosenOneIsSaved) {
    const FaceBoxList boxes{{0, 0, 100, 100}, {200, 150, 400, 300}};
    FaceCompositor only;
    ASSERT_EQ(only.Compose(m_body, boxes, m_face, {0, 0, 50, 50}, m_mask), ComposeStatus::Ok);
    const std::string classicOnly = m_dir.Path("classic-only.jpg");
    ASSERT_EQ(only.Save(classicOnly), SaveStatus::Saved);

    FaceCompositor both;
    EXPECT_FALSE(both.ComposeAlso(BlendStyle::Natural, [](auto...) {}));  // nothing composed
    ASSERT_EQ(both.Compose(m_body, boxes, m_face, {0, 0, 50, 50}, m_mask), ComposeStatus::Ok);
    EXPECT_FALSE(both.Choose(BlendStyle::Natural));
    FaceBoxList seenBoxes;
    uint32_t seenCentre = 1;
    ASSERT_TRUE(both.ComposeAlso(
        BlendStyle::Natural, [&](PictureHandle body, const FaceBoxList& b, PictureHandle face,
                                 const FaceBox&, PictureHandle) {
            seenBoxes = b;
            seenCentre = ReadPicturePixel(body, 300, 225);
            // Paints the whole body with the face's colour.
            const PictureDescription* d = DescribePicture(body);
            for (int32_t y = 0; y < d->header->biHeight; ++y)
                for (int32_t x = 0; x < d->header->biWidth; ++x)
                    SetPicturePixel(body, x, y, ReadPicturePixel(face, 0, 0));
        }));
    EXPECT_EQ(seenBoxes, boxes);
    EXPECT_LT(seenCentre & 0xff, 16u) << "the other blend starts from the unblended body";
    EXPECT_FALSE(both.ComposeAlso(BlendStyle::Classic, [](auto...) {}));
    EXPECT_EQ(DescribePicture(both.portrait(BlendStyle::Natural))->header->biHeight, 600);
    EXPECT_EQ(both.body(), both.portrait(BlendStyle::Classic));
    EXPECT_LT(ReadPicturePixel(both.unblendedBody(), 300, 225) & 0xff, 16u);

    // The classic portrait is the same bytes as without the other blend.
    const std::string classic = m_dir.Path("classic.jpg");
    ASSERT_EQ(both.Save(classic), SaveStatus::Saved);
    EXPECT_EQ(testing::ReadBytes(classic), testing::ReadBytes(classicOnly));
    ASSERT_TRUE(both.Choose(BlendStyle::Natural));
    const std::string natural = m_dir.Path("natural.jpg");
    ASSERT_EQ(both.Save(natural), SaveStatus::Saved);
    PictureHandle saved = LoadPicture(natural);
    ASSERT_NE(saved, nullptr);
    EXPECT_GT(ReadPicturePixel(saved, 600, 100) & 0xff, 240u);  // white where the body was
    ReleasePicture(saved);
    both.Release();
    EXPECT_EQ(both.portrait(BlendStyle::Natural), nullptr);
    EXPECT_EQ(both.chosen(), BlendStyle::Classic);
}

TEST(MaskFile, TheShippedMaskIsASoftGreyOval) {
    EXPECT_EQ(MaskPathIn("/opt/norvo"), "/opt/norvo/data/mask.png");
    EXPECT_EQ(MaskPathIn("/opt/norvo/"), "/opt/norvo/data/mask.png");
    PictureStatus why = PictureStatus::Ok;
    PictureHandle mask = LoadPicture(MaskPathIn(NORVO_SOURCE_DIR), &why);
    ASSERT_NE(mask, nullptr) << describe(why);
    const int32_t w = DescribePicture(mask)->header->biWidth;
    const int32_t h = DescribePicture(mask)->header->biHeight;
    EXPECT_GE(w, 64);
    EXPECT_GE(h, 64);
    EXPECT_EQ(ReadPicturePixel(mask, w / 2, h / 2), 0xffffffu);  // the face shows fully
    for (auto [x, y] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 2, h - 2}, {w / 2, 0}}) {
        EXPECT_EQ(ReadPicturePixel(mask, x, y), 0u) << x << "," << y;  // the body shows
    }
    // The weight falls off steadily from the centre to the edge, with no hard ring.
    uint32_t previous = 255;
    for (int32_t x = w / 2; x < w; ++x) {
        const uint32_t l = ReadPicturePixel(mask, x, h / 2) & 0xff;
        EXPECT_LE(l, previous);
        EXPECT_LE(previous - l, 16u) << x;
        previous = l;
    }
    ReleasePicture(mask);
}

}  // namespace
}  // namespace norvo
