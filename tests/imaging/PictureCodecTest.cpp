// Loading, saving and scaling pictures through the system's codecs (Qt on Linux, WIC on
// Windows).

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <memory>

#ifdef _WIN32
#include <objbase.h>
#include <windows.h>

#include <atomic>
#include <thread>

#include "base/WideText.h"
#else
#include <sys/resource.h>

#include <QImage>
#endif

#include "imaging/FaceBlend.h"
#include "imaging/Picture.h"
#include "tests/imaging/TestPictures.h"

namespace norvo {
namespace {

using testing::TempFolder;
using testing::TestImage;

struct PictureDeleter {
    void operator()(Picture* p) const { ReleasePicture(p); }
};
using Owned = std::unique_ptr<Picture, PictureDeleter>;

constexpr uint32_t kRed = 0x0000ff, kGreen = 0x00ff00, kBlue = 0xff0000, kWhite = 0xffffff,
                   kBlack = 0;

// Four quadrants (16x16 in the usual 32x32): red top-left, green top-right, blue bottom-left,
// white bottom-right.
TestImage Quadrants(int32_t side = 32) {
    TestImage image(side, side);
    const int32_t half = side / 2;
    image.FillRect(0, 0, half, half, kRed);
    image.FillRect(half, 0, side - half, half, kGreen);
    image.FillRect(0, half, half, side - half, kBlue);
    image.FillRect(half, half, side - half, side - half, kWhite);
    return image;
}

int Channel(uint32_t pixel, int i) {
    return (pixel >> (8 * i)) & 0xff;
}

// True when every channel is within `tolerance` of `want`.
::testing::AssertionResult Near(uint32_t got, uint32_t want, int tolerance) {
    for (int i = 0; i < 3; ++i) {
        if (std::abs(Channel(got, i) - Channel(want, i)) > tolerance) {
            return ::testing::AssertionFailure()
                   << std::hex << "got 0x" << got << ", want 0x" << want;
        }
    }
    return ::testing::AssertionSuccess();
}

void ExpectQuadrants(PictureHandle p, int tolerance) {
    const PictureDescription* d = DescribePicture(p);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->header->biWidth, 32);
    EXPECT_EQ(d->header->biHeight, 32);
    EXPECT_TRUE(Near(ReadPicturePixel(p, 8, 8), kRed, tolerance));
    EXPECT_TRUE(Near(ReadPicturePixel(p, 24, 8), kGreen, tolerance));
    EXPECT_TRUE(Near(ReadPicturePixel(p, 8, 24), kBlue, tolerance));
    EXPECT_TRUE(Near(ReadPicturePixel(p, 24, 24), kWhite, tolerance));
}

TEST(PictureLoad, ReadsEveryWebFormatFromFileAndMemory) {
    // Deliberately without a QCoreApplication on Linux: WebP and TIFF come from plug-ins.
    TempFolder dir;
    const struct {
        const char* format;
        int tolerance;
    } cases[] = {{"png", 0}, {"jpeg", 12}, {"gif", 0}, {"bmp", 0}, {"webp", 12}, {"tiff", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        // The extension lies on purpose: the format comes from the content. Qt writes no GIF
        // and WIC no WebP: those come from files made once.
        const std::string format = c.format;
        std::string path = dir.Path("picture-" + format + ".dat");
#ifdef _WIN32
        const bool stored = format == "gif" || format == "webp";
#else
        const bool stored = format == "gif";
#endif
        if (stored) {
            path = std::string(NORVO_TEST_DATA_DIR) + "/quadrants." + format;
        } else {
            ASSERT_TRUE(testing::SaveImage(Quadrants(), path, c.format));
        }
        PictureStatus why = PictureStatus::NotAPicture;
        Owned fromFile(LoadPicture(path, &why));
#ifdef _WIN32
        if (format == "webp" && !fromFile) {
            // A Windows without the WebP codec (Wine): an unreadable file, as anywhere else.
            EXPECT_EQ(why, PictureStatus::NotAPicture) << describe(why);
            continue;
        }
#endif
        ASSERT_NE(fromFile, nullptr) << describe(why);
        EXPECT_EQ(why, PictureStatus::Ok);
        ExpectQuadrants(fromFile.get(), c.tolerance);
        EXPECT_EQ(MakeBottomUp24(fromFile.get()), 0);

        const std::vector<uint8_t> bytes = testing::ReadBytes(path);
        Owned fromMemory(LoadPictureFromMemory(bytes.data(), bytes.size(), &why));
        ASSERT_NE(fromMemory, nullptr) << describe(why);
        ExpectQuadrants(fromMemory.get(), c.tolerance);
    }
}

TEST(PictureLoad, AppliesExifOrientation) {
    TempFolder dir;
    const std::string path = dir.Path("rotated.jpg");
    TestImage wide(40, 20, kBlue);
    wide.FillRect(0, 0, 10, 20, kRed);  // red strip on the left
    ASSERT_TRUE(testing::SaveImage(wide, path, "jpeg"));
    ASSERT_TRUE(testing::WriteBytes(
        path, testing::WithExifOrientation(testing::ReadBytes(path), 6)));  // turn right

    // Shown turned a quarter clockwise: 20 wide, 40 high, the red strip at the top.
    Owned p(LoadPicture(path));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(DescribePicture(p.get())->header->biWidth, 20);
    EXPECT_EQ(DescribePicture(p.get())->header->biHeight, 40);
    EXPECT_TRUE(Near(ReadPicturePixel(p.get(), 10, 3), kRed, 16));
    EXPECT_TRUE(Near(ReadPicturePixel(p.get(), 10, 36), kBlue, 16));

    // The face detector sees the same orientation.
    PackedPixels packed;
    ASSERT_EQ(DecodePackedPixelsFile(path, PackedFormat::Rgb, packed), PictureStatus::Ok);
    EXPECT_EQ(packed.width, 20);
    EXPECT_EQ(packed.height, 40);
}

TEST(PictureLoad, EveryExifOrientationShowsThePictureUpright) {
    // Quadrants red, green / blue, white, 40x20; each orientation's corners as shown.
    const struct {
        int orientation;
        uint32_t topLeft, topRight, bottomLeft, bottomRight;
    } cases[] = {
        {1, kRed, kGreen, kBlue, kWhite}, {2, kGreen, kRed, kWhite, kBlue},
        {3, kWhite, kBlue, kGreen, kRed}, {4, kBlue, kWhite, kRed, kGreen},
        {5, kRed, kBlue, kGreen, kWhite}, {6, kBlue, kRed, kWhite, kGreen},
        {7, kWhite, kGreen, kBlue, kRed}, {8, kGreen, kWhite, kRed, kBlue},
    };
    TestImage picture(40, 20);
    picture.FillRect(0, 0, 20, 10, kRed);
    picture.FillRect(20, 0, 20, 10, kGreen);
    picture.FillRect(0, 10, 20, 10, kBlue);
    picture.FillRect(20, 10, 20, 10, kWhite);
    TempFolder dir;
    ASSERT_TRUE(testing::SaveImage(picture, dir.Path("plain.jpg"), "jpeg"));
    const std::vector<uint8_t> plain = testing::ReadBytes(dir.Path("plain.jpg"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.orientation);
        const std::vector<uint8_t> jpeg = testing::WithExifOrientation(plain, c.orientation);
        Owned p(LoadPictureFromMemory(jpeg.data(), jpeg.size()));
        ASSERT_NE(p, nullptr);
        const int32_t w = DescribePicture(p.get())->header->biWidth;
        const int32_t h = DescribePicture(p.get())->header->biHeight;
        EXPECT_EQ(w, c.orientation >= 5 ? 20 : 40);
        EXPECT_EQ(h, c.orientation >= 5 ? 40 : 20);
        EXPECT_TRUE(Near(ReadPicturePixel(p.get(), w / 4, h / 4), c.topLeft, 24));
        EXPECT_TRUE(Near(ReadPicturePixel(p.get(), 3 * w / 4, h / 4), c.topRight, 24));
        EXPECT_TRUE(Near(ReadPicturePixel(p.get(), w / 4, 3 * h / 4), c.bottomLeft, 24));
        EXPECT_TRUE(Near(ReadPicturePixel(p.get(), 3 * w / 4, 3 * h / 4), c.bottomRight, 24));
    }
}

TEST(PictureLoad, GreyForDetectionIsSmallerAndTellsTheFullUprightSize) {
    // Stored 800x400 with the left half white, shown a quarter turn right: 400x800, white on
    // top.
    TestImage stored(800, 400, kBlack);
    stored.FillRect(0, 0, 400, 400, kWhite);
    TempFolder dir;
    ASSERT_TRUE(testing::SaveImage(stored, dir.Path("stored.jpg"), "jpeg"));
    const std::vector<uint8_t> jpeg =
        testing::WithExifOrientation(testing::ReadBytes(dir.Path("stored.jpg")), 6);
    PackedPixels grey;
    int32_t fullWidth = 0, fullHeight = 0;
    ASSERT_EQ(DecodeGreyForDetection(jpeg.data(), jpeg.size(), 200, grey, fullWidth, fullHeight),
              PictureStatus::Ok);
    EXPECT_EQ(fullWidth, 400);
    EXPECT_EQ(fullHeight, 800);
    ASSERT_EQ(grey.width, 100);
    ASSERT_EQ(grey.height, 200);
    EXPECT_EQ(grey.channels, 1);
    ASSERT_EQ(grey.data.size(), 100u * 200u);
    EXPECT_GT(grey.data[50 * 100 + 50], 230);
    EXPECT_LT(grey.data[150 * 100 + 50], 25);

    // A picture within the long side is not enlarged.
    ASSERT_EQ(DecodeGreyForDetection(jpeg.data(), jpeg.size(), 2000, grey, fullWidth, fullHeight),
              PictureStatus::Ok);
    EXPECT_EQ(grey.width, 400);
    EXPECT_EQ(grey.height, 800);

    const std::vector<uint8_t> huge = testing::PngDeclaring(20000, 20000);
    EXPECT_EQ(DecodeGreyForDetection(huge.data(), huge.size(), 200, grey, fullWidth, fullHeight),
              PictureStatus::TooLarge);
    EXPECT_EQ(DecodeGreyForDetection(jpeg.data(), jpeg.size(), 0, grey, fullWidth, fullHeight),
              PictureStatus::NotAPicture);
    EXPECT_TRUE(grey.data.empty());
}

TEST(PictureLoad, BadFilesFailWithTheirReason) {
    TempFolder dir;
    const std::string data = NORVO_TEST_DATA_DIR;
    const struct {
        std::string path;
        PictureStatus want;
    } cases[] = {
        {dir.Path("missing.png"), PictureStatus::CannotOpen},
        {dir.Path(""), PictureStatus::CannotOpen},  // the folder itself
        {"", PictureStatus::CannotOpen},
        {data + "/empty.png", PictureStatus::NotAPicture},
        {data + "/text-not-a-picture.jpg", PictureStatus::NotAPicture},
        {data + "/truncated-header.png", PictureStatus::NotAPicture},
        {data + "/broken-data.jpg", PictureStatus::NotAPicture},
        {data + "/declares-20000x20000.png", PictureStatus::TooLarge},
    };
    for (const auto& c : cases) {
        PictureStatus why = PictureStatus::Ok;
        EXPECT_EQ(LoadPicture(c.path, &why), nullptr) << c.path;
        EXPECT_EQ(why, c.want) << c.path << ": " << describe(why);
    }
    PictureStatus why = PictureStatus::Ok;
    EXPECT_EQ(LoadPictureFromMemory(nullptr, 0, &why), nullptr);
    EXPECT_EQ(why, PictureStatus::NotAPicture);
    EXPECT_EQ(LoadPicture(dir.Path("missing.png")), nullptr);  // without a reason slot
}

TEST(PictureLoad, SizeLimitsAreCheckedBeforeDecoding) {
    // Declared sizes on both sides of each limit; the data itself is broken, so a size that
    // passes the check ends as "not a picture" instead of "too large".
    const struct {
        uint32_t width, height;
        PictureStatus want;
    } cases[] = {
        {16384, 16, PictureStatus::NotAPicture},    {16385, 16, PictureStatus::TooLarge},
        {16, 16384, PictureStatus::NotAPicture},    {16, 16385, PictureStatus::TooLarge},
        {10000, 10000, PictureStatus::NotAPicture}, {10000, 10001, PictureStatus::TooLarge},
        {20000, 20000, PictureStatus::TooLarge},    {1000000, 1000000, PictureStatus::TooLarge},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> png = testing::PngDeclaring(c.width, c.height);
        PictureStatus why = PictureStatus::Ok;
        EXPECT_EQ(LoadPictureFromMemory(png.data(), png.size(), &why), nullptr);
        EXPECT_EQ(why, c.want) << c.width << "x" << c.height;
        PackedPixels packed;
        EXPECT_EQ(DecodePackedPixels(png.data(), png.size(), PackedFormat::Grey, packed), c.want);
    }
    // A real picture right at the side limit loads.
    const TestImage strip(16384, 1, kGreen);
    TempFolder dir;
    ASSERT_TRUE(testing::SaveImage(strip, dir.Path("strip.png"), "png"));
    Owned p(LoadPicture(dir.Path("strip.png")));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(ReadPicturePixel(p.get(), 16383, 0), kGreen);
}

#ifdef _WIN32
std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    return std::vector<uint8_t>(values.begin(), values.end());
}

TEST(PictureLoad, ThreadsDecodeAndSaveSideBySideWhateverTheirApartment) {
    // Each thread joins COM by itself; one already in the multithreaded apartment stays there.
    TempFolder dir;
    ASSERT_TRUE(testing::SaveImage(Quadrants(), dir.Path("q.png"), "png"));
    std::atomic<int> good{0};
    std::atomic<int> joined{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            const bool multi = i % 2 == 1;
            if (multi) {
                CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            }
            for (int k = 0; k < 5; ++k) {
                Owned p(LoadPicture(dir.Path("q.png")));
                const std::string out = dir.Path(std::to_string(i) + ".jpg");
                if (p && ReadPicturePixel(p.get(), 24, 24) == kWhite &&
                    SavePictureJpeg(out, p.get(), 90, 0) == 0) {
                    ++good;
                }
            }
            // Not only the process's multithreaded apartment (the test helpers' thread makes
            // one) serving a thread in none: the library joined one for it.
            APTTYPE type{};
            APTTYPEQUALIFIER qualifier{};
            if (SUCCEEDED(CoGetApartmentType(&type, &qualifier)) &&
                (multi ? type == APTTYPE_MTA
                       : type == APTTYPE_STA || type == APTTYPE_MAINSTA)) {  // the first STA
                ++joined;
            }
            if (multi) {
                CoUninitialize();
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(good, 20);
    EXPECT_EQ(joined, 4);
}

TEST(PictureLoad, EveryFormatsDeclaredSizeIsCheckedBeforeWicSeesIt) {
    // Headers claiming 20000 x 20000 (0x4e20) and nothing else: some of WIC's decoders (Wine's
    // PNG one) allocate the whole picture as soon as they open it, so the size is read first.
    const struct {
        const char* format;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"gif", Bytes({'G', 'I', 'F', '8', '9', 'a', 0x20, 0x4e, 0x20, 0x4e, 0, 0, 0, 0x3b})},
        {"bmp",
         Bytes({'B', 'M', 0,  0, 0,    0,    0, 0, 0,    0,    54,   0,    0, 0,
                40,  0,   0,  0, 0x20, 0x4e, 0, 0, 0xe0, 0xb1, 0xff, 0xff,  // top-down: height < 0
                1,   0,   24, 0, 0,    0,    0, 0})},
        {"jpeg", Bytes({0xff, 0xd8, 0xff, 0xe0, 0,    4, 0, 0,    0xff, 0xc0, 0,   11,
                        8,    0x4e, 0x20, 0x4e, 0x20, 1, 1, 0x11, 0,    0xff, 0xd9})},
        {"tiff", Bytes({'I', 'I', 42, 0, 8, 0, 0, 0, 2,    0,           // two entries
                        0,   1,   4,  0, 1, 0, 0, 0, 0x20, 0x4e, 0, 0,  // 256 width LONG
                        1,   1,   3,  0, 1, 0, 0, 0, 0x20, 0x4e, 0, 0,  // 257 height SHORT
                        0,   0,   0,  0})},
        {"webp", Bytes({'R', 'I', 'F', 'F', 22, 0, 0, 0, 'W', 'E',  'B',  'P', 'V',  'P',  '8',
                        'X', 10,  0,   0,   0,  0, 0, 0, 0,   0x1f, 0x4e, 0,   0x1f, 0x4e, 0})},
        // A lossless WebP of the largest size it can say, 16384 x 16384.
        {"webp lossless",
         Bytes({'R', 'I', 'F', 'F', 18, 0,    0,    0,    'W',  'E',  'B', 'P', 'V', 'P', '8',
                'L', 5,   0,   0,   0,  0x2f, 0xff, 0xff, 0xff, 0x0f, 0,   0,   0,   0,   0})},
    };
    for (const auto& c : cases) {
        PictureStatus why = PictureStatus::Ok;
        EXPECT_EQ(LoadPictureFromMemory(c.bytes.data(), c.bytes.size(), &why), nullptr);
        EXPECT_EQ(why, PictureStatus::TooLarge) << c.format;
        PackedPixels packed;
        EXPECT_EQ(DecodePackedPixels(c.bytes.data(), c.bytes.size(), PackedFormat::Rgb, packed),
                  PictureStatus::TooLarge)
            << c.format;
    }
}
#endif

TEST(PackedPixels, AreTopDownRowsWithoutPadding) {
    TempFolder dir;
    const std::string path = dir.Path("q.png");
    ASSERT_TRUE(testing::SaveImage(Quadrants(30), path, "png"));
    PackedPixels rgb;
    ASSERT_EQ(DecodePackedPixelsFile(path, PackedFormat::Rgb, rgb), PictureStatus::Ok);
    ASSERT_EQ(rgb.data.size(), 30u * 30u * 3u);
    EXPECT_EQ(rgb.channels, 3);
    const uint8_t* topLeft = &rgb.data[(2 * 30 + 2) * 3];
    EXPECT_EQ((std::vector<int>{topLeft[0], topLeft[1], topLeft[2]}),
              (std::vector<int>{255, 0, 0}));
    const uint8_t* bottomLeft = &rgb.data[(27 * 30 + 2) * 3];
    EXPECT_EQ((std::vector<int>{bottomLeft[0], bottomLeft[1], bottomLeft[2]}),
              (std::vector<int>{0, 0, 255}));

    PackedPixels grey;
    ASSERT_EQ(DecodePackedPixelsFile(path, PackedFormat::Grey, grey), PictureStatus::Ok);
    ASSERT_EQ(grey.data.size(), 30u * 30u);
    EXPECT_EQ(grey.channels, 1);
    EXPECT_EQ(grey.data[27 * 30 + 27], 255);  // white

    EXPECT_EQ(DecodePackedPixelsFile(dir.Path("none.png"), PackedFormat::Rgb, rgb),
              PictureStatus::CannotOpen);
    EXPECT_TRUE(rgb.data.empty());
}

// Finds the JPEG start-of-frame marker and returns its type (0xC0 baseline) and the
// components' sampling factors.
bool JpegFrame(const std::vector<uint8_t>& jpeg, int& marker, std::vector<int>& sampling) {
    for (size_t i = 2; i + 4 < jpeg.size();) {
        if (jpeg[i] != 0xff) {
            return false;
        }
        const int m = jpeg[i + 1];
        const size_t length = jpeg[i + 2] << 8 | jpeg[i + 3];
        if (m >= 0xc0 && m <= 0xcf && m != 0xc4 && m != 0xc8 && m != 0xcc) {
            marker = m;
            const int components = jpeg[i + 9];
            for (int c = 0; c < components; ++c) {
                sampling.push_back(jpeg[i + 11 + 3 * c]);
            }
            return true;
        }
        i += 2 + length;
    }
    return false;
}

TEST(PictureSave, JpegKeepsChannelsInPlaceForAnotherDecoder) {
    TempFolder dir;
    ASSERT_TRUE(testing::SaveImage(Quadrants(), dir.Path("in.png"), "png"));
    Owned p(LoadPicture(dir.Path("in.png")));
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(SavePictureJpeg(dir.Path("out.jpg"), p.get(), 90, 0), 0);

    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(testing::DecodeJpegIndependently(dir.Path("out.jpg"), width, height, rgb));
    ASSERT_EQ(width, 32);
    ASSERT_EQ(height, 32);
    auto at = [&](int x, int y) {
        const uint8_t* q = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return uint32_t{q[0]} | uint32_t{q[1]} << 8 | uint32_t{q[2]} << 16;
    };
    EXPECT_TRUE(Near(at(8, 8), kRed, 12));
    EXPECT_TRUE(Near(at(24, 8), kGreen, 12));
    EXPECT_TRUE(Near(at(8, 24), kBlue, 12));
    EXPECT_TRUE(Near(at(24, 24), kWhite, 12));

    int marker = 0;
    std::vector<int> sampling;
    ASSERT_TRUE(JpegFrame(testing::ReadBytes(dir.Path("out.jpg")), marker, sampling));
    EXPECT_EQ(marker, 0xc0);                                    // baseline
    EXPECT_EQ(sampling, (std::vector<int>{0x22, 0x11, 0x11}));  // 4:2:0
}

TEST(PictureSave, FailedWritesAreReportedAndLeaveNoBrokenFile) {
    TempFolder dir;
    Owned p(CreatePicture(64, 64));
    const std::string cases[] = {
        dir.Path("no-such-folder/out.jpg"),
        dir.Path(""),  // a folder
        "",
    };
    for (const std::string& path : cases) {
        EXPECT_EQ(SavePictureJpeg(path, p.get(), 90, 0), 1) << path;
    }
    EXPECT_EQ(SavePictureJpeg(dir.Path("a.jpg"), nullptr, 90, 0), 1);
    EXPECT_EQ(SavePictureJpeg(dir.Path("a.jpg"), p.get(), 101, 0), 1);
    EXPECT_EQ(SavePictureJpeg(dir.Path("a.jpg"), p.get(), -1, 0), 1);
    EXPECT_EQ(SavePictureJpeg(dir.Path("a.jpg"), p.get(), 90, 1), 1);

    const std::string path = dir.Path("kept.jpg");
    ASSERT_TRUE(testing::WriteBytes(path, {'o', 'l', 'd'}));
    Owned big(CreatePicture(512, 512));
    for (int32_t y = 0; y < 512; ++y) {
        for (int32_t x = 0; x < 512; ++x) {
            SetPicturePixel(big.get(), x, y, static_cast<uint32_t>(x * 7919 ^ y * 104729));
        }
    }
#ifdef _WIN32
    // The earlier file held open by someone who lets nobody delete or replace it: the write
    // fails, that file survives whole, and the half-way file beside it is gone.
    HANDLE holder = CreateFileW(win::ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const int result = SavePictureJpeg(path, big.get(), 90, 0);
    CloseHandle(holder);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(testing::ReadBytes(path), (std::vector<uint8_t>{'o', 'l', 'd'}));
    std::vector<std::string> left;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(win::ToWide(dir.Path("*")).c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        left.push_back(win::FromWide(found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".", "..", "kept.jpg"}));
#else
    // A full disk, played by a file size limit: the earlier file of that name survives whole.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int result = SavePictureJpeg(path, big.get(), 90, 0);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(testing::ReadBytes(path), (std::vector<uint8_t>{'o', 'l', 'd'}));
#endif

    // Without the limit the same write replaces the file.
    EXPECT_EQ(SavePictureJpeg(path, big.get(), 90, 0), 0);
    Owned back(LoadPicture(path));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(DescribePicture(back.get())->header->biWidth, 512);
}

TEST(PictureResize, FreeSideFollowsTheAspectRatio) {
    const struct {
        int32_t width, height, askW, askH, wantW, wantH;
    } cases[] = {
        {800, 400, -1, 600, 1200, 600},
        {4000, 3000, -1, 600, 800, 600},
        {333, 1000, -1, 600, 200, 600},
        {10, 20, 5, -1, 5, 10},
        {7, 9, 3, 4, 3, 4},
        {5000, 1, 1, -1, 1, 1},  // never below one pixel
    };
    for (const auto& c : cases) {
        Owned p(CreatePicture(c.width, c.height));
        EXPECT_EQ(ResizePicture(p.get(), c.askW, c.askH), 0);
        const PictureInfoHeader& h = *DescribePicture(p.get())->header;
        EXPECT_EQ(h.biWidth, c.wantW) << c.width << "x" << c.height;
        EXPECT_EQ(h.biHeight, c.wantH);
        EXPECT_EQ(h.biSizeImage, PictureStride(c.wantW) * c.wantH);
    }
    // A strip 1000:1 would become 600000 wide at 600 high: refused, picture unchanged.
    Owned strip(CreatePicture(1000, 1));
    EXPECT_EQ(ResizePicture(strip.get(), -1, 600), 1);
    EXPECT_EQ(DescribePicture(strip.get())->header->biWidth, 1000);
    EXPECT_EQ(DescribePicture(strip.get())->header->biHeight, 1);
}

TEST(PictureResize, KeepsPicturesOfTheAskedSizeAndRefusesNonsense) {
    Owned p(CreatePicture(900, 600));
    SetPicturePixel(p.get(), 3, 3, 0x123456);
    const uint8_t* bits = DescribePicture(p.get())->bits;
    EXPECT_EQ(ResizePicture(p.get(), -1, 600), 0);
    EXPECT_EQ(DescribePicture(p.get())->bits, bits);  // untouched, not rescaled
    EXPECT_EQ(ReadPicturePixel(p.get(), 3, 3), 0x123456u);
    for (auto [w, h] : {std::pair{-1, -1}, {0, 600}, {-1, 0}, {-2, 600}, {100, -7}}) {
        EXPECT_EQ(ResizePicture(p.get(), w, h), 1) << w << "," << h;
    }
    EXPECT_EQ(ResizePicture(nullptr, -1, 600), 1);
    EXPECT_EQ(DescribePicture(p.get())->header->biWidth, 900);
}

#ifndef _WIN32
TEST(PictureResize, ShrinksLikeQtsSmoothScaling) {
    // A smooth picture with some detail, scaled down by 5 and by an odd factor.
    QImage image(1000, 750, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            image.setPixel(x, y, qRgb(x * 255 / 1000, y * 255 / 750, (x / 7 + y / 5) % 2 * 200));
        }
    }
    TempFolder dir;
    ASSERT_TRUE(image.save(QString::fromStdString(dir.Path("smooth.png")), "png"));
    for (auto [w, h] : {std::pair{200, 150}, {777, 600}}) {
        Owned p(LoadPicture(dir.Path("smooth.png")));
        ASSERT_EQ(ResizePicture(p.get(), w, h), 0);
        ASSERT_EQ(DescribePicture(p.get())->header->biWidth, w);
        const QImage qt = image.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        int worst = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const QRgb want = qt.pixel(x, y);
                const uint32_t got = ReadPicturePixel(p.get(), x, y);
                worst = std::max({worst, std::abs(Channel(got, 0) - qRed(want)),
                                  std::abs(Channel(got, 1) - qGreen(want)),
                                  std::abs(Channel(got, 2) - qBlue(want))});
            }
        }
        EXPECT_LE(worst, 8) << w << "x" << h;
    }
}
#endif

TEST(PictureResize, KeepsTopAtTheTopAndChannelsInPlace) {
    TempFolder dir;
    ASSERT_TRUE(testing::SaveImage(Quadrants(), dir.Path("q.png"), "png"));
    Owned p(LoadPicture(dir.Path("q.png")));
    ASSERT_EQ(ResizePicture(p.get(), -1, 600), 0);
    EXPECT_EQ(DescribePicture(p.get())->header->biWidth, 600);
    EXPECT_EQ(ReadPicturePixel(p.get(), 150, 150), kRed);
    EXPECT_EQ(ReadPicturePixel(p.get(), 450, 150), kGreen);
    EXPECT_EQ(ReadPicturePixel(p.get(), 150, 450), kBlue);
    EXPECT_EQ(ReadPicturePixel(p.get(), 450, 450), kWhite);
}

}  // namespace
}  // namespace norvo
