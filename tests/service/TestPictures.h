#pragma once

#include <QImage>

#include <filesystem>
#include <string>

namespace norvo::test {

// The bundled gallery in the source tree.
std::filesystem::path BundledGallery();
QImage BundledHopper();     // 512 x 600, one face
QImage BundledAstronaut();  // 512 x 512, one face

// A fresh folder under /tmp, removed with the object.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

void SavePicture(const QImage& image, const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, const std::string& bytes);
std::string ReadBytes(const std::filesystem::path& file);

// A PNG whose header declares the given size; its pixel data is missing.
std::string PngDeclaring(unsigned width, unsigned height);

// Two pictures side by side on a white canvas, tops aligned.
QImage SideBySide(const QImage& left, const QImage& right);

}  // namespace norvo::test
