#pragma once

// The fake's photographs and how they travel: Qt on Linux, the picture library on Windows.

#include <filesystem>
#include <memory>
#include <string>

namespace norvo::test {

class FakePictures {
public:
    // Reads the bundled photographs; throws std::runtime_error when they are missing.
    explicit FakePictures(const std::filesystem::path& gallery);
    ~FakePictures();

    // `kind` ("hopper", "hopper-mirrored", "astronaut", "blank": a grey 400 x 300) scaled
    // smoothly to `width` pixels wide (0: as it is); PNG for the astronaut, else JPEG.
    std::string Encoded(const std::string& kind, int width) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// `text` (UTF-8) with its first UTF-16 unit in upper case, as Commons writes file names.
std::string WithFirstUpper(const std::string& text);

}  // namespace norvo::test
