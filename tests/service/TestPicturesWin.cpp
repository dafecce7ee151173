// The service tests' pictures on Windows, over the picture library (WIC) instead of Qt.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "base/Utf8Path.h"
#include "tests/service/TestPictures.h"

namespace norvo::test {

namespace fs = std::filesystem;

namespace {

struct Bits {
    int width = 0;
    int height = 0;
    std::int64_t stride = 0;
    std::uint8_t* bits = nullptr;  // bottom-up BGR rows
    std::uint8_t* Row(int y) const { return bits + (height - 1 - y) * stride; }
};

Bits BitsOf(PictureHandle picture) {
    const PictureDescription* d = DescribePicture(picture);
    if (d == nullptr)
        return {};
    return {d->header->biWidth, d->header->biHeight, PictureStride(d->header->biWidth), d->bits};
}

TestImage Made(PictureHandle picture) {
    EXPECT_NE(picture, nullptr);
    return TestImage(picture);
}

TestImage Load(const fs::path& file) {
    PictureStatus why = PictureStatus::Ok;
    PictureHandle picture = LoadPicture(Utf8Of(file), &why);
    EXPECT_NE(picture, nullptr) << file << ": " << describe(why);
    return TestImage(picture);
}

}  // namespace

TestImage::TestImage(PictureHandle picture) : m_picture(picture, ReleasePicture) {}

int TestImage::width() const {
    return BitsOf(Handle()).width;
}

int TestImage::height() const {
    return BitsOf(Handle()).height;
}

TestImage TestImage::scaled(int w, int h) const {
    return SmoothlyScaled(*this, w, h);
}

TestImage TestImage::mirrored(bool horizontally, bool vertically) const {
    const TestImage out = Made(CopyPicture(Handle()));
    const Bits from = BitsOf(Handle()), to = BitsOf(out.Handle());
    for (int y = 0; y < from.height; ++y) {
        const std::uint8_t* in = from.Row(vertically ? from.height - 1 - y : y);
        std::uint8_t* row = to.Row(y);
        for (int x = 0; x < from.width; ++x)
            std::memcpy(row + 3 * x, in + 3 * (horizontally ? from.width - 1 - x : x), 3);
    }
    return out;
}

TestImage TestImage::copy(int x, int y, int w, int h) const {
    return DrawnOn(Plain(w, h, 0), -x, -y, *this);
}

TestImage BundledHopper() {
    return Load(BundledGallery() / "Grace Hopper" / "grace_hopper.jpg");
}

TestImage BundledAstronaut() {
    return Load(BundledGallery() / "Eileen Collins" / "astronaut.png");
}

void SavePicture(const TestImage& image, const fs::path& file) {
    fs::create_directories(file.parent_path());
    const bool png = file.extension() == ".png";
    const int failed = png ? SavePicturePng(Utf8Of(file), image.Handle())
                           : SavePictureJpeg(Utf8Of(file), image.Handle(), 90, 0);
    ASSERT_EQ(failed, 0) << file;
}

TestImage SideBySide(const TestImage& left, const TestImage& right) {
    const TestImage canvas =
        Plain(left.width() + right.width(), std::max(left.height(), right.height()), 0xFFFFFF);
    return DrawnOn(DrawnOn(canvas, 0, 0, left), left.width(), 0, right);
}

TestImage Plain(int width, int height, std::uint32_t rgb) {
    const TestImage out = Made(CreatePicture(width, height));
    const Bits to = BitsOf(out.Handle());
    for (int y = 0; y < to.height; ++y) {
        std::uint8_t* row = to.Row(y);
        for (int x = 0; x < to.width; ++x) {
            row[3 * x] = rgb & 0xFF;
            row[3 * x + 1] = (rgb >> 8) & 0xFF;
            row[3 * x + 2] = (rgb >> 16) & 0xFF;
        }
    }
    return out;
}

TestImage DrawnOn(const TestImage& canvas, int x, int y, const TestImage& image) {
    const TestImage out = Made(CopyPicture(canvas.Handle()));
    const Bits from = BitsOf(image.Handle()), to = BitsOf(out.Handle());
    const int x0 = std::max(0, x), x1 = std::min(to.width, x + from.width);
    for (int ty = std::max(0, y); ty < std::min(to.height, y + from.height); ++ty) {
        if (x1 > x0)
            std::memcpy(to.Row(ty) + 3 * x0, from.Row(ty - y) + 3 * (x0 - x), 3 * (x1 - x0));
    }
    return out;
}

TestImage SmoothlyScaled(const TestImage& image, int w, int h) {
    const TestImage out = Made(CopyPicture(image.Handle()));
    EXPECT_EQ(ResizePicture(out.Handle(), w, h), 0) << w << "x" << h;
    return out;
}

GreyPicture GreyOf(const TestImage& image) {
    const Bits from = BitsOf(image.Handle());
    GreyPicture out{from.width, from.height, {}};
    out.pixels.reserve(static_cast<std::size_t>(from.width) * from.height);
    for (int y = 0; y < from.height; ++y) {
        const std::uint8_t* row = from.Row(y);
        for (int x = 0; x < from.width; ++x) {
            const int b = row[3 * x], g = row[3 * x + 1], r = row[3 * x + 2];
            out.pixels.push_back(static_cast<std::uint8_t>((r * 11 + g * 16 + b * 5) / 32));
        }
    }
    return out;
}

std::string JpegLyingWithExifToStandUp(const TestImage& upright) {
    // Turned a quarter left: the upright picture's right column becomes the top row.
    const Bits from = BitsOf(upright.Handle());
    const TestImage lying = Made(CreatePicture(from.height, from.width));
    const Bits to = BitsOf(lying.Handle());
    for (int y = 0; y < to.height; ++y) {
        for (int x = 0; x < to.width; ++x)
            std::memcpy(to.Row(y) + 3 * x, from.Row(x) + 3 * (from.width - 1 - y), 3);
    }
    const TempFolder dir;
    SavePicture(lying, dir.Path() / "lying.jpg");
    const std::string jpeg = ReadBytes(dir.Path() / "lying.jpg");
    // An EXIF segment with one entry, Orientation (274) = 6: turn a quarter right to show.
    const std::string tiff(
        "II*\0\x08\0\0\0"
        "\x01\0"
        "\x12\x01\x03\0\x01\0\0\0\x06\0\0\0"
        "\0\0\0\0",
        26);
    const std::string body = std::string("Exif\0\0", 6) + tiff;
    std::string app1 = "\xFF\xE1";
    app1 += static_cast<char>((body.size() + 2) >> 8);
    app1 += static_cast<char>((body.size() + 2) & 0xFF);
    EXPECT_EQ(jpeg.compare(0, 2, "\xFF\xD8"), 0);
    return jpeg.substr(0, 2) + app1 + body + jpeg.substr(2);
}

}  // namespace norvo::test
