#include "PictureDecoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <cstring>

namespace norvo {

namespace {

// Codec allocations above this are refused by Qt itself: a second fence behind the pixel
// count, for codecs that cannot tell their size before decoding.
constexpr int kAllocationLimitMb = 256;

DecodeStatus Decode(QImageReader& reader, GreyPicture& out) {
    QImageReader::setAllocationLimit(kAllocationLimitMb);
    reader.setAutoTransform(true);
    if (!reader.canRead()) {
        return reader.error() == QImageReader::FileNotFoundError ||
                       reader.error() == QImageReader::DeviceError
                   ? DecodeStatus::Unreadable
                   : DecodeStatus::NotAPicture;
    }
    const QSize declared = reader.size();
    if (declared.isValid() &&
        static_cast<long long>(declared.width()) * declared.height() > PictureDecoder::kMaxPixels) {
        return DecodeStatus::TooLarge;
    }
    QImage image = reader.read();
    if (image.isNull()) {
        return reader.error() == QImageReader::DeviceError ? DecodeStatus::Unreadable
                                                           : DecodeStatus::NotAPicture;
    }
    if (static_cast<long long>(image.width()) * image.height() > PictureDecoder::kMaxPixels) {
        return DecodeStatus::TooLarge;
    }
    image.convertTo(QImage::Format_Grayscale8);
    out.width = image.width();
    out.height = image.height();
    out.pixels.resize(static_cast<std::size_t>(out.width) * out.height);
    for (int y = 0; y < out.height; ++y) {
        std::memcpy(out.pixels.data() + static_cast<std::size_t>(y) * out.width,
                    image.constScanLine(y), static_cast<std::size_t>(out.width));
    }
    return DecodeStatus::Ok;
}

}  // namespace

const char* describe(DecodeStatus status) {
    switch (status) {
        case DecodeStatus::Ok:
            return "ok";
        case DecodeStatus::Unreadable:
            return "the picture could not be read";
        case DecodeStatus::NotAPicture:
            return "not a picture in a known format";
        case DecodeStatus::TooLarge:
            return "the picture has more pixels than the service decodes";
    }
    return "unknown decode status";
}

DecodeStatus PictureDecoder::DecodeFile(const std::filesystem::path& path, GreyPicture& out) {
    QFile file(QFile::decodeName(path.c_str()));
    if (!file.open(QIODevice::ReadOnly))
        return DecodeStatus::Unreadable;
    QImageReader reader(&file);
    return Decode(reader, out);
}

DecodeStatus PictureDecoder::DecodeBytes(std::string_view bytes, GreyPicture& out) {
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::ReadOnly))
        return DecodeStatus::Unreadable;
    QImageReader reader(&buffer);
    return Decode(reader, out);
}

}  // namespace norvo
