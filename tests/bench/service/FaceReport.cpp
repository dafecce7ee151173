// gallery_face_report FILE... [--out DIR]: faces found in each picture, the median detection
// wall and CPU time over several runs, and (with --out) a copy of each picture with its boxes drawn
// in, for checking by eye.
#include <QCoreApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "services/gallery/detect/FaceDetector.h"
#include "services/gallery/detect/PictureDecoder.h"

namespace {

double ClockMs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Wall time is what a caller waits; the CPU time of the whole process (a detection scans on
// two threads) shows whether the wait was spent working or sharing the machine.
double WallMs() {
    return ClockMs(CLOCK_MONOTONIC);
}
double CpuMs() {
    return ClockMs(CLOCK_PROCESS_CPUTIME_ID);
}

}  // namespace

int main(int argc, char** argv) {
    // Owns Qt's image plug-ins, as the service's own main does.
    QCoreApplication application(argc, argv);
    std::vector<std::string> files;
    std::string outDir;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--out" && i + 1 < argc) {
            outDir = argv[++i];
        } else {
            files.push_back(argv[i]);
        }
    }
    norvo::FaceDetector detector;
    detector.Detect(norvo::GreyPicture{1, 1, {0}});  // builds the model outside the timing
    for (const std::string& file : files) {
        norvo::DetectionPicture decoded;
        const double decodeStart = WallMs();
        const norvo::DecodeStatus status = norvo::PictureDecoder::DecodeFile(file, decoded);
        const norvo::GreyPicture& picture = decoded.grey;
        const double decodeMs = WallMs() - decodeStart;
        if (status != norvo::DecodeStatus::Ok) {
            std::printf("%s: %s\n", file.c_str(), norvo::describe(status));
            continue;
        }
        std::vector<double> wall, cpu;
        std::vector<norvo::FaceRect> faces;
        for (int run = 0; run < 7; ++run) {
            const double wallStart = WallMs(), cpuStart = CpuMs();
            faces = detector.Detect(picture);
            wall.push_back(WallMs() - wallStart);
            cpu.push_back(CpuMs() - cpuStart);
        }
        std::sort(wall.begin(), wall.end());
        std::sort(cpu.begin(), cpu.end());
        std::printf("%s: %dx%d decode %.1f ms, detect median %.1f ms (CPU %.1f ms), %zu face(s)",
                    file.c_str(), picture.width, picture.height, decodeMs, wall[wall.size() / 2],
                    cpu[cpu.size() / 2], faces.size());
        for (const norvo::FaceRect& f : faces)
            std::printf(" [%d,%d %dx%d]", f.x, f.y, f.width, f.height);
        std::printf("\n");
        if (!outDir.empty()) {
            // The detector's own copy, so the boxes sit where it found them.
            QImage image = QImage(picture.pixels.data(), picture.width, picture.height,
                                  picture.width, QImage::Format_Grayscale8)
                               .convertToFormat(QImage::Format_RGB32);
            QPainter painter(&image);
            painter.setPen(QPen(Qt::red, std::max(2, image.width() / 200)));
            for (const norvo::FaceRect& f : faces) painter.drawRect(f.x, f.y, f.width, f.height);
            painter.end();
            image.save(QString::fromStdString(
                (std::filesystem::path(outDir) / std::filesystem::path(file).filename())
                    .replace_extension(".png")
                    .string()));
        }
    }
    return 0;
}
