// The masked face blend and the pixel access it is built on (no toolkit needed).

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "imaging/FaceBlend.h"
#include "imaging/Picture.h"
#include "imaging/PictureData.h"
#include "tests/imaging/ReferenceBlend.h"

namespace norvo {
namespace {

struct PictureDeleter {
    void operator()(Picture* p) const { ReleasePicture(p); }
};
using Owned = std::unique_ptr<Picture, PictureDeleter>;

uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) {
    return r | g << 8 | b << 16;
}

Owned Filled(int32_t w, int32_t h, uint32_t value) {
    Owned p(CreatePicture(w, h));
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            SetPicturePixel(p.get(), x, y, value);
        }
    }
    return p;
}

Owned Random(int32_t w, int32_t h, std::mt19937& rng) {
    Owned p(CreatePicture(w, h));
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            SetPicturePixel(p.get(), x, y, rng() & 0xffffff);
        }
    }
    return p;
}

// Copy of the pixel bits, to compare whole pictures.
std::vector<uint8_t> Bits(PictureHandle p) {
    const PictureDescription* d = DescribePicture(p);
    return {d->bits, d->bits + d->header->biSizeImage};
}

Owned Copy(PictureHandle p) {
    const PictureInfoHeader& h = *DescribePicture(p)->header;
    Owned c(CreatePicture(h.biWidth, h.biHeight));
    std::memcpy(DescribePicture(c.get())->bits, DescribePicture(p)->bits, h.biSizeImage);
    return c;
}

TEST(PictureMemory, RowsAreBottomUpBgrPaddedToFourBytes) {
    const struct {
        int32_t width;
        int64_t stride;
    } cases[] = {{1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}, {16384, 49152}};
    for (const auto& c : cases) {
        EXPECT_EQ(PictureStride(c.width), c.stride) << c.width;
    }

    Owned p(CreatePicture(3, 2));
    const PictureDescription* d = DescribePicture(p.get());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->header->biWidth, 3);
    EXPECT_EQ(d->header->biHeight, 2);
    EXPECT_EQ(d->header->biBitCount, 24);
    EXPECT_EQ(d->header->biSizeImage, 24u);
    SetPicturePixel(p.get(), 2, 0, 0xAA112233);  // top row is stored last; top byte ignored
    const uint8_t* top = d->bits + 12 + 6;
    EXPECT_EQ(top[0], 0x11);  // blue
    EXPECT_EQ(top[1], 0x22);  // green
    EXPECT_EQ(top[2], 0x33);  // red
    EXPECT_EQ(ReadPicturePixel(p.get(), 2, 0), 0x112233u);
}

TEST(PictureMemory, WritesOutsideAreIgnoredAndReadsOutsideGiveTheNearestPixel) {
    Owned p = Filled(4, 3, 0);
    SetPicturePixel(p.get(), 0, 0, Rgb(1, 0, 0));
    SetPicturePixel(p.get(), 3, 2, Rgb(2, 0, 0));
    const std::vector<uint8_t> before = Bits(p.get());
    for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {4, 0}, {0, 3}, {INT32_MIN, INT32_MAX}}) {
        SetPicturePixel(p.get(), x, y, 0xffffff);
    }
    SetPicturePixel(nullptr, 0, 0, 0xffffff);
    EXPECT_EQ(Bits(p.get()), before);

    EXPECT_EQ(ReadPicturePixel(p.get(), -5, -5), Rgb(1, 0, 0));
    EXPECT_EQ(ReadPicturePixel(p.get(), INT32_MAX, INT32_MAX), Rgb(2, 0, 0));
    EXPECT_EQ(ReadPicturePixel(p.get(), 100, -100), 0u);
    EXPECT_EQ(ReadPicturePixel(nullptr, 0, 0), 0u);
}

TEST(PictureMemory, SizeLimitsOnBothSides) {
    EXPECT_TRUE(PictureSizeAllowed(16384, 1));
    EXPECT_FALSE(PictureSizeAllowed(16385, 1));
    EXPECT_FALSE(PictureSizeAllowed(1, 16385));
    EXPECT_TRUE(PictureSizeAllowed(10000, 10000));  // exactly 100 megapixels
    EXPECT_FALSE(PictureSizeAllowed(10000, 10001));
    EXPECT_FALSE(PictureSizeAllowed(0, 10));
    EXPECT_FALSE(PictureSizeAllowed(10, -1));
    EXPECT_EQ(CreatePicture(16385, 1), nullptr);
    EXPECT_EQ(CreatePicture(0, 1), nullptr);
    Owned wide(CreatePicture(16384, 1));
    EXPECT_NE(wide, nullptr);
}

// One body pixel B, one face pixel F and a mask of weight L, blended with a 1x1 box.
uint32_t BlendOne(uint32_t b, uint32_t f, uint32_t l) {
    Owned body = Filled(1, 1, b);
    Owned face = Filled(1, 1, f);
    Owned mask = Filled(2, 2, l);
    EXPECT_EQ(BlendFaces(body.get(), {{0, 0, 1, 1}}, face.get(), {0, 0, 1, 1}, mask.get()), 0);
    return ReadPicturePixel(body.get(), 0, 0);
}

TEST(FaceBlendMix, RoundsDownInBothDirections) {
    const struct {
        uint32_t b, f, l, want;
    } cases[] = {
        {0, 255, 128, 128}, {255, 0, 128, 127}, {10, 20, 100, 13},
        {20, 10, 100, 16},  {0, 255, 0, 0},     {0, 255, 255, 255},
        {255, 0, 0, 255},   {255, 0, 255, 0},   {77, 77, 200, 77},
    };
    for (const auto& c : cases) {
        // Same values in all channels, and each channel alone, so a channel mix-up shows.
        EXPECT_EQ(BlendOne(Rgb(c.b, c.b, c.b), Rgb(c.f, c.f, c.f), c.l),
                  Rgb(c.want, c.want, c.want))
            << c.b << " " << c.f << " " << c.l;
        EXPECT_EQ(BlendOne(Rgb(c.b, 0, 0), Rgb(c.f, 0, 0), c.l), Rgb(c.want, 0, 0));
        EXPECT_EQ(BlendOne(Rgb(0, c.b, 0), Rgb(0, c.f, 0), c.l), Rgb(0, c.want, 0));
        EXPECT_EQ(BlendOne(Rgb(0, 0, c.b), Rgb(0, 0, c.f), c.l), Rgb(0, 0, c.want));
    }
}

TEST(FaceBlendMix, EveryValuePairIsTheExactMixRoundedDown) {
    // Body column x holds x, face row y holds y: one blend covers all 65536 pairs.
    Owned face(CreatePicture(256, 256));
    Owned original(CreatePicture(256, 256));
    for (int32_t y = 0; y < 256; ++y) {
        for (int32_t x = 0; x < 256; ++x) {
            SetPicturePixel(face.get(), x, y, Rgb(y, 255 - y, y));
            SetPicturePixel(original.get(), x, y, Rgb(x, x, 255 - x));
        }
    }
    for (uint32_t l : {0u, 1u, 64u, 127u, 128u, 254u, 255u}) {
        Owned body = Copy(original.get());
        Owned mask = Filled(3, 3, l);
        BlendFaces(body.get(), {{0, 0, 256, 256}}, face.get(), {0, 0, 256, 256}, mask.get());
        for (int32_t y = 0; y < 256; ++y) {
            for (int32_t x = 0; x < 256; ++x) {
                const uint32_t f = ReadPicturePixel(face.get(), x, y);
                const uint32_t b = ReadPicturePixel(original.get(), x, y);
                const uint32_t r = ReadPicturePixel(body.get(), x, y);
                for (int i = 0; i < 3; ++i) {
                    const int fi = (f >> (8 * i)) & 0xff;
                    const int bi = (b >> (8 * i)) & 0xff;
                    // floor(B + (F - B) * L / 255), with the numerator kept non-negative.
                    const int want =
                        (bi * 255 + (fi - bi) * static_cast<int>(l) + 255 * 255) / 255 - 255;
                    ASSERT_EQ(static_cast<int>((r >> (8 * i)) & 0xff), want)
                        << "F=" << fi << " B=" << bi << " L=" << l;
                }
            }
        }
    }
}

TEST(FaceBlendSampling, MaskColumnsStopBelowTheLastColumn) {
    // Mask red = column index, last column and row bright so reading them would show.
    Owned mask(CreatePicture(256, 3));
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 256; ++x) {
            SetPicturePixel(mask.get(), x, y, (x == 255 || y == 2) ? 255 : x);
        }
    }
    Owned body = Filled(100, 1, 0);
    Owned face = Filled(10, 10, Rgb(255, 0, 0));
    BlendFaces(body.get(), {{0, 0, 100, 1}}, face.get(), {0, 0, 10, 10}, mask.get());
    for (int32_t k = 0; k < 100; ++k) {
        // With F = 255 and B = 0 the result is the weight itself.
        EXPECT_EQ(ReadPicturePixel(body.get(), k, 0), static_cast<uint32_t>(k * 255 / 100)) << k;
    }
    EXPECT_EQ(ReadPicturePixel(body.get(), 99, 0), 252u);
}

TEST(FaceBlendSampling, FaceColumnsRepeatOrSkipWithTheBoxWidth) {
    Owned face(CreatePicture(8, 1));
    for (int32_t x = 0; x < 8; ++x) {
        SetPicturePixel(face.get(), x, 0, Rgb(10 * x, 0, 0));
    }
    Owned mask = Filled(2, 2, 255);
    const struct {
        int32_t boxWidth;
        std::vector<uint32_t> reds;
    } cases[] = {
        // Face box columns 2..5 (4 wide).
        {8, {20, 20, 30, 30, 40, 40, 50, 50}},  // twice as wide: every column twice
        {2, {20, 40}},                          // half as wide: every second column
        {4, {20, 30, 40, 50}},
    };
    for (const auto& c : cases) {
        Owned body = Filled(c.boxWidth, 1, 0);
        BlendFaces(body.get(), {{0, 0, c.boxWidth, 1}}, face.get(), {2, 0, 6, 1}, mask.get());
        for (int32_t x = 0; x < c.boxWidth; ++x) {
            EXPECT_EQ(ReadPicturePixel(body.get(), x, 0), c.reds[x]) << c.boxWidth << " " << x;
        }
    }
}

TEST(FaceBlendBoxes, EmptyAndInvertedBoxesChangeNothing) {
    std::mt19937 rng(7);
    Owned body = Random(20, 20, rng);
    Owned face = Random(10, 10, rng);
    Owned mask = Filled(4, 4, 200);
    const std::vector<uint8_t> before = Bits(body.get());
    const FaceBoxList cases[] = {
        {},
        {{5, 5, 5, 10}},     // left == right
        {{5, 10, 10, 5}},    // top > bottom
        {{10, 5, 5, 10}},    // left > right
        {{5, 5, 10, 5}},     // top == bottom
        {{20, 0, 30, 10}},   // wholly right of the picture
        {{-10, -10, 0, 0}},  // wholly above and left
        {{0, 20, 20, 2000000000}},
    };
    for (const FaceBoxList& boxes : cases) {
        EXPECT_EQ(BlendFaces(body.get(), boxes, face.get(), {0, 0, 10, 10}, mask.get()), 0);
        EXPECT_EQ(Bits(body.get()), before);
    }
    // An empty face box gives zero-width sampling, not a division by zero.
    Owned copy = Copy(body.get());
    BlendFaces(body.get(), {{0, 0, 5, 5}}, face.get(), {3, 3, 3, 3}, mask.get());
    testing::ReferenceBlend(copy.get(), {{0, 0, 5, 5}}, face.get(), {3, 3, 3, 3}, mask.get());
    EXPECT_EQ(Bits(body.get()), Bits(copy.get()));
}

TEST(FaceBlendBoxes, MissingPicturesAreRefused) {
    Owned p = Filled(2, 2, 0);
    EXPECT_EQ(BlendFaces(nullptr, {{0, 0, 1, 1}}, p.get(), {0, 0, 1, 1}, p.get()), 1);
    EXPECT_EQ(BlendFaces(p.get(), {{0, 0, 1, 1}}, nullptr, {0, 0, 1, 1}, p.get()), 1);
    EXPECT_EQ(BlendFaces(p.get(), {{0, 0, 1, 1}}, p.get(), {0, 0, 1, 1}, nullptr), 1);
}

TEST(FaceBlendBoxes, LaterBoxesBlendOverEarlierOnes) {
    Owned body = Filled(4, 1, Rgb(0, 0, 0));
    Owned face = Filled(1, 1, Rgb(200, 100, 50));
    Owned mask = Filled(2, 2, 128);
    BlendFaces(body.get(), {{0, 0, 3, 1}, {1, 0, 4, 1}}, face.get(), {0, 0, 1, 1}, mask.get());
    const uint32_t once = Rgb(200 * 128 / 255, 100 * 128 / 255, 50 * 128 / 255);
    const uint32_t twice = Rgb(100 + 100 * 128 / 255, 50 + 50 * 128 / 255, 25 + 25 * 128 / 255);
    EXPECT_EQ(ReadPicturePixel(body.get(), 0, 0), once);
    EXPECT_EQ(ReadPicturePixel(body.get(), 1, 0), twice);
    EXPECT_EQ(ReadPicturePixel(body.get(), 2, 0), twice);
    EXPECT_EQ(ReadPicturePixel(body.get(), 3, 0), once);
}

TEST(FaceBlendBoxes, MatchesThePixelByPixelBlendOnRandomBoxes) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 300; ++round) {
        const int32_t bodyW = 1 + rng() % 40;
        const int32_t bodyH = 1 + rng() % 40;
        Owned body = Random(bodyW, bodyH, rng);
        Owned face = Random(1 + rng() % 30, 1 + rng() % 30, rng);
        Owned mask = Random(1 + rng() % 20, 1 + rng() % 20, rng);
        // Boxes around and across the body, some inverted; the face box may stick out of the
        // face picture and be inverted too.
        auto coord = [&](int32_t extent) {
            return static_cast<int32_t>(rng() % (extent + 30)) - 15;
        };
        FaceBoxList boxes(rng() % 5);
        for (FaceBox& b : boxes) {
            b = {coord(bodyW), coord(bodyH), coord(bodyW), coord(bodyH)};
            if (rng() % 4) {
                if (b.left > b.right)
                    std::swap(b.left, b.right);
                if (b.top > b.bottom)
                    std::swap(b.top, b.bottom);
            }
        }
        const FaceBox s{coord(30), coord(30), coord(30), coord(30)};
        // Sometimes the face is the body picture itself.
        const bool same = round % 10 == 0;
        Owned expected = Copy(body.get());
        Owned expectedFace = same ? nullptr : Copy(face.get());
        BlendFaces(body.get(), boxes, same ? body.get() : face.get(), s, mask.get());
        testing::ReferenceBlend(expected.get(), boxes, same ? expected.get() : face.get(), s,
                                mask.get());
        ASSERT_EQ(Bits(body.get()), Bits(expected.get())) << "round " << round;
    }
}

TEST(FaceBlendBoxes, HugeBoxesOnlyTouchThePictureAndSampleExactly) {
    std::mt19937 rng(99);
    Owned original = Random(16, 12, rng);
    Owned face = Random(32, 32, rng);
    Owned mask = Random(64, 64, rng);
    const FaceBox faces[] = {{0, 0, 32, 32}, {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}};
    const FaceBox boxes[] = {
        {0, 0, 2000000000, 2000000000},
        {-2000000000, -5, 2000000000, 7},
        {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX},
        {5, INT32_MIN, 6, INT32_MAX},
    };
    for (const FaceBox& s : faces) {
        for (const FaceBox& t : boxes) {
            Owned body = Copy(original.get());
            BlendFaces(body.get(), {t}, face.get(), s, mask.get());
            // Each pixel on its own, with the products the running totals would reach.
            const __int128 bw = int64_t{t.right} - t.left, bh = int64_t{t.bottom} - t.top;
            const __int128 fw = int64_t{s.right} - s.left, fh = int64_t{s.bottom} - s.top;
            for (int32_t y = 0; y < 12; ++y) {
                for (int32_t x = 0; x < 16; ++x) {
                    const bool inside = x >= t.left && x < t.right && y >= t.top && y < t.bottom;
                    const uint32_t b = ReadPicturePixel(original.get(), x, y);
                    if (!inside) {
                        ASSERT_EQ(ReadPicturePixel(body.get(), x, y), b);
                        continue;
                    }
                    const __int128 k = x - int64_t{t.left}, j = y - int64_t{t.top};
                    const int64_t sx = s.left + static_cast<int64_t>(k * fw / bw);
                    const int64_t sy = s.top + static_cast<int64_t>(j * fh / bh);
                    const int64_t mx = static_cast<int64_t>(k * 63 / bw);
                    const int64_t my = static_cast<int64_t>(j * 63 / bh);
                    Owned one = Filled(1, 1, b);
                    Owned f = Filled(
                        1, 1,
                        ReadPicturePixel(face.get(), testing::ToInt32(sx), testing::ToInt32(sy)));
                    Owned m = Filled(2, 2, ReadPicturePixel(mask.get(), mx, my) & 0xff);
                    BlendFaces(one.get(), {{0, 0, 1, 1}}, f.get(), {0, 0, 1, 1}, m.get());
                    ASSERT_EQ(ReadPicturePixel(body.get(), x, y), ReadPicturePixel(one.get(), 0, 0))
                        << x << "," << y;
                }
            }
        }
    }
}

}  // namespace
}  // namespace norvo
