#include "tests/imaging/TestPictures.h"

#include <QFile>
#include <QImageWriter>
#include <cstdio>
#include <fstream>
#include <iterator>

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

void Chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    Put32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    Put32(out, Crc32(out.data() + start, out.size() - start));
}

}  // namespace

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

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool SaveImage(const QImage& image, const std::string& path, const char* format) {
    QImageWriter writer(QFile::decodeName(QByteArray::fromStdString(path)), format);
    return writer.write(image);
}

bool DecodeWithDjpeg(const std::string& path, int& width, int& height, std::vector<uint8_t>& rgb) {
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

std::string TempFolder::Path(const std::string& name) const {
    return QFile::encodeName(m_dir.filePath(QString::fromStdString(name))).toStdString();
}

}  // namespace norvo::testing
