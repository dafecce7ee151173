#pragma once

// Helpers that make picture files for the imaging tests.

#include <QImage>
#include <QTemporaryDir>
#include <cstdint>
#include <string>
#include <vector>

namespace norvo::testing {

// PNG bytes whose header declares `width` x `height` (colour type 2, 8 bits) followed by one
// deliberately broken IDAT: cheap files that claim any size.
std::vector<uint8_t> PngDeclaring(uint32_t width, uint32_t height);

// Writes bytes to a file; true on success.
bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);

// Saves `image` with Qt in `format` ("png", "jpeg", ...); true on success.
bool SaveImage(const QImage& image, const std::string& path, const char* format);

// Decodes a JPEG with libjpeg-turbo's djpeg (a decoder independent of Qt) into packed RGB.
// Returns false when djpeg is missing or fails.
bool DecodeWithDjpeg(const std::string& path, int& width, int& height, std::vector<uint8_t>& rgb);

// A temporary folder per test with paths as byte strings.
class TempFolder {
public:
    std::string Path(const std::string& name) const;

private:
    QTemporaryDir m_dir;
};

}  // namespace norvo::testing
