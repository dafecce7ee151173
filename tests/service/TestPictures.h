#pragma once

#include <QImage>

#include <filesystem>
#include <string>

#include "tests/service/TestFiles.h"

namespace norvo::test {

QImage BundledHopper();     // 512 x 600, one face
QImage BundledAstronaut();  // 512 x 512, one face

void SavePicture(const QImage& image, const std::filesystem::path& file);

// Two pictures side by side on a white canvas, tops aligned.
QImage SideBySide(const QImage& left, const QImage& right);

}  // namespace norvo::test
