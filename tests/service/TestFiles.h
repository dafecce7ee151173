#pragma once

// What the service's tests share without pictures of their own: the bundled gallery, scratch
// folders and files. No Qt, so every tree (the Windows one too) builds it.

#include <filesystem>
#include <string>

namespace norvo::test {

// The bundled gallery in the source tree.
std::filesystem::path BundledGallery();

// A fresh folder under the temp folder (/tmp; Windows: the user's), removed with the object.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

void WriteBytes(const std::filesystem::path& file, const std::string& bytes);
std::string ReadBytes(const std::filesystem::path& file);

// A PNG whose header declares the given size; its pixel data is missing.
std::string PngDeclaring(unsigned width, unsigned height);

}  // namespace norvo::test
