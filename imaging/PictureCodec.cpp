// Decoding, encoding and scaling of pictures through Qt's image classes.

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

#include "imaging/Picture.h"
#include "imaging/PictureData.h"
#include "imaging/PictureShrink.h"

namespace norvo {

namespace {

// Qt refuses decoded pictures over its allocation limit (256 MB by default in Qt 6). Our own
// size limit lets through 100 megapixels, which Qt's decoders hold as 4 bytes per pixel, so
// the limit is raised that far and no further; a limit set higher (or switched off) by the
// program is left alone.
void PrepareReaders() {
    static std::once_flag once;
    std::call_once(once, [] {
        constexpr int64_t kNeededMb = (kMaxPicturePixels * 4 + (1 << 20) - 1) >> 20;
        const int current = QImageReader::allocationLimit();
        if (current != 0 && current < kNeededMb) {
            QImageReader::setAllocationLimit(static_cast<int>(kNeededMb));
        }
    });
}

// Decodes one picture from `device` with its EXIF orientation applied, checking the declared
// size before anything is decoded.
PictureStatus DecodeImage(QIODevice& device, QImage& image) {
    PrepareReaders();
    QImageReader reader(&device);
    reader.setAutoTransform(true);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead()) {
        return PictureStatus::NotAPicture;
    }
    const QSize declared = reader.size();
    if (declared.isValid() && !PictureSizeAllowed(declared.width(), declared.height())) {
        return PictureStatus::TooLarge;
    }
    if (!reader.read(&image) || image.isNull()) {
        return PictureStatus::NotAPicture;
    }
    // Formats that cannot tell their size up front are checked once decoded.
    if (!PictureSizeAllowed(image.width(), image.height())) {
        image = QImage();
        return PictureStatus::TooLarge;
    }
    return PictureStatus::Ok;
}

PictureStatus DecodeFile(const std::string& path, QImage& image) {
    const QString name = QFile::decodeName(QByteArray::fromStdString(path));
    // Only regular files: a directory, a pipe or a device is no picture file.
    if (path.empty() || !QFileInfo(name).isFile()) {
        return PictureStatus::CannotOpen;
    }
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        return PictureStatus::CannotOpen;
    }
    return DecodeImage(file, image);
}

PictureStatus DecodeMemory(const void* data, size_t size, QImage& image) {
    if (!data || size == 0) {
        return PictureStatus::NotAPicture;
    }
    QByteArray bytes =
        QByteArray::fromRawData(static_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return DecodeImage(buffer, image);
}

// Turns a decoded top-down picture into a bottom-up BGR one. Qt's rows are 4-byte aligned like
// ours, so the converted, row-flipped buffer is adopted as it is: no second copy, and the peak
// memory of a large picture stays at one decoded buffer.
std::unique_ptr<Picture> FromImage(QImage image) {
    const int32_t width = image.width();
    const int32_t height = image.height();
    if (!PictureSizeAllowed(width, height)) {
        return nullptr;
    }
    image.convertTo(QImage::Format_BGR888);  // in place where Qt can (from 32-bit pixels)
    if (image.isNull() || image.format() != QImage::Format_BGR888 ||
        image.bytesPerLine() != PictureStride(width)) {
        return nullptr;
    }
    image.mirror(false, true);
    // Qt leaves row padding as it finds it; keep the bits deterministic.
    const size_t rowBytes = 3 * static_cast<size_t>(width);
    const size_t padding = static_cast<size_t>(image.bytesPerLine()) - rowBytes;
    if (padding != 0) {
        for (int32_t y = 0; y < height; ++y) {
            std::memset(image.scanLine(y) + rowBytes, 0, padding);
        }
    }
    auto picture = std::unique_ptr<Picture>(new (std::nothrow) Picture);
    if (!picture) {
        return nullptr;
    }
    auto owner = std::make_shared<QImage>(std::move(image));
    uint8_t* bits = owner->bits();  // the only reference, so no detach copy
    if (!bits) {
        return nullptr;
    }
    SetPictureBits(*picture, width, height, bits, std::move(owner));
    return picture;
}

PictureHandle ToHandle(PictureStatus status, QImage image, PictureStatus* why) {
    PictureHandle handle = nullptr;
    if (status == PictureStatus::Ok) {
        handle = FromImage(std::move(image)).release();
        if (!handle) {
            status = PictureStatus::OutOfMemory;
        }
    }
    if (why) {
        *why = status;
    }
    return handle;
}

PictureStatus ToPacked(PictureStatus status, const QImage& decoded, PackedFormat format,
                       PackedPixels& out) {
    out = PackedPixels();
    if (status != PictureStatus::Ok) {
        return status;
    }
    const bool grey = format == PackedFormat::Grey;
    const QImage image =
        decoded.convertToFormat(grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (image.isNull()) {
        return PictureStatus::OutOfMemory;
    }
    const size_t rowBytes = static_cast<size_t>(image.width()) * (grey ? 1 : 3);
    try {
        out.data.resize(rowBytes * static_cast<size_t>(image.height()));
    } catch (const std::bad_alloc&) {
        return PictureStatus::OutOfMemory;
    }
    for (int y = 0; y < image.height(); ++y) {
        std::memcpy(out.data.data() + rowBytes * static_cast<size_t>(y), image.constScanLine(y),
                    rowBytes);
    }
    out.width = image.width();
    out.height = image.height();
    out.channels = grey ? 1 : 3;
    return PictureStatus::Ok;
}

}  // namespace

PictureHandle LoadPicture(const std::string& path, PictureStatus* why) {
    QImage image;
    const PictureStatus status = DecodeFile(path, image);
    return ToHandle(status, std::move(image), why);
}

PictureHandle LoadPictureFromMemory(const void* data, size_t size, PictureStatus* why) {
    QImage image;
    const PictureStatus status = DecodeMemory(data, size, image);
    return ToHandle(status, std::move(image), why);
}

PictureStatus DecodePackedPixels(const void* data, size_t size, PackedFormat format,
                                 PackedPixels& out) {
    QImage image;
    const PictureStatus status = DecodeMemory(data, size, image);
    return ToPacked(status, image, format, out);
}

PictureStatus DecodePackedPixelsFile(const std::string& path, PackedFormat format,
                                     PackedPixels& out) {
    QImage image;
    const PictureStatus status = DecodeFile(path, image);
    return ToPacked(status, image, format, out);
}

PictureStatus DecodeGreyForDetection(const void* data, size_t size, int32_t maxLongSide,
                                     PackedPixels& out, int32_t& fullWidth, int32_t& fullHeight) {
    out = PackedPixels();
    fullWidth = fullHeight = 0;
    if (!data || size == 0 || maxLongSide < 1) {
        return PictureStatus::NotAPicture;
    }
    QByteArray bytes =
        QByteArray::fromRawData(static_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead()) {
        return PictureStatus::NotAPicture;
    }
    const QSize declared = reader.size();
    if (declared.isValid()) {
        if (!PictureSizeAllowed(declared.width(), declared.height())) {
            return PictureStatus::TooLarge;
        }
        const int longSide = std::max(declared.width(), declared.height());
        if (longSide > maxLongSide) {
            const double k = static_cast<double>(maxLongSide) / longSide;
            reader.setScaledSize(QSize(std::max(1, qRound(declared.width() * k)),
                                       std::max(1, qRound(declared.height() * k))));
        }
    }
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        // Qt refuses pixels over its allocation limit before allocating them; say so apart
        // from a damaged file.
        const int64_t limitBytes = int64_t{QImageReader::allocationLimit()} << 20;
        const bool overLimit = declared.isValid() && limitBytes > 0 &&
                               int64_t{declared.width()} * declared.height() * 4 > limitBytes;
        return overLimit ? PictureStatus::TooLarge : PictureStatus::NotAPicture;
    }
    if (declared.isValid()) {
        const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
        fullWidth = turned ? declared.height() : declared.width();
        fullHeight = turned ? declared.width() : declared.height();
    } else {
        // Formats that cannot tell their size up front are checked, and shrunk, once decoded.
        fullWidth = image.width();
        fullHeight = image.height();
        if (!PictureSizeAllowed(fullWidth, fullHeight)) {
            return PictureStatus::TooLarge;
        }
        if (std::max(fullWidth, fullHeight) > maxLongSide) {
            image = image.scaled(maxLongSide, maxLongSide, Qt::KeepAspectRatio,
                                 Qt::SmoothTransformation);
        }
    }
    return ToPacked(PictureStatus::Ok, image, PackedFormat::Grey, out);
}

namespace {

// The picture as a top-down RGB image; null when memory runs out.
QImage ToImage(const Picture& picture) {
    const int32_t width = picture.header.biWidth;
    const int32_t height = picture.header.biHeight;
    QImage image(width, height, QImage::Format_RGB888);
    if (image.isNull()) {
        return image;
    }
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = PictureRow(picture, y);
        uint8_t* dst = image.scanLine(y);
        for (int32_t x = 0; x < width; ++x, src += 3, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    }
    return image;
}

// Writes `image` in `format`. Written beside the target and renamed over it at the end: a
// full disk or a cut-off write leaves any earlier file of that name as it was.
int WriteImage(const std::string& path, const QImage& image, const char* format, int quality) {
    if (image.isNull()) {
        return 1;
    }
    QSaveFile file(QFile::decodeName(QByteArray::fromStdString(path)));
    if (!file.open(QIODevice::WriteOnly)) {
        return 1;
    }
    QImageWriter writer(&file, format);
    writer.setQuality(quality);
    if (!writer.write(image)) {
        file.cancelWriting();
        return 1;
    }
    return file.commit() ? 0 : 1;
}

}  // namespace

int SavePictureJpeg(const std::string& path, PictureHandle picture, int quality, int flags) {
    if (!picture || path.empty() || flags != 0 || quality < 0 || quality > 100) {
        return 1;
    }
    // Qt's JPEG writer is baseline, not progressive, with libjpeg's default 2x2 chroma
    // subsampling (4:2:0) unless told otherwise.
    return WriteImage(path, ToImage(*picture), "jpeg", quality);
}

int SavePicturePng(const std::string& path, PictureHandle picture) {
    if (!picture || path.empty()) {
        return 1;
    }
    // PNG's quality is its compression effort; -1 keeps the writer's default.
    return WriteImage(path, ToImage(*picture), "png", -1);
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
    // Shrinking (the usual case: photos to 600 high) averages areas directly on our bits.
    if (newWidth <= oldWidth && newHeight <= oldHeight) {
        auto smaller = ShrinkPicture(*picture, static_cast<int32_t>(newWidth),
                                     static_cast<int32_t>(newHeight));
        if (!smaller) {
            return 1;
        }
        SetPictureBits(*picture, smaller->header.biWidth, smaller->header.biHeight, smaller->bits,
                       std::move(smaller->storage));
        return 0;
    }
    // Qt scales 32-bit pixels; convert once, top-down, straight from the bottom-up bits.
    QImage source(static_cast<int>(oldWidth), static_cast<int>(oldHeight), QImage::Format_RGB32);
    if (source.isNull()) {
        return 1;
    }
    for (int32_t y = 0; y < oldHeight; ++y) {
        const uint8_t* src = PictureRow(*picture, y);
        uint32_t* dst = reinterpret_cast<uint32_t*>(source.scanLine(y));
        for (int64_t x = 0; x < oldWidth; ++x, src += 3) {
            dst[x] = 0xff000000u | uint32_t{src[2]} << 16 | uint32_t{src[1]} << 8 | src[0];
        }
    }
    QImage scaled = source.scaled(static_cast<int>(newWidth), static_cast<int>(newHeight),
                                  Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (scaled.isNull()) {
        return 1;
    }
    auto fresh = FromImage(std::move(scaled));
    if (!fresh) {
        return 1;
    }
    SetPictureBits(*picture, fresh->header.biWidth, fresh->header.biHeight, fresh->bits,
                   std::move(fresh->storage));
    return 0;
}

}  // namespace norvo
