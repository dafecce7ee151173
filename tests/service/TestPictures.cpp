#include "tests/service/TestPictures.h"

#include <gtest/gtest.h>
#include <QPainter>

namespace norvo::test {

namespace fs = std::filesystem;

QImage BundledHopper() {
    QImage image(
        QString::fromStdString((BundledGallery() / "Grace Hopper" / "grace_hopper.jpg").string()));
    EXPECT_FALSE(image.isNull());
    return image;
}

QImage BundledAstronaut() {
    QImage image(
        QString::fromStdString((BundledGallery() / "Eileen Collins" / "astronaut.png").string()));
    EXPECT_FALSE(image.isNull());
    return image;
}

void SavePicture(const QImage& image, const fs::path& file) {
    fs::create_directories(file.parent_path());
    ASSERT_TRUE(image.save(QString::fromStdString(file.string()))) << file;
}

QImage SideBySide(const QImage& left, const QImage& right) {
    QImage canvas(left.width() + right.width(), std::max(left.height(), right.height()),
                  QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    painter.drawImage(0, 0, left);
    painter.drawImage(left.width(), 0, right);
    return canvas;
}

}  // namespace norvo::test
