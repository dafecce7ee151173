#pragma once

// Helpers that make picture files for the imaging tests. The files are written by an encoder
// other than the code under test: Qt's writers on Linux, WIC called directly on Windows.

#include <cstdint>
#include <string>
#include <vector>

namespace norvo::testing {

// A picture drawn by the tests, colours as ReadPicturePixel gives them
// (red | green << 8 | blue << 16), rows top-down.
struct TestImage {
    TestImage(int32_t width, int32_t height, uint32_t colour = 0);
    void Fill(uint32_t colour) { FillRect(0, 0, width, height, colour); }
    void FillRect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour);
    void Set(int32_t x, int32_t y, uint32_t colour) {
        pixels[static_cast<size_t>(y) * width + x] = colour;
    }
    uint32_t At(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * width + x]; }

    int32_t width;
    int32_t height;
    std::vector<uint32_t> pixels;
};

// PNG bytes whose header declares `width` x `height` (colour type 2, 8 bits) followed by one
// deliberately broken IDAT: cheap files that claim any size.
std::vector<uint8_t> PngDeclaring(uint32_t width, uint32_t height);

// The JPEG `jpeg` with an EXIF segment saying it is shown in `orientation` (1..8) put right
// after its start marker.
std::vector<uint8_t> WithExifOrientation(const std::vector<uint8_t>& jpeg, int orientation);

// Writes bytes to a file; true on success.
bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);

// Saves `image` in `format` ("png", "jpeg", "bmp", "tiff"; "webp" on Linux only); true on
// success.
bool SaveImage(const TestImage& image, const std::string& path, const char* format);

// Decodes a JPEG with a decoder independent of the picture library (libjpeg-turbo's djpeg on
// Linux, WIC called directly on Windows) into packed RGB. False when that fails.
bool DecodeJpegIndependently(const std::string& path, int& width, int& height,
                             std::vector<uint8_t>& rgb);

// A temporary folder per test, removed with everything in it; paths are UTF-8 byte strings.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string Path(const std::string& name) const;

private:
    std::string m_path;
};

}  // namespace norvo::testing
