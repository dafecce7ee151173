#include <QBuffer>
#include <QImage>
#include <QString>

#include <stdexcept>

#include "tests/fakeweb/FakePictures.h"

namespace norvo::test {

struct FakePictures::Impl {
    QImage hopper, astronaut;
};

FakePictures::FakePictures(const std::filesystem::path& gallery) : m_impl(new Impl) {
    m_impl->hopper.load(
        QString::fromStdString((gallery / "Grace Hopper" / "grace_hopper.jpg").string()));
    m_impl->astronaut.load(
        QString::fromStdString((gallery / "Eileen Collins" / "astronaut.png").string()));
    if (m_impl->hopper.isNull() || m_impl->astronaut.isNull())
        throw std::runtime_error("the bundled photographs are missing");
}

FakePictures::~FakePictures() = default;

std::string FakePictures::Encoded(const std::string& kind, int width) const {
    QImage image = kind == "astronaut"         ? m_impl->astronaut
                   : kind == "hopper-mirrored" ? m_impl->hopper.mirrored(true, false)
                                               : m_impl->hopper;
    if (kind == "blank") {
        image = QImage(400, 300, QImage::Format_RGB32);
        image.fill(Qt::gray);
    }
    if (width > 0)
        image = image.scaledToWidth(width, Qt::SmoothTransformation);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, kind == "astronaut" ? "PNG" : "JPEG", 90);
    return bytes.toStdString();
}

std::string WithFirstUpper(const std::string& text) {
    const QString name = QString::fromStdString(text);
    return (name.left(1).toUpper() + name.mid(1)).toStdString();
}

}  // namespace norvo::test
