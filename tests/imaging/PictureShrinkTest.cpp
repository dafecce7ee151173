// Area-averaging reduction used when a picture is scaled down.

#include <gtest/gtest.h>

#include "imaging/FaceBlend.h"
#include "imaging/PictureShrink.h"

namespace norvo {
namespace {

struct PictureDeleter {
    void operator()(Picture* p) const { ReleasePicture(p); }
};
using Owned = std::unique_ptr<Picture, PictureDeleter>;

Owned Make(int32_t w, int32_t h, uint32_t (*pixel)(int32_t, int32_t)) {
    Owned p(CreatePicture(w, h));
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            SetPicturePixel(p.get(), x, y, pixel(x, y));
        }
    }
    return p;
}

TEST(PictureShrink, AveragesTheCoveredAreaRoundedToNearest) {
    // 2x2 blocks: red 0,1,1,1 -> 0.75 -> 1; green 10,20,30,41 -> 25.25 -> 25; blue 255s.
    Owned p = Make(4, 2, [](int32_t x, int32_t y) -> uint32_t {
        const uint32_t red = (x % 2 == 0 && y == 0) ? 0 : 1;
        const uint32_t green = (x % 2) * 10 + y * 20 + 10 + (x % 2 && y ? 1 : 0);
        return red | green << 8 | 0xff0000;
    });
    auto small = ShrinkPicture(*p, 2, 1);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(ReadPicturePixel(small.get(), 0, 0), 1u | 25u << 8 | 0xff0000u);
    EXPECT_EQ(ReadPicturePixel(small.get(), 1, 0), 1u | 25u << 8 | 0xff0000u);

    // Three columns into two: each output covers one and a half source columns.
    Owned row = Make(3, 1, [](int32_t x, int32_t) -> uint32_t { return 90u * x; });
    auto two = ShrinkPicture(*row, 2, 1);
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(ReadPicturePixel(two.get(), 0, 0), 30u);   // (0 + 90 / 2) / 1.5
    EXPECT_EQ(ReadPicturePixel(two.get(), 1, 0), 150u);  // (90 / 2 + 180) / 1.5
}

TEST(PictureShrink, KeepsTopAtTheTopAndChannelsApart) {
    Owned p = Make(60, 40, [](int32_t x, int32_t y) -> uint32_t {
        return y < 20 ? (x < 30 ? 0x0000ffu : 0x00ff00u) : (x < 30 ? 0xff0000u : 0xffffffu);
    });
    auto small = ShrinkPicture(*p, 6, 4);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->header.biSizeImage, PictureStride(6) * 4);
    EXPECT_EQ(ReadPicturePixel(small.get(), 1, 0), 0x0000ffu);
    EXPECT_EQ(ReadPicturePixel(small.get(), 4, 0), 0x00ff00u);
    EXPECT_EQ(ReadPicturePixel(small.get(), 1, 3), 0xff0000u);
    EXPECT_EQ(ReadPicturePixel(small.get(), 4, 3), 0xffffffu);
    // The row padding (20 - 18 bytes) is defined.
    for (int32_t y = 0; y < 4; ++y) {
        const uint8_t* padding = PictureRow(*small, y) + 18;
        EXPECT_EQ(padding[0] | padding[1], 0);
    }
}

TEST(PictureShrink, RefusesGrowingAndEmptySizes) {
    Owned p(CreatePicture(10, 10));
    EXPECT_EQ(ShrinkPicture(*p, 11, 10), nullptr);
    EXPECT_EQ(ShrinkPicture(*p, 10, 11), nullptr);
    EXPECT_EQ(ShrinkPicture(*p, 0, 5), nullptr);
    auto same = ShrinkPicture(*p, 10, 10);
    EXPECT_NE(same, nullptr);
    auto one = ShrinkPicture(*p, 1, 1);
    EXPECT_NE(one, nullptr);
}

}  // namespace
}  // namespace norvo
