// The fake's photographs on Windows, through the picture library (WIC) instead of Qt.
#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "base/Utf8Path.h"
#include "base/WideText.h"
#include "imaging/Picture.h"
#include "tests/fakeweb/FakePictures.h"

namespace norvo::test {

namespace fs = std::filesystem;

struct FakePictures::Impl {
    OwnedPicture hopper, astronaut;
};

FakePictures::FakePictures(const fs::path& gallery) : m_impl(new Impl) {
    m_impl->hopper.reset(LoadPicture(Utf8Of(gallery / "Grace Hopper" / "grace_hopper.jpg")));
    m_impl->astronaut.reset(LoadPicture(Utf8Of(gallery / "Eileen Collins" / "astronaut.png")));
    if (!m_impl->hopper || !m_impl->astronaut)
        throw std::runtime_error("the bundled photographs are missing");
}

FakePictures::~FakePictures() = default;

namespace {

OwnedPicture Mirrored(PictureHandle picture) {
    OwnedPicture out(CopyPicture(picture));
    const PictureDescription* from = DescribePicture(picture);
    const PictureDescription* to = DescribePicture(out.get());
    const int w = from->header->biWidth, h = from->header->biHeight;
    const std::int64_t stride = PictureStride(w);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            std::memcpy(to->bits + y * stride + 3 * x, from->bits + y * stride + 3 * (w - 1 - x),
                        3);
    }
    return out;
}

OwnedPicture Grey400x300() {
    OwnedPicture out(CreatePicture(400, 300));
    const PictureDescription* d = DescribePicture(out.get());
    // Qt's gray, #a0a0a4, as blue, green, red.
    for (std::int64_t i = 0; i < PictureStride(400) * 300; i += 3) {
        d->bits[i] = 0xA4;
        d->bits[i + 1] = 0xA0;
        d->bits[i + 2] = 0xA0;
    }
    return out;
}

}  // namespace

std::string FakePictures::Encoded(const std::string& kind, int width) const {
    OwnedPicture image = kind == "astronaut" ? OwnedPicture(CopyPicture(m_impl->astronaut.get()))
                         : kind == "hopper-mirrored" ? Mirrored(m_impl->hopper.get())
                         : kind == "blank"           ? Grey400x300()
                                           : OwnedPicture(CopyPicture(m_impl->hopper.get()));
    if (width > 0)
        ResizePicture(image.get(), width, -1);
    // The library writes files only: through one in the temp folder.
    wchar_t base[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, base);
    thread_local std::mt19937 random{std::random_device{}()};
    const bool png = kind == "astronaut";
    const fs::path file = fs::path(std::wstring(base, n)) /
                          ("norvo-fakeweb-" + std::to_string(random()) + (png ? ".png" : ".jpg"));
    const int failed = png ? SavePicturePng(Utf8Of(file), image.get())
                           : SavePictureJpeg(Utf8Of(file), image.get(), 90, 0);
    std::string bytes;
    if (!failed) {
        std::ifstream in(file, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::error_code ec;
    fs::remove(file, ec);
    return bytes;
}

std::string WithFirstUpper(const std::string& text) {
    std::wstring wide = win::ToWide(text);
    if (!wide.empty())
        CharUpperBuffW(wide.data(), 1);
    return win::FromWide(wide);
}

}  // namespace norvo::test
