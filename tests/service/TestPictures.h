#pragma once

// Pictures the service's tests make. Linux: Qt's QImage, as the tests were written. Windows
// (no Qt): TestImage, the few QImage operations they use, over the picture library.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "services/gallery/detect/FaceDetector.h"
#include "tests/service/TestFiles.h"

#ifdef _WIN32
#include "imaging/Picture.h"
#else
#include <QImage>
#endif

namespace norvo::test {

#ifdef _WIN32
class TestImage {
public:
    TestImage() = default;
    explicit TestImage(PictureHandle picture);
    int width() const;
    int height() const;
    // Scaled smoothly to exactly `w` x `h`.
    TestImage scaled(int w, int h) const;
    TestImage mirrored(bool horizontally, bool vertically) const;
    TestImage copy(int x, int y, int w, int h) const;
    PictureHandle Handle() const { return m_picture.get(); }

private:
    std::shared_ptr<Picture> m_picture;
};
#else
using TestImage = QImage;
#endif

TestImage BundledHopper();     // 512 x 600, one face
TestImage BundledAstronaut();  // 512 x 512, one face

// As PNG or JPEG by the file's extension.
void SavePicture(const TestImage& image, const std::filesystem::path& file);

// Two pictures side by side on a white canvas, tops aligned.
TestImage SideBySide(const TestImage& left, const TestImage& right);

// A picture of one colour (0xRRGGBB).
TestImage Plain(int width, int height, std::uint32_t rgb);
// `canvas` with `image` drawn at (x, y).
TestImage DrawnOn(const TestImage& canvas, int x, int y, const TestImage& image);
// `image` scaled smoothly to `w` x `h`, the aspect ratio not kept.
TestImage SmoothlyScaled(const TestImage& image, int w, int h);
// The grey picture the detector takes (Qt's grey: (11 r + 16 g + 5 b) / 32).
GreyPicture GreyOf(const TestImage& image);
// A JPEG of `upright` stored lying on its side (turned a quarter left), with the EXIF
// orientation that stands it up again.
std::string JpegLyingWithExifToStandUp(const TestImage& upright);

}  // namespace norvo::test
