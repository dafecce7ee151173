// Times load - blend - resize - write of one compositing run on generated pictures, and the
// same job done by ImageMagick's convert on the same files.
//
//   bench_imaging [runs]        (default 7; prints medians)

#include <sys/resource.h>

#include <QDir>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QRadialGradient>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "imaging/FaceBlend.h"
#include "imaging/Picture.h"

using namespace norvo;
using Clock = std::chrono::steady_clock;

namespace {

constexpr FaceBox kFaceBox{106, 106, 406, 406};      // the face inside the 512x512 picture
constexpr FaceBox kBodyBox{1500, 1000, 2500, 2000};  // a 1000x1000 target box

// CPU time of the whole process (Qt converts and scales on a thread pool) and of finished
// child processes, in ms: steadier than wall time on a shared machine.
double ProcessCpu() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double ChildrenCpu() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double Millis(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A photo-like picture: smooth shading plus fine noise, so the JPEG codec has real work.
QImage Scene(int width, int height, unsigned seed) {
    QImage image(width, height, QImage::Format_RGB32);
    std::mt19937 rng(seed);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int n = static_cast<int>(rng() % 24);
            row[x] = qRgb((x * 255 / width + n) & 0xff, (y * 255 / height + n) & 0xff,
                          ((x + y) * 128 / (width + height) + 60 + n) & 0xff);
        }
    }
    return image;
}

bool Write(const QImage& image, const QString& path, const char* format, int quality = -1) {
    QImageWriter writer(path, format);
    writer.setQuality(quality);
    return writer.write(image);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    QTemporaryDir dir;
    const QString bodyPath = dir.filePath("body.jpg");
    const QString facePath = dir.filePath("face.jpg");
    const QString maskPath = dir.filePath("mask.png");
    QImage mask(256, 256, QImage::Format_Grayscale8);
    mask.fill(Qt::black);
    {
        QPainter painter(&mask);
        QRadialGradient gradient(128, 128, 120);
        gradient.setColorAt(0.55, Qt::white);
        gradient.setColorAt(1.0, Qt::black);
        painter.fillRect(mask.rect(), gradient);
    }
    if (!Write(Scene(4000, 3000, 1), bodyPath, "jpeg", 90) ||
        !Write(Scene(512, 512, 2), facePath, "jpeg", 90) || !Write(mask, maskPath, "png")) {
        std::fprintf(stderr, "cannot write the test pictures\n");
        return 1;
    }
    const std::string body = bodyPath.toStdString(), face = facePath.toStdString();
    const std::string maskFile = maskPath.toStdString();
    const std::string out = dir.filePath("out.jpg").toStdString();

    std::vector<double> loadBody, loadFace, loadMask, blend, resize, write, total, totalCpu;
    for (int run = 0; run < runs; ++run) {
        const double cpu0 = ProcessCpu();
        const auto t0 = Clock::now();
        PictureHandle b = LoadPicture(body);
        const auto t1 = Clock::now();
        PictureHandle f = LoadPicture(face);
        const auto t2 = Clock::now();
        PictureHandle m = LoadPicture(maskFile);
        const auto t3 = Clock::now();
        BlendFaces(b, {kBodyBox}, f, kFaceBox, m);
        const auto t4 = Clock::now();
        ResizePicture(b, -1, 600);
        const auto t5 = Clock::now();
        const int saved = SavePictureJpeg(out, b, 90, 0);
        const auto t6 = Clock::now();
        totalCpu.push_back(ProcessCpu() - cpu0);
        ReleasePicture(b);
        ReleasePicture(f);
        ReleasePicture(m);
        if (!b || !f || !m || saved != 0) {
            std::fprintf(stderr, "pipeline failed\n");
            return 1;
        }
        loadBody.push_back(Millis(t0, t1));
        loadFace.push_back(Millis(t1, t2));
        loadMask.push_back(Millis(t2, t3));
        blend.push_back(Millis(t3, t4));
        resize.push_back(Millis(t4, t5));
        write.push_back(Millis(t5, t6));
        total.push_back(Millis(t0, t6));
    }

    // The blend alone, repeated on one loaded body for a steadier figure.
    std::vector<double> blendOnly;
    {
        PictureHandle b = LoadPicture(body);
        PictureHandle f = LoadPicture(face);
        PictureHandle m = LoadPicture(maskFile);
        for (int i = 0; i < std::max(runs, 15); ++i) {
            const auto t0 = Clock::now();
            BlendFaces(b, {kBodyBox}, f, kFaceBox, m);
            blendOnly.push_back(Millis(t0, Clock::now()));
        }
        ReleasePicture(b);
        ReleasePicture(f);
        ReleasePicture(m);
    }

    // ImageMagick: crop the face box, stretch it and the mask to the target box, use the mask
    // as the face's opacity, lay it over the body, scale to 600 high, write at quality 90.
    char command[2048];
    std::snprintf(command, sizeof command,
                  "convert '%s' \\( '%s' -crop %dx%d+%d+%d +repage -resize %dx%d! \\( '%s' "
                  "-resize %dx%d! \\) -alpha off -compose CopyOpacity -composite \\) "
                  "-geometry +%d+%d -compose Over -composite -resize x600 -quality 90 '%s'",
                  body.c_str(), face.c_str(), kFaceBox.right - kFaceBox.left,
                  kFaceBox.bottom - kFaceBox.top, kFaceBox.left, kFaceBox.top,
                  kBodyBox.right - kBodyBox.left, kBodyBox.bottom - kBodyBox.top, maskFile.c_str(),
                  kBodyBox.right - kBodyBox.left, kBodyBox.bottom - kBodyBox.top, kBodyBox.left,
                  kBodyBox.top, (out + ".im.jpg").c_str());
    std::vector<double> magick, magickCpu;
    const int magickRuns = std::max(3, runs / 2 + 1);
    for (int run = 0; run < magickRuns; ++run) {
        const double cpu0 = ChildrenCpu();
        const auto t0 = Clock::now();
        if (std::system(command) != 0) {
            std::fprintf(stderr, "convert failed: %s\n", command);
            magick.clear();
            break;
        }
        magick.push_back(Millis(t0, Clock::now()));
        magickCpu.push_back(ChildrenCpu() - cpu0);
    }

    const double boxMp =
        (kBodyBox.right - kBodyBox.left) * double(kBodyBox.bottom - kBodyBox.top) / 1e6;
    std::printf(
        "pictures: body 4000x3000 JPEG, face 512x512 JPEG, mask 256x256 PNG; box 1000x1000\n");
    std::printf("median of %d runs (ms):\n", runs);
    std::printf("  load body    %8.2f\n", Median(loadBody));
    std::printf("  load face    %8.2f\n", Median(loadFace));
    std::printf("  load mask    %8.2f\n", Median(loadMask));
    std::printf("  blend        %8.2f   (%.0f MP/s)\n", Median(blend), boxMp / Median(blend) * 1e3);
    std::printf("  resize       %8.2f\n", Median(resize));
    std::printf("  write JPEG   %8.2f\n", Median(write));
    std::printf("  whole run    %8.2f   (CPU %.2f)\n", Median(total), Median(totalCpu));
    std::printf("blend alone, median of %zu: %.2f ms = %.0f MP/s\n", blendOnly.size(),
                Median(blendOnly), boxMp / Median(blendOnly) * 1e3);
    if (!magick.empty()) {
        std::printf("ImageMagick convert, median of %zu runs: %.2f ms (CPU %.2f)\n", magick.size(),
                    Median(magick), Median(magickCpu));
        std::printf("ImageMagick / ours: %.1fx wall, %.1fx CPU\n", Median(magick) / Median(total),
                    Median(magickCpu) / Median(totalCpu));
    }
    return 0;
}
