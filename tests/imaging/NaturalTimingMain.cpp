// Times the natural blend of a face into a body (each BOX the detector's, left,top,right,bottom)
// with the model the program uses, in the Linux and the Windows tree alike, so the two can be
// set side by side (under Wine too). With OUTPUT given, writes the natural portrait's bits
// there, bottom-up BGR rows: a test compares the two trees' (CompareNaturalBits.cmake).
//   natural_timing BODY BOX FACE BOX MASK [RUNS] [OUTPUT]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "imaging/FaceBlend.h"
#include "imaging/LandmarkModel.h"
#include "imaging/NaturalBlend.h"
#include "imaging/Picture.h"

namespace {

using norvo::OwnedPicture;
using Clock = std::chrono::steady_clock;

std::optional<norvo::FaceBox> ParseBox(const char* text) {
    norvo::FaceBox box{};
    char rest = 0;
    if (std::sscanf(text, "%d,%d,%d,%d%c", &box.left, &box.top, &box.right, &box.bottom, &rest) !=
        4) {
        return std::nullopt;
    }
    return box;
}

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
    const std::optional<FaceBox> bodyBox = argc > 5 ? ParseBox(argv[2]) : std::nullopt;
    const std::optional<FaceBox> faceBox = argc > 5 ? ParseBox(argv[4]) : std::nullopt;
    if (!bodyBox || !faceBox) {
        std::fprintf(stderr, "usage: natural_timing BODY BOX FACE BOX MASK [RUNS] [OUTPUT]\n");
        return 2;
    }
    const int runs = argc > 6 ? std::max(1, std::atoi(argv[6])) : 15;
    OwnedPicture body(LoadPicture(argv[1]));
    OwnedPicture face(LoadPicture(argv[3]));
    OwnedPicture mask(LoadPicture(argv[5]));
    if (!body || !face || !mask) {
        std::fprintf(stderr, "natural_timing: cannot read the pictures\n");
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

    Time("landmarks, body face", runs, [&] { model.Find(body.get(), *bodyBox); });
    Time("landmarks, face picture", runs, [&] { model.Find(face.get(), *faceBox); });
    OwnedPicture work;
    const auto fresh = [&] { work.reset(CopyPicture(body.get())); };
    Time(
        "classic blend", runs,
        [&] { BlendFaces(work.get(), {*bodyBox}, face.get(), *faceBox, mask.get()); }, fresh);
    NaturalBlendReport report;
    Time(
        "natural blend, landmarks included", runs,
        [&] {
            report = BlendFacesNatural(
                work.get(), {*bodyBox}, face.get(), *faceBox, mask.get(),
                [&model](PictureHandle p, const FaceBox& b) { return model.Find(p, b); });
        },
        fresh);
    if (report.faces != 1 || report.classicFaces != 0) {
        std::fprintf(stderr,
                     "natural_timing: no landmarks: the face was blended the classic way\n");
        return 1;
    }
    if (argc > 7) {
        const PictureDescription* d = DescribePicture(work.get());
        std::ofstream out(argv[7], std::ios::binary);
        out.write(reinterpret_cast<const char*>(d->bits), d->header->biSizeImage);
        if (!out) {
            std::fprintf(stderr, "natural_timing: cannot write %s\n", argv[7]);
            return 1;
        }
    }
    return 0;
}
