// Detection speed: the bundled photos and a 4000 x 3000 photo, one thread and several at once.
#include <benchmark/benchmark.h>
#include <QBuffer>
#include <QImage>
#include <QPainter>

#include "services/gallery/detect/FaceDetector.h"
#include "services/gallery/detect/PictureDecoder.h"

namespace {

norvo::GreyPicture Grey(const QImage& image) {
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    norvo::GreyPicture out{grey.width(), grey.height(), {}};
    for (int y = 0; y < grey.height(); ++y) {
        out.pixels.insert(out.pixels.end(), grey.constScanLine(y),
                          grey.constScanLine(y) + grey.width());
    }
    return out;
}

QImage Bundled(const char* relative) {
    return QImage(QString(NORVO_BENCH_GALLERY_DIR "/") + relative);
}

const norvo::FaceDetector& Detector() {
    static norvo::FaceDetector detector;
    return detector;
}

void RunDetect(benchmark::State& state, const norvo::GreyPicture& picture) {
    Detector().Detect(picture);
    for (auto _ : state) benchmark::DoNotOptimize(Detector().Detect(picture));
    state.counters["megapixels"] = picture.width * double(picture.height) / 1e6;
}

void BM_DetectHopper(benchmark::State& state) {
    static const norvo::GreyPicture picture = Grey(Bundled("Grace Hopper/grace_hopper.jpg"));
    RunDetect(state, picture);
}

void BM_DetectAstronaut(benchmark::State& state) {
    static const norvo::GreyPicture picture = Grey(Bundled("Eileen Collins/astronaut.png"));
    RunDetect(state, picture);
}

QImage Photo(int width, int height) {
    QImage photo(width, height, QImage::Format_RGB32);
    photo.fill(Qt::gray);
    const QImage hopper = Bundled("Grace Hopper/grace_hopper.jpg");
    const double s = height / 2.0 / hopper.height();
    QPainter(&photo).drawImage(width / 4, height / 4,
                               hopper.scaled(int(hopper.width() * s), int(hopper.height() * s),
                                             Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    return photo;
}

void BM_Detect2Megapixels(benchmark::State& state) {
    static const norvo::GreyPicture picture = Grey(Photo(1632, 1224));
    RunDetect(state, picture);
}

void BM_Detect4000x3000(benchmark::State& state) {
    static const norvo::GreyPicture picture = Grey(Photo(4000, 3000));
    RunDetect(state, picture);
}

void BM_DecodeAndDetect4000x3000Jpeg(benchmark::State& state) {
    static const std::string jpeg = [] {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        Photo(4000, 3000).save(&buffer, "JPEG", 90);
        return bytes.toStdString();
    }();
    for (auto _ : state) {
        norvo::DetectionPicture picture;
        norvo::PictureDecoder::Decode(jpeg, picture);
        benchmark::DoNotOptimize(Detector().Detect(picture.grey));
    }
}

}  // namespace

BENCHMARK(BM_DetectHopper)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectAstronaut)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectAstronaut)->Unit(benchmark::kMillisecond)->Threads(2)->UseRealTime();
BENCHMARK(BM_Detect2Megapixels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Detect4000x3000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeAndDetect4000x3000Jpeg)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
