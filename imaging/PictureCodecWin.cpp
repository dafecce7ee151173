// Decoding, encoding and scaling of pictures through the Windows Imaging Component (WIC): the
// Windows side of PictureCodec.cpp, with the same formats, limits, orientation and statuses.

#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/WideText.h"
#include "imaging/Picture.h"
#include "imaging/PictureData.h"
#include "imaging/PictureShrink.h"

namespace norvo {

namespace {

// A COM interface pointer, released when it goes.
template <typename T>
class Com {
public:
    Com() = default;
    ~Com() { reset(); }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    void reset() {
        if (m_p) {
            m_p->Release();
            m_p = nullptr;
        }
    }
    T** put() {
        reset();
        return &m_p;
    }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};

// COM and one imaging factory for the calling thread, released when the thread ends. The
// thread joins a single-threaded apartment, which is what the windows' dialogs need as well;
// a thread already in the multithreaded one stays there (WIC works in both).
class ThreadImaging {
public:
    ThreadImaging() {
        const HRESULT hr =
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        m_joined = SUCCEEDED(hr);
        if (m_joined || hr == RPC_E_CHANGED_MODE) {
            CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IWICImagingFactory, reinterpret_cast<void**>(m_factory.put()));
        }
    }
    ~ThreadImaging() {
        m_factory.reset();
        if (m_joined) {
            CoUninitialize();
        }
    }
    IWICImagingFactory* factory() const { return m_factory.get(); }

private:
    bool m_joined = false;
    Com<IWICImagingFactory> m_factory;
};

IWICImagingFactory* Factory() {
    thread_local ThreadImaging imaging;
    return imaging.factory();
}

uint32_t Big16(const uint8_t* p) {
    return uint32_t{p[0]} << 8 | p[1];
}
uint32_t Big32(const uint8_t* p) {
    return Big16(p) << 16 | Big16(p + 2);
}
uint32_t Little16(const uint8_t* p) {
    return uint32_t{p[1]} << 8 | p[0];
}
uint32_t Little32(const uint8_t* p) {
    return Little16(p + 2) << 16 | Little16(p);
}

bool StartsWith(const uint8_t* data, size_t size, const char* magic, size_t length) {
    return size >= length && std::memcmp(data, magic, length) == 0;
}

// Calls `segment(marker, body, length)` for each JPEG marker segment before the picture data
// until it returns true.
template <typename Segment>
void WalkJpeg(const uint8_t* data, size_t size, Segment segment) {
    size_t i = 2;
    while (i + 4 <= size && data[i] == 0xff) {
        const uint8_t marker = data[i + 1];
        if (marker == 0xff) {  // fill byte
            ++i;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd8)) {  // no length
            i += 2;
            continue;
        }
        if (marker == 0xda || marker == 0xd9) {  // start of scan, end of picture
            return;
        }
        const size_t length = Big16(data + i + 2);
        if (length < 2 || i + 2 + length > size) {
            return;
        }
        if (segment(marker, data + i + 4, length - 2)) {
            return;
        }
        i += 2 + length;
    }
}

// The first TIFF directory's entry `tag` as a number; 0 when it is missing.
uint32_t TiffTag(const uint8_t* tiff, size_t size, uint32_t tag) {
    if (size < 8) {
        return 0;
    }
    const bool little = tiff[0] == 'I' && tiff[1] == 'I';
    const bool big = tiff[0] == 'M' && tiff[1] == 'M';
    auto u16 = [&](size_t at) { return little ? Little16(tiff + at) : Big16(tiff + at); };
    auto u32 = [&](size_t at) { return little ? Little32(tiff + at) : Big32(tiff + at); };
    if ((!little && !big) || u16(2) != 42) {
        return 0;
    }
    const size_t directory = u32(4);
    if (directory > size - 2) {
        return 0;
    }
    const size_t count = u16(directory);
    for (size_t k = 0; k < count; ++k) {
        const size_t entry = directory + 2 + 12 * k;
        if (entry + 12 > size) {
            break;
        }
        if (u16(entry) == tag) {
            const uint32_t type = u16(entry + 2);
            return type == 3 ? u16(entry + 8) : type == 4 ? u32(entry + 8) : 0;
        }
    }
    return 0;
}

// The size the picture's header declares, read before WIC sees the bytes: some decoders (Wine's
// PNG one among them) allocate the whole picture as soon as they open it. False when the header
// is not one of ours or says nothing; WIC's frame size is checked after it anyway.
bool DeclaredSize(const uint8_t* d, size_t n, int64_t& width, int64_t& height) {
    if (StartsWith(d, n, "\x89PNG\r\n\x1a\n", 8) && n >= 24) {
        width = Big32(d + 16);
        height = Big32(d + 20);
        return true;
    }
    if ((StartsWith(d, n, "GIF87a", 6) || StartsWith(d, n, "GIF89a", 6)) && n >= 10) {
        width = Little16(d + 6);
        height = Little16(d + 8);
        return true;
    }
    if (StartsWith(d, n, "BM", 2) && n >= 26) {
        if (Little32(d + 14) == 12) {  // the old core header: 16-bit sides
            width = Little16(d + 18);
            height = Little16(d + 20);
        } else {
            width = static_cast<int32_t>(Little32(d + 18));
            height = static_cast<int32_t>(Little32(d + 22));
        }
        width = width < 0 ? -width : width;
        height = height < 0 ? -height : height;  // negative: top-down rows
        return true;
    }
    if (StartsWith(d, n, "\xff\xd8", 2)) {
        bool found = false;
        WalkJpeg(d, n, [&](uint8_t marker, const uint8_t* body, size_t length) {
            const bool frame = marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 &&
                               marker != 0xc8 && marker != 0xcc;
            if (frame && length >= 5) {
                height = Big16(body + 1);
                width = Big16(body + 3);
                found = true;
            }
            return frame;
        });
        return found;
    }
    if (StartsWith(d, n, "RIFF", 4) && n >= 30 && std::memcmp(d + 8, "WEBP", 4) == 0) {
        const uint8_t* chunk = d + 12;
        if (std::memcmp(chunk, "VP8X", 4) == 0) {
            width = 1 + (Little32(chunk + 12) & 0xffffff);
            height = 1 + (Little32(chunk + 15) & 0xffffff);
            return true;
        }
        if (std::memcmp(chunk, "VP8L", 4) == 0) {
            const uint32_t bits = Little32(chunk + 9);
            width = 1 + (bits & 0x3fff);
            height = 1 + ((bits >> 14) & 0x3fff);
            return true;
        }
        if (std::memcmp(chunk, "VP8 ", 4) == 0) {
            width = Little16(chunk + 14) & 0x3fff;
            height = Little16(chunk + 16) & 0x3fff;
            return true;
        }
        return false;
    }
    if (StartsWith(d, n, "II*\0", 4) || StartsWith(d, n, "MM\0*", 4)) {
        width = TiffTag(d, n, 256);
        height = TiffTag(d, n, 257);
        return width > 0 && height > 0;
    }
    return false;
}

// The EXIF orientation (1..8) of a JPEG or TIFF picture; 1 when it has none.
int Orientation(const uint8_t* d, size_t n) {
    uint32_t value = 0;
    if (StartsWith(d, n, "\xff\xd8", 2)) {
        WalkJpeg(d, n, [&](uint8_t marker, const uint8_t* body, size_t length) {
            if (marker != 0xe1 || length < 6 || std::memcmp(body, "Exif\0\0", 6) != 0) {
                return false;
            }
            value = TiffTag(body + 6, length - 6, 0x112);
            return true;
        });
    } else if (StartsWith(d, n, "II*\0", 4) || StartsWith(d, n, "MM\0*", 4)) {
        value = TiffTag(d, n, 0x112);
    }
    return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
}

// Zeroes the bytes after each row's pixels, so that the bits are the same on every run.
void ClearPadding(Picture& picture) {
    const int32_t width = picture.header.biWidth;
    const size_t rowBytes = 3 * static_cast<size_t>(width);
    const size_t padding = static_cast<size_t>(PictureStride(width)) - rowBytes;
    if (padding == 0) {
        return;
    }
    for (int32_t y = 0; y < picture.header.biHeight; ++y) {
        std::memset(PictureRow(picture, y) + rowBytes, 0, padding);
    }
}

// Turns WIC's top-down rows, held in `decoded`, into the picture as shown: bottom-up, with the
// EXIF orientation applied.
std::unique_ptr<Picture> Orient(std::unique_ptr<Picture> decoded, int orientation) {
    const int32_t width = decoded->header.biWidth;
    const int32_t height = decoded->header.biHeight;
    const int64_t stride = PictureStride(width);
    if (orientation == 1) {
        // Only the row order changes: swap rows in place.
        std::vector<uint8_t> row(static_cast<size_t>(stride));
        for (int32_t y = 0; y < height / 2; ++y) {
            uint8_t* top = decoded->bits + y * stride;
            uint8_t* bottom = decoded->bits + (height - 1 - y) * stride;
            std::memcpy(row.data(), top, row.size());
            std::memcpy(top, bottom, row.size());
            std::memcpy(bottom, row.data(), row.size());
        }
        ClearPadding(*decoded);
        return decoded;
    }
    const bool turned = orientation >= 5;
    auto shown = AllocatePicture(turned ? height : width, turned ? width : height);
    if (!shown) {
        return nullptr;
    }
    const int32_t shownWidth = shown->header.biWidth;
    for (int32_t y = 0; y < shown->header.biHeight; ++y) {
        uint8_t* dst = PictureRow(*shown, y);
        for (int32_t x = 0; x < shownWidth; ++x, dst += 3) {
            int32_t sx = x, sy = y;
            switch (orientation) {
                case 2:  // mirrored
                    sx = width - 1 - x;
                    break;
                case 3:  // half turn
                    sx = width - 1 - x;
                    sy = height - 1 - y;
                    break;
                case 4:  // flipped
                    sy = height - 1 - y;
                    break;
                case 5:  // transposed
                    sx = y;
                    sy = x;
                    break;
                case 6:  // a quarter turn clockwise
                    sx = y;
                    sy = height - 1 - x;
                    break;
                case 7:  // transversed
                    sx = width - 1 - y;
                    sy = height - 1 - x;
                    break;
                case 8:  // a quarter turn anticlockwise
                    sx = width - 1 - y;
                    sy = x;
                    break;
            }
            std::memcpy(dst, decoded->bits + sy * stride + 3 * int64_t{sx}, 3);
        }
    }
    ClearPadding(*shown);
    return shown;
}

PictureStatus FromHresult(HRESULT hr) {
    return hr == E_OUTOFMEMORY ? PictureStatus::OutOfMemory : PictureStatus::NotAPicture;
}

// Decodes the first frame of an encoded picture with its EXIF orientation applied, checking
// the declared size before anything is decoded.
PictureStatus DecodeBytes(const uint8_t* data, size_t size, std::unique_ptr<Picture>& out) {
    out.reset();
    if (!data || size == 0 || size > MAXDWORD) {
        return PictureStatus::NotAPicture;
    }
    int64_t width = 0, height = 0;
    if (DeclaredSize(data, size, width, height) && width > 0 && height > 0 &&
        !PictureSizeAllowed(width, height)) {
        return PictureStatus::TooLarge;
    }
    IWICImagingFactory* factory = Factory();
    if (!factory) {
        return PictureStatus::NotAPicture;
    }
    Com<IWICStream> stream;
    HRESULT hr = factory->CreateStream(stream.put());
    if (SUCCEEDED(hr)) {
        // WIC only reads through the stream.
        hr = stream->InitializeFromMemory(const_cast<BYTE*>(data), static_cast<DWORD>(size));
    }
    // No decoder for the format (WebP on a system without its codec) reads as any other
    // file that is no picture we know.
    Com<IWICBitmapDecoder> decoder;
    if (SUCCEEDED(hr)) {
        hr = factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                              decoder.put());
    }
    Com<IWICBitmapFrameDecode> frame;
    if (SUCCEEDED(hr)) {
        hr = decoder->GetFrame(0, frame.put());
    }
    UINT frameWidth = 0, frameHeight = 0;
    if (SUCCEEDED(hr)) {
        hr = frame->GetSize(&frameWidth, &frameHeight);
    }
    if (FAILED(hr)) {
        return FromHresult(hr);
    }
    if (!PictureSizeAllowed(frameWidth, frameHeight)) {
        return PictureStatus::TooLarge;
    }
    // Other formats go through 32-bit BGRA (alpha dropped, as Qt drops it): Wine converts
    // grey and palette pictures to 24-bit BGR only that way.
    WICPixelFormatGUID format{};
    hr = frame->GetPixelFormat(&format);
    Com<IWICBitmapSource> bgra;
    Com<IWICBitmapSource> bgr;
    if (SUCCEEDED(hr) && !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) {
        hr = WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, frame.get(), bgra.put());
        if (SUCCEEDED(hr)) {
            hr = WICConvertBitmapSource(GUID_WICPixelFormat24bppBGR, bgra.get(), bgr.put());
        }
    }
    if (FAILED(hr)) {
        return FromHresult(hr);
    }
    IWICBitmapSource* source = bgr ? bgr.get() : frame.get();
    auto decoded =
        AllocatePicture(static_cast<int32_t>(frameWidth), static_cast<int32_t>(frameHeight));
    if (!decoded) {
        return PictureStatus::OutOfMemory;
    }
    // In bands: a converter holds its source's pixels for the rows asked at once.
    const UINT stride = static_cast<UINT>(PictureStride(frameWidth));
    constexpr UINT kBand = 256;
    for (UINT y = 0; SUCCEEDED(hr) && y < frameHeight; y += kBand) {
        const UINT rows = std::min(kBand, frameHeight - y);
        const WICRect band{0, static_cast<INT>(y), static_cast<INT>(frameWidth),
                           static_cast<INT>(rows)};
        hr = source->CopyPixels(&band, stride, stride * rows, decoded->bits + size_t{y} * stride);
    }
    if (FAILED(hr)) {
        return FromHresult(hr);
    }
    out = Orient(std::move(decoded), Orientation(data, size));
    return out ? PictureStatus::Ok : PictureStatus::OutOfMemory;
}

// Reads a whole regular file; CannotOpen for anything else (a folder, a device, a pipe).
PictureStatus ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes) {
    if (path.empty()) {
        return PictureStatus::CannotOpen;
    }
    const std::wstring name = win::ToWide(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))) {
        return PictureStatus::CannotOpen;
    }
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return PictureStatus::CannotOpen;
    }
    PictureStatus status = PictureStatus::Ok;
    LARGE_INTEGER size{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size)) {
        status = PictureStatus::CannotOpen;
    } else if (size.QuadPart > MAXDWORD) {
        status = PictureStatus::NotAPicture;  // no picture within our limits is this large
    } else {
        try {
            bytes.resize(static_cast<size_t>(size.QuadPart));
        } catch (const std::bad_alloc&) {
            status = PictureStatus::OutOfMemory;
        }
        DWORD read = 0;
        if (status == PictureStatus::Ok && !bytes.empty() &&
            (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
             read != bytes.size())) {
            status = PictureStatus::CannotOpen;
        }
    }
    CloseHandle(file);
    return status;
}

PictureStatus DecodeFile(const std::string& path, std::unique_ptr<Picture>& out) {
    std::vector<uint8_t> bytes;
    const PictureStatus status = ReadFileBytes(path, bytes);
    if (status != PictureStatus::Ok) {
        return status;
    }
    return DecodeBytes(bytes.data(), bytes.size(), out);
}

PictureHandle ToHandle(PictureStatus status, std::unique_ptr<Picture> picture, PictureStatus* why) {
    if (why) {
        *why = status;
    }
    return status == PictureStatus::Ok ? picture.release() : nullptr;
}

// Grey as Qt weighs it (qGray): the same detector input on both systems.
uint8_t Grey(const uint8_t* bgr) {
    return static_cast<uint8_t>((bgr[2] * 11 + bgr[1] * 16 + bgr[0] * 5) / 32);
}

PictureStatus ToPacked(PictureStatus status, const Picture* picture, PackedFormat format,
                       PackedPixels& out) {
    out = PackedPixels();
    if (status != PictureStatus::Ok) {
        return status;
    }
    const int32_t width = picture->header.biWidth;
    const int32_t height = picture->header.biHeight;
    const bool grey = format == PackedFormat::Grey;
    const size_t channels = grey ? 1 : 3;
    try {
        out.data.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * channels);
    } catch (const std::bad_alloc&) {
        return PictureStatus::OutOfMemory;
    }
    uint8_t* dst = out.data.data();
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = PictureRow(*picture, y);
        for (int32_t x = 0; x < width; ++x, src += 3) {
            if (grey) {
                *dst++ = Grey(src);
            } else {
                *dst++ = src[2];
                *dst++ = src[1];
                *dst++ = src[0];
            }
        }
    }
    out.width = width;
    out.height = height;
    out.channels = static_cast<int32_t>(channels);
    return PictureStatus::Ok;
}

}  // namespace

PictureHandle LoadPicture(const std::string& path, PictureStatus* why) {
    std::unique_ptr<Picture> picture;
    const PictureStatus status = DecodeFile(path, picture);
    return ToHandle(status, std::move(picture), why);
}

PictureHandle LoadPictureFromMemory(const void* data, size_t size, PictureStatus* why) {
    std::unique_ptr<Picture> picture;
    const PictureStatus status = DecodeBytes(static_cast<const uint8_t*>(data), size, picture);
    return ToHandle(status, std::move(picture), why);
}

PictureStatus DecodePackedPixels(const void* data, size_t size, PackedFormat format,
                                 PackedPixels& out) {
    std::unique_ptr<Picture> picture;
    const PictureStatus status = DecodeBytes(static_cast<const uint8_t*>(data), size, picture);
    return ToPacked(status, picture.get(), format, out);
}

PictureStatus DecodePackedPixelsFile(const std::string& path, PackedFormat format,
                                     PackedPixels& out) {
    std::unique_ptr<Picture> picture;
    const PictureStatus status = DecodeFile(path, picture);
    return ToPacked(status, picture.get(), format, out);
}

PictureStatus DecodeGreyForDetection(const void* data, size_t size, int32_t maxLongSide,
                                     PackedPixels& out, int32_t& fullWidth, int32_t& fullHeight) {
    out = PackedPixels();
    fullWidth = fullHeight = 0;
    if (!data || size == 0 || maxLongSide < 1) {
        return PictureStatus::NotAPicture;
    }
    // The limit detection decodes under on Linux: a format that cannot be decoded scaled
    // (all but JPEG) is refused when its whole decode would pass Qt's allocation limit, 128 MiB
    // of 32-bit pixels, before anything is decoded.
    constexpr int64_t kWholeDecodeLimitBytes = int64_t{128} << 20;
    const auto* bytes = static_cast<const uint8_t*>(data);
    const bool jpeg = size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8;
    int64_t declaredWidth = 0, declaredHeight = 0;
    if (!jpeg && DeclaredSize(bytes, size, declaredWidth, declaredHeight) &&
        declaredWidth * declaredHeight * 4 > kWholeDecodeLimitBytes) {
        return PictureStatus::TooLarge;
    }
    // WIC scales while decoding only for some codecs on some systems: decode whole, then
    // average down.
    std::unique_ptr<Picture> picture;
    const PictureStatus status = DecodeBytes(static_cast<const uint8_t*>(data), size, picture);
    if (status != PictureStatus::Ok) {
        return status;
    }
    fullWidth = picture->header.biWidth;
    fullHeight = picture->header.biHeight;
    const int32_t longSide = std::max(fullWidth, fullHeight);
    if (longSide > maxLongSide) {
        const double k = static_cast<double>(maxLongSide) / longSide;
        const auto side = [k](int32_t length) {
            return std::max<int32_t>(1, static_cast<int32_t>(length * k + 0.5));
        };
        picture = ShrinkPicture(*picture, side(fullWidth), side(fullHeight));
        if (!picture) {
            return PictureStatus::OutOfMemory;
        }
    }
    return ToPacked(PictureStatus::Ok, picture.get(), PackedFormat::Grey, out);
}

namespace {

// Writes `size` bytes to a new file beside `path` and renames it over `path` at the end: a
// full disk or a failed write leaves any earlier file of that name as it was.
bool ReplaceFileWith(const std::string& path, const uint8_t* data, size_t size) {
    static std::atomic<unsigned> counter{0};
    const std::wstring target = win::ToWide(path);
    const std::wstring temporary = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(++counter) + L".part";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ok = true;
    for (size_t done = 0; ok && done < size;) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
        DWORD written = 0;
        ok = WriteFile(file, data + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    ok = ok && FlushFileBuffers(file);
    CloseHandle(file);
    ok = ok && MoveFileExW(temporary.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        DeleteFileW(temporary.c_str());
    }
    return ok;
}

// Sets one encoder option; false when the encoder does not know it.
bool SetOption(IPropertyBag2* options, const wchar_t* name, VARIANT value) {
    PROPBAG2 option{};
    option.pstrName = const_cast<LPOLESTR>(name);
    return SUCCEEDED(options->Write(1, &option, &value));
}

// Encodes the picture in `container` (JPEG of `quality` 0..100, or PNG for quality < 0) and
// writes it to `path`. Returns 0 on success, 1 on any failure.
int WritePicture(const std::string& path, const Picture& picture, REFGUID container, int quality) {
    IWICImagingFactory* factory = Factory();
    if (!factory) {
        return 1;
    }
    const int32_t width = picture.header.biWidth;
    const int32_t height = picture.header.biHeight;
    const UINT stride = static_cast<UINT>(PictureStride(width));
    Com<IStream> memory;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, memory.put());
    Com<IWICBitmapEncoder> encoder;
    if (SUCCEEDED(hr)) {
        hr = factory->CreateEncoder(container, nullptr, encoder.put());
    }
    if (SUCCEEDED(hr)) {
        hr = encoder->Initialize(memory.get(), WICBitmapEncoderNoCache);
    }
    Com<IWICBitmapFrameEncode> frame;
    Com<IPropertyBag2> options;
    if (SUCCEEDED(hr)) {
        hr = encoder->CreateNewFrame(frame.put(), options.put());
    }
    if (SUCCEEDED(hr) && quality >= 0) {
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_R4;
        value.fltVal = static_cast<float>(quality) / 100.0f;
        hr = SetOption(options.get(), L"ImageQuality", value) ? S_OK : E_FAIL;
        // 4:2:0 as libjpeg's default; encoders that do not know the option (Wine's) use
        // libjpeg's default anyway.
        value.vt = VT_UI1;
        value.bVal = WICJpegYCrCbSubsampling420;
        SetOption(options.get(), L"JpegYCrCbSubsampling", value);
    }
    if (SUCCEEDED(hr)) {
        hr = frame->Initialize(options.get());
    }
    if (SUCCEEDED(hr)) {
        hr = frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height));
    }
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (SUCCEEDED(hr)) {
        hr = frame->SetPixelFormat(&format);
    }
    if (SUCCEEDED(hr) && !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) {
        hr = E_FAIL;
    }
    // WIC takes rows top-down: hand them over a slice at a time from the bottom-up bits.
    constexpr int32_t kSlice = 64;
    std::vector<uint8_t> rows;
    if (SUCCEEDED(hr)) {
        try {
            rows.resize(static_cast<size_t>(stride) * std::min(height, kSlice));
        } catch (const std::bad_alloc&) {
            hr = E_OUTOFMEMORY;
        }
    }
    for (int32_t y = 0; SUCCEEDED(hr) && y < height; y += kSlice) {
        const int32_t count = std::min(kSlice, height - y);
        for (int32_t k = 0; k < count; ++k) {
            std::memcpy(rows.data() + static_cast<size_t>(k) * stride, PictureRow(picture, y + k),
                        stride);
        }
        hr = frame->WritePixels(static_cast<UINT>(count), stride, stride * count, rows.data());
    }
    if (SUCCEEDED(hr)) {
        hr = frame->Commit();
    }
    if (SUCCEEDED(hr)) {
        hr = encoder->Commit();
    }
    HGLOBAL global = nullptr;
    STATSTG stat{};
    if (SUCCEEDED(hr)) {
        hr = GetHGlobalFromStream(memory.get(), &global);
    }
    if (SUCCEEDED(hr)) {
        hr = memory->Stat(&stat, STATFLAG_NONAME);
    }
    if (FAILED(hr)) {
        return 1;
    }
    const auto* bytes = static_cast<const uint8_t*>(GlobalLock(global));
    if (!bytes) {
        return 1;
    }
    const bool written = ReplaceFileWith(path, bytes, static_cast<size_t>(stat.cbSize.QuadPart));
    GlobalUnlock(global);
    return written ? 0 : 1;
}

// Enlarges with bilinear weights between pixel centres, edges held, in fixed point so that
// every run gives the same bits.
std::unique_ptr<Picture> Enlarge(const Picture& source, int32_t width, int32_t height) {
    auto result = AllocatePicture(width, height);
    if (!result) {
        return nullptr;
    }
    struct Tap {
        int32_t first;
        int32_t second;
        uint32_t weight;  // of the second, 0..256
    };
    const auto taps = [](int32_t from, int32_t to) {
        std::vector<Tap> out(static_cast<size_t>(to));
        for (int32_t i = 0; i < to; ++i) {
            // Centre of output pixel i in source pixels, in 1/256ths.
            const int64_t at =
                std::max<int64_t>(0, ((2 * int64_t{i} + 1) * from * 256) / (2 * int64_t{to}) - 128);
            const int32_t first = std::min<int32_t>(from - 1, static_cast<int32_t>(at >> 8));
            out[static_cast<size_t>(i)] = {first, std::min(from - 1, first + 1),
                                           static_cast<uint32_t>(at & 255)};
        }
        return out;
    };
    const std::vector<Tap> across = taps(source.header.biWidth, width);
    const std::vector<Tap> down = taps(source.header.biHeight, height);
    for (int32_t y = 0; y < height; ++y) {
        const Tap& v = down[static_cast<size_t>(y)];
        const uint8_t* upper = PictureRow(source, v.first);
        const uint8_t* lower = PictureRow(source, v.second);
        uint8_t* dst = PictureRow(*result, y);
        for (int32_t x = 0; x < width; ++x) {
            const Tap& h = across[static_cast<size_t>(x)];
            for (int c = 0; c < 3; ++c) {
                const uint32_t top =
                    upper[3 * h.first + c] * (256 - h.weight) + upper[3 * h.second + c] * h.weight;
                const uint32_t bottom =
                    lower[3 * h.first + c] * (256 - h.weight) + lower[3 * h.second + c] * h.weight;
                *dst++ = static_cast<uint8_t>(
                    (top * (256 - v.weight) + bottom * v.weight + 32768) >> 16);
            }
        }
    }
    ClearPadding(*result);
    return result;
}

}  // namespace

int SavePictureJpeg(const std::string& path, PictureHandle picture, int quality, int flags) {
    if (!picture || path.empty() || flags != 0 || quality < 0 || quality > 100) {
        return 1;
    }
    // WIC's JPEG encoder writes baseline JPEG.
    return WritePicture(path, *picture, GUID_ContainerFormatJpeg, quality);
}

int SavePicturePng(const std::string& path, PictureHandle picture) {
    if (!picture || path.empty()) {
        return 1;
    }
    return WritePicture(path, *picture, GUID_ContainerFormatPng, -1);
}

int ResizePicture(PictureHandle picture, int32_t width, int32_t height) {
    const std::optional<std::pair<int64_t, int64_t>> size =
        picture ? ResizedSize(*picture, width, height) : std::nullopt;
    if (!size) {
        return 1;
    }
    const int64_t oldWidth = picture->header.biWidth;
    const int64_t oldHeight = picture->header.biHeight;
    const auto [newWidth, newHeight] = *size;
    if (newWidth == oldWidth && newHeight == oldHeight) {
        return 0;
    }
    // A side that shrinks is averaged first (the same code as on Linux, so the usual portrait,
    // a photo brought down to 600 high, has the same bits on both); a side that grows is then
    // interpolated.
    const auto shrunkWidth = static_cast<int32_t>(std::min(newWidth, oldWidth));
    const auto shrunkHeight = static_cast<int32_t>(std::min(newHeight, oldHeight));
    std::unique_ptr<Picture> result;
    if (shrunkWidth != oldWidth || shrunkHeight != oldHeight) {
        result = ShrinkPicture(*picture, shrunkWidth, shrunkHeight);
        if (!result) {
            return 1;
        }
    }
    if (shrunkWidth != newWidth || shrunkHeight != newHeight) {
        result = Enlarge(result ? *result : *picture, static_cast<int32_t>(newWidth),
                         static_cast<int32_t>(newHeight));
        if (!result) {
            return 1;
        }
    }
    SetPictureBits(*picture, result->header.biWidth, result->header.biHeight, result->bits,
                   std::move(result->storage));
    return 0;
}

}  // namespace norvo
