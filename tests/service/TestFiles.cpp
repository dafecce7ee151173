#include "tests/service/TestFiles.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#ifdef _WIN32
#include <windows.h>

#include <random>
#endif

#include <fstream>
#include <iterator>

namespace norvo::test {

namespace fs = std::filesystem;

fs::path BundledGallery() {
    return NORVO_TEST_GALLERY_DIR;
}

TempFolder::TempFolder() {
#ifdef _WIN32
    wchar_t base[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, base);
    std::mt19937 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100 && m_path.empty() && n > 0 && n <= MAX_PATH; ++attempt) {
        const fs::path candidate =
            fs::path(std::wstring(base, n)) / ("norvo-gallery-test-" + std::to_string(random()));
        if (CreateDirectoryW(candidate.c_str(), nullptr))
            m_path = candidate;
    }
    if (m_path.empty())
        ADD_FAILURE() << "no temporary folder";
#else
    char pattern[] = "/tmp/norvo-gallery-test-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        ADD_FAILURE() << "mkdtemp failed";
    m_path = pattern;
#endif
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

void WriteBytes(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

namespace {

std::uint32_t Crc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char ch : bytes) {
        crc ^= static_cast<unsigned char>(ch);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

void PutBigEndian(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

}  // namespace

std::string PngDeclaring(unsigned width, unsigned height) {
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string ihdr = "IHDR";
    PutBigEndian(ihdr, width);
    PutBigEndian(ihdr, height);
    ihdr += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, no interlace
    PutBigEndian(png, 13);
    png += ihdr;
    PutBigEndian(png, Crc32(ihdr));
    // An empty data chunk and the end chunk, so readers get past the header.
    for (const char* type : {"IDAT", "IEND"}) {
        PutBigEndian(png, 0);
        png += type;
        PutBigEndian(png, Crc32(type));
    }
    return png;
}

}  // namespace norvo::test
