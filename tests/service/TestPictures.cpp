#include "tests/service/TestPictures.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QImageWriter>
#include <QPainter>
#include <QTransform>

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

QImage Plain(int width, int height, std::uint32_t rgb) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(QRgb(rgb)));
    return image;
}

QImage DrawnOn(const QImage& canvas, int x, int y, const QImage& image) {
    QImage drawn = canvas;
    QPainter(&drawn).drawImage(x, y, image);
    return drawn;
}

QImage SmoothlyScaled(const QImage& image, int w, int h) {
    return image.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

GreyPicture GreyOf(const QImage& image) {
    QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    GreyPicture out{grey.width(), grey.height(), {}};
    for (int y = 0; y < grey.height(); ++y) {
        out.pixels.insert(out.pixels.end(), grey.constScanLine(y),
                          grey.constScanLine(y) + grey.width());
    }
    return out;
}

std::string JpegLyingWithExifToStandUp(const QImage& upright) {
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    EXPECT_TRUE(writer.write(upright.transformed(QTransform().rotate(-90))));
    return std::string(jpeg.constData(), static_cast<std::size_t>(jpeg.size()));
}

}  // namespace norvo::test
