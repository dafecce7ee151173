#include "tests/imaging/TestPictures.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#ifdef _WIN32
#include <objbase.h>
#include <wincodec.h>
#include <windows.h>
#else
#include <unistd.h>

#include <QFile>
#include <QImage>
#include <QImageWriter>
#endif

namespace norvo::testing {

namespace {

uint32_t Crc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xffffffffu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(v >> shift));
    }
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void Chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    Put32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    Put32(out, Crc32(out.data() + start, out.size() - start));
}

// A UTF-8 path as the file system's own.
std::filesystem::path FsPath(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

}  // namespace

TestImage::TestImage(int32_t w, int32_t h, uint32_t colour)
    : width(w), height(h), pixels(static_cast<size_t>(w) * h, colour) {}

void TestImage::FillRect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour) {
    for (int32_t row = y; row < y + h; ++row) {
        for (int32_t column = x; column < x + w; ++column) {
            Set(column, row, colour);
        }
    }
}

std::vector<uint8_t> PngDeclaring(uint32_t width, uint32_t height) {
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<uint8_t> header;
    Put32(header, width);
    Put32(header, height);
    header.insert(header.end(), {8, 2, 0, 0, 0});
    Chunk(out, "IHDR", header);
    Chunk(out, "IDAT", {0x78, 0x9c, 0xff, 0xff, 0xff, 0xff});  // invalid deflate block
    Chunk(out, "IEND", {});
    return out;
}

std::vector<uint8_t> WithExifOrientation(const std::vector<uint8_t>& jpeg, int orientation) {
    // APP1: "Exif", a big-endian TIFF header and one directory with one entry, 0x0112 SHORT.
    std::vector<uint8_t> exif = {0xff, 0xe1};
    Put16(exif, 2 + 6 + 8 + 2 + 12 + 4);
    exif.insert(exif.end(), {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42});
    Put32(exif, 8);  // the directory follows the header
    Put16(exif, 1);
    Put16(exif, 0x0112);
    Put16(exif, 3);
    Put32(exif, 1);
    Put16(exif, static_cast<uint32_t>(orientation));
    Put16(exif, 0);
    Put32(exif, 0);  // no next directory
    std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), exif.begin(), exif.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(FsPath(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(FsPath(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

#ifdef _WIN32

namespace {

// WIC's factory on the calling thread, which joins COM's multithreaded apartment if it is in
// none yet; nullptr when WIC is missing.
IWICImagingFactory* Wic() {
    thread_local IWICImagingFactory* factory = [] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        IWICImagingFactory* made = nullptr;
        CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                         IID_IWICImagingFactory, reinterpret_cast<void**>(&made));
        return made;
    }();
    return factory;
}

template <typename T>
struct Released {
    T* p = nullptr;
    ~Released() {
        if (p) {
            p->Release();
        }
    }
};

std::wstring Wide(const std::string& path) {
    return FsPath(path).wstring();
}

}  // namespace

bool SaveImage(const TestImage& image, const std::string& path, const char* format) {
    const std::string name = format;
    const GUID container = name == "png"    ? GUID_ContainerFormatPng
                           : name == "jpeg" ? GUID_ContainerFormatJpeg
                           : name == "bmp"  ? GUID_ContainerFormatBmp
                           : name == "tiff" ? GUID_ContainerFormatTiff
                                            : GUID_NULL;
    IWICImagingFactory* factory = Wic();
    if (!factory || IsEqualGUID(container, GUID_NULL)) {
        return false;
    }
    Released<IWICStream> stream;
    Released<IWICBitmapEncoder> encoder;
    Released<IWICBitmapFrameEncode> frame;
    Released<IPropertyBag2> options;
    HRESULT hr = factory->CreateStream(&stream.p);
    if (SUCCEEDED(hr)) {
        hr = stream.p->InitializeFromFilename(Wide(path).c_str(), GENERIC_WRITE);
    }
    if (SUCCEEDED(hr)) {
        hr = factory->CreateEncoder(container, nullptr, &encoder.p);
    }
    if (SUCCEEDED(hr)) {
        hr = encoder.p->Initialize(stream.p, WICBitmapEncoderNoCache);
    }
    if (SUCCEEDED(hr)) {
        hr = encoder.p->CreateNewFrame(&frame.p, &options.p);
    }
    if (SUCCEEDED(hr)) {
        hr = frame.p->Initialize(options.p);
    }
    if (SUCCEEDED(hr)) {
        hr = frame.p->SetSize(static_cast<UINT>(image.width), static_cast<UINT>(image.height));
    }
    WICPixelFormatGUID pixelFormat = GUID_WICPixelFormat24bppBGR;
    if (SUCCEEDED(hr)) {
        hr = frame.p->SetPixelFormat(&pixelFormat);
    }
    if (SUCCEEDED(hr) && !IsEqualGUID(pixelFormat, GUID_WICPixelFormat24bppBGR)) {
        hr = E_FAIL;
    }
    const UINT stride = static_cast<UINT>((3 * image.width + 3) & ~3);
    std::vector<uint8_t> rows(static_cast<size_t>(stride) * image.height);
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x) {
            const uint32_t c = image.At(x, y);
            uint8_t* p = &rows[static_cast<size_t>(y) * stride + 3 * static_cast<size_t>(x)];
            p[0] = static_cast<uint8_t>(c >> 16);
            p[1] = static_cast<uint8_t>(c >> 8);
            p[2] = static_cast<uint8_t>(c);
        }
    }
    if (SUCCEEDED(hr)) {
        hr = frame.p->WritePixels(static_cast<UINT>(image.height), stride,
                                  static_cast<UINT>(rows.size()), rows.data());
    }
    if (SUCCEEDED(hr)) {
        hr = frame.p->Commit();
    }
    if (SUCCEEDED(hr)) {
        hr = encoder.p->Commit();
    }
    return SUCCEEDED(hr);
}

bool DecodeJpegIndependently(const std::string& path, int& width, int& height,
                             std::vector<uint8_t>& rgb) {
    IWICImagingFactory* factory = Wic();
    if (!factory) {
        return false;
    }
    Released<IWICBitmapDecoder> decoder;
    Released<IWICBitmapFrameDecode> frame;
    Released<IWICBitmapSource> converted;
    HRESULT hr = factory->CreateDecoderFromFilename(Wide(path).c_str(), nullptr, GENERIC_READ,
                                                    WICDecodeMetadataCacheOnDemand, &decoder.p);
    if (SUCCEEDED(hr)) {
        hr = decoder.p->GetFrame(0, &frame.p);
    }
    if (SUCCEEDED(hr)) {
        hr = WICConvertBitmapSource(GUID_WICPixelFormat24bppRGB, frame.p, &converted.p);
    }
    UINT w = 0, h = 0;
    if (SUCCEEDED(hr)) {
        hr = converted.p->GetSize(&w, &h);
    }
    if (FAILED(hr)) {
        return false;
    }
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    rgb.assign(static_cast<size_t>(w) * h * 3, 0);
    return SUCCEEDED(
        converted.p->CopyPixels(nullptr, 3 * w, static_cast<UINT>(rgb.size()), rgb.data()));
}

TempFolder::TempFolder() {
    static std::atomic<unsigned> counter{0};
    wchar_t base[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, base);
    const std::filesystem::path folder =
        std::filesystem::path(base) / (L"norvo-test-" + std::to_wstring(GetCurrentProcessId()) +
                                       L"-" + std::to_wstring(++counter));
    std::filesystem::remove_all(folder);
    if (!CreateDirectoryW(folder.c_str(), nullptr)) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    const std::u8string utf8 = folder.u8string();
    m_path.assign(utf8.begin(), utf8.end());
}

#else

bool SaveImage(const TestImage& image, const std::string& path, const char* format) {
    QImage qt(image.width, image.height, QImage::Format_RGB32);
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x) {
            const uint32_t c = image.At(x, y);
            qt.setPixel(x, y, qRgb(c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff));
        }
    }
    QImageWriter writer(QFile::decodeName(QByteArray::fromStdString(path)), format);
    return writer.write(qt);
}

bool DecodeJpegIndependently(const std::string& path, int& width, int& height,
                             std::vector<uint8_t>& rgb) {
    const std::string command = "djpeg -pnm '" + path + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return false;
    }
    int maxValue = 0;
    const bool header = std::fscanf(pipe, "P6 %d %d %d", &width, &height, &maxValue) == 3 &&
                        std::fgetc(pipe) != EOF && maxValue == 255;
    bool ok = false;
    if (header && width > 0 && height > 0) {
        rgb.resize(static_cast<size_t>(width) * height * 3);
        ok = std::fread(rgb.data(), 1, rgb.size(), pipe) == rgb.size();
    }
    return pclose(pipe) == 0 && ok;
}

TempFolder::TempFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/norvo-test-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    m_path = pattern;
}

#endif

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(FsPath(m_path), ignored);
}

std::string TempFolder::Path(const std::string& name) const {
    return m_path + "/" + name;
}

}  // namespace norvo::testing
