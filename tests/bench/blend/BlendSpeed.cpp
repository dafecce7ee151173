// bench_blend_speed [runs]: the natural blend's time against its goals. The model load (and,
// for comparison, dlib's own reader), the colour tables OpenCV builds on first use, landmarks
// per face, the natural blend per face on a portrait, one face in a 12-megapixel photo, 24
// faces in a 3-megapixel group photo, a whole portrait natural against classic, and the save
// dialog's preview switching to the natural portrait, to a body picture downloaded already and
// a face off and on. Medians of `runs` (default 15).

#include <dlib/image_processing/shape_predictor.h>
#include <dlib/serialize.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>

#include "BlendBench.h"
#include "app/CandidateChoice.h"
#include "app/PortraitChoice.h"
#include "app/gui/CPreviewPane.h"
#include "imaging/FaceBlend.h"
#include "imaging/FaceCompositor.h"
#include "imaging/NaturalBlend.h"
#include "tests/gui/OffscreenToolkit.h"

namespace norvo::bench {
namespace {

using Clock = std::chrono::steady_clock;

int g_runs = 15;

// CPU time of the whole process (OpenCV may work on threads of its own), in milliseconds.
double ProcessCpu() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Medians of a measurement: wall time, and CPU time, which other work on a shared machine
// inflates much less.
struct Timing {
    double wall = 0;
    double cpu = 0;
};

// From `act` to the pane showing a portrait again.
Timing UntilShown(CPreviewPane& pane, const std::function<void()>& act) {
    bool shown = false;
    const QMetaObject::Connection connection =
        QObject::connect(&pane, &CPreviewPane::portraitShown, [&shown] { shown = true; });
    QElapsedTimer timer;
    const double cpu = ProcessCpu();
    timer.start();
    act();
    while (!shown && timer.elapsed() < 10000) {
        QApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    QObject::disconnect(connection);
    return {timer.nsecsElapsed() / 1e6, ProcessCpu() - cpu};
}

Timing Medians(const std::vector<Timing>& timings) {
    std::vector<double> walls;
    std::vector<double> cpus;
    for (const Timing& t : timings) {
        walls.push_back(t.wall);
        cpus.push_back(t.cpu);
    }
    return {Median(walls), Median(cpus)};
}

// `work` timed over the runs, `prepare` run untimed before each.
Timing Time(const std::function<void()>& work, const std::function<void()>& prepare = {}) {
    std::vector<double> walls;
    std::vector<double> cpus;
    for (int i = 0; i < g_runs; ++i) {
        if (prepare)
            prepare();
        const double cpu = ProcessCpu();
        const auto start = Clock::now();
        work();
        walls.push_back(Milliseconds(Clock::now() - start));
        cpus.push_back(ProcessCpu() - cpu);
    }
    return {Median(walls), Median(cpus)};
}

// The goal is judged on the wall time.
void Row(const char* what, Timing t, const char* goal, double limit) {
    std::printf("%-56s %8.1f %8.1f  %-8s %s\n", what, t.wall, t.cpu, goal,
                t.wall <= limit  ? "met"
                : t.cpu <= limit ? "NOT MET (met in CPU time)"
                                 : "NOT MET");
}

void Note(const char* what, Timing t) {
    std::printf("%-56s %8.1f %8.1f\n", what, t.wall, t.cpu);
}

// One measurement, taken once.
Timing Once(const std::function<void()>& work) {
    const double cpu = ProcessCpu();
    const auto start = Clock::now();
    work();
    return {Milliseconds(Clock::now() - start), ProcessCpu() - cpu};
}

Timing Minus(Timing a, Timing b) {
    return {a.wall - b.wall, a.cpu - b.cpu};
}

FaceBox Scaled(const FaceBox& b, double s, int dx = 0, int dy = 0) {
    return {static_cast<int32_t>(std::lround(b.left * s)) + dx,
            static_cast<int32_t>(std::lround(b.top * s)) + dy,
            static_cast<int32_t>(std::lround(b.right * s)) + dx,
            static_cast<int32_t>(std::lround(b.bottom * s)) + dy};
}

double LoadAverage() {
    std::ifstream in("/proc/loadavg");
    double load = 0;
    in >> load;
    return load;
}

}  // namespace
}  // namespace norvo::bench

int main(int argc, char** argv) {
    using namespace norvo;
    using namespace norvo::bench;
    if (argc > 1)
        g_runs = std::max(1, std::atoi(argv[1]));
    const auto runtime = testing::PrepareOffscreenToolkit();
    QApplication app(argc, argv);
    std::printf("%d runs each; load average %.2f on %u cores\n\n", g_runs, LoadAverage(),
                std::thread::hardware_concurrency());
    std::printf("%-56s %8s %8s  %-8s\n", "", "wall ms", "CPU ms", "goal ms");

    LandmarkModelStatus status = LandmarkModelStatus::Unreadable;
    const Timing load = Once([&] { status = Model().Load(); });
    if (status != LandmarkModelStatus::Ok) {
        std::fprintf(stderr, "bench_blend_speed: %s: %s\n", Model().Path().c_str(),
                     describe(status));
        return 1;
    }
    Row("landmark model load (once per process)", load, "1000", 1000);
    Note("  for comparison: dlib's own reader", Once([] {
             dlib::shape_predictor theirs;
             dlib::deserialize(Model().Path()) >> theirs;
         }));
    Note("OpenCV's colour tables (once, on the loading thread)", Once(PrepareNaturalBlend));

    const std::string hopperPath = GalleryDir() + "/Grace Hopper/grace_hopper.jpg";
    const std::string collinsPath = GalleryDir() + "/Eileen Collins/astronaut.png";
    const std::string maskPath = GalleryDir() + "/../mask.png";
    FaceDetector detector;
    const cv::Mat hopper = LoadMat(hopperPath);
    const cv::Mat collins = LoadMat(collinsPath);
    const FaceBox hopperBox = DetectFaces(detector, hopper).at(0);
    const FaceBox collinsBox = DetectFaces(detector, collins).at(0);
    Owned hopperPicture = FromMat(hopper);
    Owned collinsPicture = FromMat(collins);
    Owned mask(LoadPicture(maskPath));

    // Landmarks per face, on both bundled portraits.
    const Timing hopperMarksTime = Time([&] { Model().Find(hopperPicture.get(), hopperBox); });
    const Timing collinsMarksTime = Time([&] { Model().Find(collinsPicture.get(), collinsBox); });
    Row("landmarks per face (bundled portraits)",
        {(hopperMarksTime.wall + collinsMarksTime.wall) / 2,
         (hopperMarksTime.cpu + collinsMarksTime.cpu) / 2},
        "3", 3);

    // The natural blend of one face on a portrait, landmarks known.
    const FaceLandmarks hopperMarks = *Model().Find(hopperPicture.get(), hopperBox);
    const FaceLandmarks collinsMarks = *Model().Find(collinsPicture.get(), collinsBox);
    Owned work;
    const Timing portrait =
        Time([&] { BlendFaceNatural(work.get(), hopperMarks, collinsPicture.get(), collinsMarks); },
             [&] { work.reset(CopyPicture(hopperPicture.get())); });
    Row("natural blend per face, portrait (512 x 600)", portrait, "10", 10);

    // One face in a 12-megapixel photo: the portrait enlarged to 3000 x 4000.
    {
        const double s = 4000.0 / hopper.rows;
        cv::Mat big;
        cv::resize(hopper, big, {}, s, s, cv::INTER_LINEAR);
        const int crop = (big.cols - 3000) / 2;
        big = big(cv::Rect(crop, 0, 3000, 4000)).clone();
        Owned bigPicture = FromMat(big);
        const FaceBox box = Scaled(hopperBox, s, -crop, 0);
        const Timing marksTime = Time([&] { Model().Find(bigPicture.get(), box); });
        const FaceLandmarks marks = *Model().Find(bigPicture.get(), box);
        const Timing blend =
            Time([&] { BlendFaceNatural(work.get(), marks, collinsPicture.get(), collinsMarks); },
                 [&] { work.reset(CopyPicture(bigPicture.get())); });
        char what[96];
        std::snprintf(what, sizeof what, "natural blend, one face (%d px wide) in 12 MP",
                      box.right - box.left);
        Row(what, blend, "80", 80);
        Note("  its landmarks", marksTime);
    }

    // 24 faces in a 3-megapixel group photo: 6 x 4 copies of the portrait.
    {
        cv::Mat group(1500, 2000, CV_8UC3, cv::Scalar(150, 150, 150));
        FaceBoxList boxes;
        const double s = 375.0 / hopper.rows;
        cv::Mat small;
        cv::resize(hopper, small, {}, s, s, cv::INTER_AREA);
        for (int row = 0; row < 4; ++row) {
            for (int col = 0; col < 6; ++col) {
                const int x = col * 333 + 5;
                const int y = row * 375;
                small.copyTo(group(cv::Rect(x, y, small.cols, small.rows)));
                boxes.push_back(Scaled(hopperBox, s, x, y));
            }
        }
        Owned groupPicture = FromMat(group);
        const LandmarkFinder find = [](PictureHandle p, const FaceBox& b) {
            return Model().Find(p, b);
        };
        NaturalBlendReport report;
        const Timing all = Time(
            [&] {
                report = BlendFacesNatural(work.get(), boxes, collinsPicture.get(), collinsBox,
                                           mask.get(), find);
            },
            [&] { work.reset(CopyPicture(groupPicture.get())); });
        char what[96];
        std::snprintf(what, sizeof what, "natural blend, 24 faces (%d px) in 3 MP, landmarks too",
                      boxes[0].right - boxes[0].left);
        Row(what, all, "200", 200);
        if (report.classicFaces != 0) {
            std::printf("  (%zu of the faces were blended the classic way)\n", report.classicFaces);
        }
    }

    // A whole portrait from the files: classic, and classic plus natural.
    {
        FaceCompositor compositor;
        const Timing classic = Time([&] {
            compositor.Compose(hopperPath, {hopperBox}, collinsPath, collinsBox, maskPath);
            compositor.Release();
        });
        auto model = std::shared_ptr<LandmarkModel>(&Model(), [](LandmarkModel*) {});
        const Timing both = Time([&] {
            compositor.Compose(hopperPath, {hopperBox}, collinsPath, collinsBox, maskPath);
            PortraitChoice choice(compositor, model);
            choice.Start(BlendStyle::Natural);
            compositor.Release();
        });
        Note("whole portrait, classic (decode, blend, resize)", classic);
        Row("  natural on top of it", Minus(both, classic), "20", 20);
    }

    // The save dialog's preview switched to the natural portrait (made on that first switch).
    {
        std::vector<double> times;
        std::vector<double> cpus;
        for (int i = 0; i < g_runs; ++i) {
            FaceCompositor compositor;
            compositor.Compose(hopperPath, {hopperBox}, collinsPath, collinsBox, maskPath);
            PortraitChoice choice(compositor,
                                  std::shared_ptr<LandmarkModel>(&Model(), [](LandmarkModel*) {}));
            CPreviewPane pane(choice);
            pane.show();
            QApplication::processEvents();
            bool shown = false;
            QObject::connect(&pane, &CPreviewPane::portraitShown,
                             [&shown](BlendStyle s) { shown = s == BlendStyle::Natural; });
            QElapsedTimer timer;
            const double cpu = ProcessCpu();
            timer.start();
            pane.findChild<QCheckBox*>(QStringLiteral("checkNatural"))->click();
            while (!shown && timer.elapsed() < 10000) {
                QApplication::processEvents(QEventLoop::AllEvents, 1);
            }
            times.push_back(timer.nsecsElapsed() / 1e6);
            cpus.push_back(ProcessCpu() - cpu);
        }
        Row("preview switch to natural (bundled pair, first time)", {Median(times), Median(cpus)},
            "150", 150);
    }

    // The save dialog's choices on the bundled pair: the body's next picture (downloaded before,
    // so it is blended at once) and back, and a face switched off and on. The body picture gets
    // a second face box so that one may be switched off.
    for (const BlendStyle style : {BlendStyle::Classic, BlendStyle::Natural}) {
        const std::string mirroredPath = GalleryDir() + "/Grace Hopper/grace_hopper_mirrored.jpg";
        const FaceBox mirroredBox = DetectFaces(detector, LoadMat(mirroredPath)).at(0);
        const FaceBox second{10, 10, 10 + hopperBox.right - hopperBox.left,
                             10 + hopperBox.bottom - hopperBox.top};
        RunCandidates found;
        found.body.name = "Grace Hopper";
        found.body.pictures = {{{hopperPath, hopperBox, {hopperBox, second}}, 2, {}},
                               {{mirroredPath, mirroredBox, {mirroredBox}}, 1, {}}};
        found.face.name = "Eileen Collins";
        found.face.pictures = {{{collinsPath, collinsBox, {collinsBox}}, 1, {}}};
        const std::string copy =
            (std::filesystem::temp_directory_path() / "norvo-bench-choice.jpg").string();
        CandidateFetch fetch;
        fetch.download = [&copy](const std::string& address, const std::string&, std::string&) {
            std::filesystem::copy_file(address, copy,
                                       std::filesystem::copy_options::overwrite_existing);
            return std::optional<std::string>(copy);
        };
        FaceCompositor compositor;
        compositor.Compose(hopperPath, {hopperBox, second}, collinsPath, collinsBox, maskPath);
        PortraitChoice portrait(compositor,
                                std::shared_ptr<LandmarkModel>(&Model(), [](LandmarkModel*) {}));
        portrait.Start(style);
        CandidateChoice choices(compositor, portrait, found, {true, true}, fetch);
        portrait.Offer(&choices);
        choices.ChoosePicture(RunSide::Body, 1);  // the download, untimed
        choices.ChoosePicture(RunSide::Body, 0);
        CPreviewPane pane(portrait);
        pane.show();
        QApplication::processEvents();
        auto* next = pane.findChild<QToolButton*>(QStringLiteral("nextBody"));
        auto* previous = pane.findChild<QToolButton*>(QStringLiteral("previousBody"));
        std::vector<Timing> switches;
        std::vector<Timing> toggles;
        for (int i = 0; i < g_runs; ++i) {
            switches.push_back(UntilShown(pane, [next] { next->click(); }));
            switches.push_back(UntilShown(pane, [previous] { previous->click(); }));
            const QPoint face = pane.FaceRect(1).center();
            auto* picture = pane.findChild<QLabel*>(QStringLiteral("previewPicture"));
            for (int twice = 0; twice < 2; ++twice) {
                toggles.push_back(UntilShown(pane, [picture, face] {
                    QMouseEvent press(QEvent::MouseButtonRelease, face, picture->mapToGlobal(face),
                                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
                    QApplication::sendEvent(picture, &press);
                }));
            }
        }
        const std::string kind = style == BlendStyle::Classic ? "classic" : "natural";
        Row(("preview: a downloaded body picture, " + kind).c_str(), Medians(switches), "300", 300);
        Row(("preview: a body face switched off or on, " + kind).c_str(), Medians(toggles), "150",
            150);
    }
    return 0;
}
