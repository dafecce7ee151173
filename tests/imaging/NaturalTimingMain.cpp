// Times the natural blend of the bundled pair (Hopper's body, Collins's face, the program's
// mask) with the model the program uses, in the Linux and the Windows tree alike, so the two
// can be set side by side (under Wine too). With OUTPUT given, writes the natural portrait's
// bits there, bottom-up BGR rows, to compare the trees' pixels.
//   natural_timing GALLERY MASK [RUNS] [OUTPUT]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "imaging/FaceBlend.h"
#include "imaging/LandmarkModel.h"
#include "imaging/NaturalBlend.h"
#include "imaging/Picture.h"

namespace {

using norvo::OwnedPicture;
using Clock = std::chrono::steady_clock;

// The detector's boxes of the two bundled photographs.
constexpr norvo::FaceBox kHopperBox{181, 140, 367, 326};
constexpr norvo::FaceBox kCollinsBox{181, 79, 273, 171};

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Once(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return Milliseconds(Clock::now() - start);
}

// Median and fastest of `runs` runs of `work`, each after an untimed `prepare`.
void Time(const char* what, int runs, const std::function<void()>& work,
          const std::function<void()>& prepare = {}) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        if (prepare) {
            prepare();
        }
        times.push_back(Once(work));
    }
    std::sort(times.begin(), times.end());
    std::printf("%-52s %9.1f %9.1f\n", what, times[times.size() / 2], times.front());
}

}  // namespace

int main(int argc, char** argv) {
    using namespace norvo;
    if (argc < 3) {
        std::fprintf(stderr, "usage: natural_timing GALLERY MASK [RUNS] [OUTPUT]\n");
        return 2;
    }
    const std::string gallery = argv[1];
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 15;
    OwnedPicture body(LoadPicture(gallery + "/Grace Hopper/grace_hopper.jpg"));
    OwnedPicture face(LoadPicture(gallery + "/Eileen Collins/astronaut.png"));
    OwnedPicture mask(LoadPicture(argv[2]));
    if (!body || !face || !mask) {
        std::fprintf(stderr, "natural_timing: cannot read the bundled pictures\n");
        return 1;
    }

    LandmarkModel model(LandmarkModel::DefaultPath());
    LandmarkModelStatus status = LandmarkModelStatus::Unreadable;
    const double load = Once([&] { status = model.Load(); });
    if (status != LandmarkModelStatus::Ok) {
        std::fprintf(stderr, "natural_timing: %s: %s\n", model.Path().c_str(), describe(status));
        return 1;
    }
    std::printf("%d runs; milliseconds\n%-52s %9s %9s\n", runs, "", "median", "fastest");
    std::printf("%-52s %9.1f\n", "landmark model load (once)", load);
    std::printf("%-52s %9.1f\n", "OpenCV's colour tables (once)", Once(PrepareNaturalBlend));

    Time("landmarks, body face", runs, [&] { model.Find(body.get(), kHopperBox); });
    Time("landmarks, face picture", runs, [&] { model.Find(face.get(), kCollinsBox); });
    OwnedPicture work;
    const auto fresh = [&] { work.reset(CopyPicture(body.get())); };
    Time(
        "classic blend of the pair", runs,
        [&] { BlendFaces(work.get(), {kHopperBox}, face.get(), kCollinsBox, mask.get()); }, fresh);
    NaturalBlendReport report;
    Time(
        "natural blend of the pair, landmarks included", runs,
        [&] {
            report = BlendFacesNatural(
                work.get(), {kHopperBox}, face.get(), kCollinsBox, mask.get(),
                [&model](PictureHandle p, const FaceBox& b) { return model.Find(p, b); });
        },
        fresh);
    if (report.classicFaces != 0) {
        std::printf("(the face was blended the classic way: no landmarks)\n");
    }
    if (argc > 4) {
        const PictureDescription* d = DescribePicture(work.get());
        std::ofstream out(argv[4], std::ios::binary);
        out.write(reinterpret_cast<const char*>(d->bits), d->header->biSizeImage);
        if (!out) {
            std::fprintf(stderr, "natural_timing: cannot write %s\n", argv[4]);
            return 1;
        }
    }
    return 0;
}
