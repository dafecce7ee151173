// bench_blend_quality [--out DIR] [--verbose]: the classic and the natural blend measured
// against the body photograph on pairs made from the bundled photographs, synthetic variants
// of them (heads rolled by 10 and 12 degrees either way, relit warm and dark, cool and bright,
// lit strongly from one side) and a synthetic group photograph. Per face: tone ΔE of the inner
// skin, seam ratio and edge ΔE on the rings where the mask weight is 64 and 128, eye-line
// error and landmark distance after finding the landmarks again on the result, and whether
// the detector still finds exactly that one face there. --out writes each pair's body, face,
// classic and natural result side by side.

#include <cstdio>
#include <filesystem>
#include <map>

#include <opencv2/imgproc.hpp>

#include "BlendBench.h"
#include "imaging/FaceBlend.h"
#include "imaging/FaceCompositor.h"
#include "imaging/NaturalBlend.h"

namespace norvo::bench {
namespace {

constexpr double kPi = 3.14159265358979323846;
// Faces whose inner skin differs by more than this ΔE count as a pair of different tones.
constexpr double kDifferentTones = 10.0;
// Width of the rings the seam and the edge are measured on.
constexpr int kRingWidth = 4;

cv::Point2f At(const LandmarkPoint& p) {
    return {static_cast<float>(p.x), static_cast<float>(p.y)};
}

std::vector<cv::Point> Hull(const FaceLandmarks& m, size_t first, size_t end) {
    std::vector<cv::Point2f> points;
    for (size_t i = first; i < end; ++i) points.push_back(At(m.points[i]));
    std::vector<cv::Point2f> hull;
    cv::convexHull(points, hull);
    std::vector<cv::Point> out;
    for (const auto& p : hull) out.emplace_back(cvRound(p.x), cvRound(p.y));
    return out;
}

// Cheeks, nose and the skin between the brows: the face outline shrunk, above the mouth
// corners, with the eyes, brows, nostrils and mouth cut out.
cv::Mat InnerSkin(cv::Size size, const FaceLandmarks& m) {
    const double eyes = m.EyeDistance();
    cv::Mat outline = cv::Mat::zeros(size, CV_8U);
    cv::fillConvexPoly(outline, Hull(m, kJawFirst, kBrowsEnd), cv::Scalar(255));
    const int shrink = std::max(1, cvRound(0.12 * eyes));
    cv::erode(outline, outline,
              cv::getStructuringElement(cv::MORPH_ELLIPSE, {2 * shrink + 1, 2 * shrink + 1}));
    // Above the mouth corners, measured across the eye line.
    const double angle = m.EyeLineDegrees() * kPi / 180;
    const cv::Point2d down(-std::sin(angle), std::cos(angle));
    const LandmarkPoint a = m.points[48];
    const LandmarkPoint b = m.points[54];
    const double limit = ((a.x + b.x) / 2) * down.x + ((a.y + b.y) / 2) * down.y;
    for (int y = 0; y < size.height; ++y) {
        uint8_t* row = outline.ptr<uint8_t>(y);
        for (int x = 0; x < size.width; ++x) {
            if (row[x] && x * down.x + y * down.y > limit)
                row[x] = 0;
        }
    }
    cv::Mat cut = cv::Mat::zeros(size, CV_8U);
    cv::fillConvexPoly(cut, Hull(m, kLeftEyeFirst, kLeftEyeEnd), cv::Scalar(255));
    cv::fillConvexPoly(cut, Hull(m, kRightEyeFirst, kRightEyeEnd), cv::Scalar(255));
    cv::fillConvexPoly(cut, Hull(m, kNostrilsFirst, kNostrilsEnd), cv::Scalar(255));
    cv::fillConvexPoly(cut, Hull(m, kMouthFirst, kMouthEnd), cv::Scalar(255));
    for (size_t i = kBrowsFirst; i + 1 < kBrowsEnd; ++i) {
        if (i != 21) {  // the two brows are separate lines
            cv::line(cut, At(m.points[i]), At(m.points[i + 1]), cv::Scalar(255),
                     std::max(1, cvRound(0.15 * eyes)));
        }
    }
    const int grow = std::max(1, cvRound(0.1 * eyes));
    cv::dilate(cut, cut,
               cv::getStructuringElement(cv::MORPH_ELLIPSE, {2 * grow + 1, 2 * grow + 1}));
    return outline & ~cut;
}

cv::Mat Lab(const cv::Mat& bgr) {
    cv::Mat f;
    bgr.convertTo(f, CV_32FC3, 1.0 / 255);
    cv::Mat lab;
    cv::cvtColor(f, lab, cv::COLOR_BGR2Lab);
    return lab;
}

double DeltaE(const cv::Scalar& a, const cv::Scalar& b) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                     (a[2] - b[2]) * (a[2] - b[2]));
}

// The band kRingWidth pixels wide along the edge of weight >= level, near `box`.
cv::Mat Ring(const cv::Mat& weights, int level, const cv::Rect& near) {
    const cv::Mat inside = weights >= level;
    const cv::Mat kernel =
        cv::getStructuringElement(cv::MORPH_ELLIPSE, {kRingWidth + 1, kRingWidth + 1});
    cv::Mat grown, shrunk;
    cv::dilate(inside, grown, kernel);
    cv::erode(inside, shrunk, kernel);
    cv::Mat ring = grown & ~shrunk;
    cv::Mat limit = cv::Mat::zeros(weights.size(), CV_8U);
    limit(near & cv::Rect(0, 0, weights.cols, weights.rows)).setTo(255);
    return ring & limit;
}

double MeanGradient(const cv::Mat& bgr, const cv::Mat& where) {
    cv::Mat grey, gx, gy, magnitude;
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    cv::Sobel(grey, gx, CV_32F, 1, 0);
    cv::Sobel(grey, gy, CV_32F, 0, 1);
    cv::magnitude(gx, gy, magnitude);
    return cv::mean(magnitude, where)[0];
}

double MeanDeltaE(const cv::Mat& a, const cv::Mat& b, const cv::Mat& where) {
    cv::Mat la = Lab(a), lb = Lab(b);
    cv::Mat diff = la - lb;
    cv::Mat squared = diff.mul(diff);
    std::vector<cv::Mat> channels;
    cv::split(squared, channels);
    cv::Mat distance;
    cv::sqrt(channels[0] + channels[1] + channels[2], distance);
    return cv::mean(distance, where)[0];
}

double Overlap(const FaceBox& a, const FaceBox& b) {
    const cv::Rect ra(a.left, a.top, a.right - a.left, a.bottom - a.top);
    const cv::Rect rb(b.left, b.top, b.right - b.left, b.bottom - b.top);
    const double both = (ra & rb).area();
    return both / (ra.area() + rb.area() - both);
}

struct FaceMeasure {
    double tone = NAN;       // ΔE of the inner skin's mean colour, result against body
    double seam = NAN;       // mean gradient on the 64 ring, result / body
    double edge = NAN;       // mean ΔE on the 128 ring after a light blur
    double eyeLine = NAN;    // degrees between the eye lines
    double landmarks = NAN;  // mean landmark distance / eye distance
    bool found = false;      // the detector finds exactly this one face on the result
};

struct Sample {
    std::string pair;
    bool rolled = false;
    bool differentTones = false;
    bool group = false;
    FaceMeasure classic;
    FaceMeasure natural;
};

FaceMeasure Measure(const cv::Mat& body, const cv::Mat& result, const cv::Mat& weights,
                    const FaceBox& box, const FaceLandmarks& before, const FaceDetector& detector) {
    FaceMeasure m;
    const cv::Mat skin = InnerSkin(body.size(), before);
    m.tone = DeltaE(cv::mean(Lab(result), skin), cv::mean(Lab(body), skin));
    const int w = box.right - box.left;
    const int h = box.bottom - box.top;
    const cv::Rect near(box.left - w / 2, box.top - h / 2, 2 * w, 2 * h);
    const cv::Mat ring64 = Ring(weights, 64, near);
    if (cv::countNonZero(ring64) > 0) {
        m.seam = MeanGradient(result, ring64) / MeanGradient(body, ring64);
    }
    const cv::Mat ring128 = Ring(weights, 128, near);
    if (cv::countNonZero(ring128) > 0) {
        cv::Mat a, b;
        cv::GaussianBlur(result, a, cv::Size(), 1.0);
        cv::GaussianBlur(body, b, cv::Size(), 1.0);
        m.edge = MeanDeltaE(a, b, ring128);
    }
    Owned picture = FromMat(result);
    if (const std::optional<FaceLandmarks> after = Model().Find(picture.get(), box)) {
        double turn = std::fabs(after->EyeLineDegrees() - before.EyeLineDegrees());
        m.eyeLine = std::min(turn, 360 - turn);
        double sum = 0;
        for (size_t i = 0; i < kLandmarkCount; ++i) {
            sum += std::hypot(after->points[i].x - before.points[i].x,
                              after->points[i].y - before.points[i].y);
        }
        m.landmarks = sum / kLandmarkCount / before.EyeDistance();
    }
    int matches = 0;
    for (const FaceBox& found : DetectFaces(detector, result)) {
        matches += Overlap(found, box) > 0.3;
    }
    m.found = matches == 1;
    return m;
}

// The classic blend's weight per pixel: a white face blended over a black body.
cv::Mat ClassicWeights(cv::Size size, const FaceBoxList& boxes, const FaceBox& faceBox,
                       PictureHandle mask) {
    Owned black(CreatePicture(size.width, size.height));
    Owned white(CreatePicture(faceBox.right, faceBox.bottom));
    const PictureDescription* d = DescribePicture(white.get());
    std::memset(d->bits, 0xff, d->header->biSizeImage);
    BlendFaces(black.get(), boxes, white.get(), faceBox, mask);
    cv::Mat channels[3];
    cv::split(ToMat(black.get()), channels);
    return channels[2];
}

struct Photo {
    std::string name;
    cv::Mat image;
    FaceBox box;
};

class QualityBench {
public:
    QualityBench(std::string out, bool verbose) : m_out(std::move(out)), m_verbose(verbose) {
        m_mask.reset(LoadPicture(GalleryDir() + "/../mask.png"));
    }

    bool Ready() const { return m_mask != nullptr; }

    // One body picture with all its faces, one face picture.
    void RunPair(const std::string& name, const cv::Mat& body, const FaceBoxList& bodyBoxes,
                 const cv::Mat& face, const FaceBox& faceBox, bool rolled, bool group) {
        Owned bodyPicture = FromMat(body);
        Owned facePicture = FromMat(face);
        std::vector<std::optional<FaceLandmarks>> before;
        for (const FaceBox& b : bodyBoxes) before.push_back(Model().Find(bodyPicture.get(), b));
        const std::optional<FaceLandmarks> faceMarks = Model().Find(facePicture.get(), faceBox);
        if (!faceMarks) {
            std::printf("  %s: no landmarks on the face picture; pair left out\n", name.c_str());
            return;
        }

        Owned classic(CopyPicture(bodyPicture.get()));
        BlendFaces(classic.get(), bodyBoxes, facePicture.get(), faceBox, m_mask.get());
        const cv::Mat classicWeights =
            ClassicWeights(body.size(), bodyBoxes, faceBox, m_mask.get());
        Owned natural(CopyPicture(bodyPicture.get()));
        std::vector<uint8_t> weights;
        NaturalBlendOptions options;
        options.weights = &weights;
        const LandmarkFinder find = [](PictureHandle p, const FaceBox& b) {
            return Model().Find(p, b);
        };
        const NaturalBlendReport report = BlendFacesNatural(
            natural.get(), bodyBoxes, facePicture.get(), faceBox, m_mask.get(), find, options);
        m_classicFaces += report.classicFaces;
        const cv::Mat naturalWeights = cv::Mat(body.rows, body.cols, CV_8U, weights.data()).clone();

        // The fields from the small copy against the full-resolution computation.
        Owned exact(CopyPicture(bodyPicture.get()));
        NaturalBlendOptions full;
        full.fullResolution = true;
        BlendFacesNatural(exact.get(), bodyBoxes, facePicture.get(), faceBox, m_mask.get(), find,
                          full);
        const cv::Mat naturalMat = ToMat(natural.get());
        const cv::Mat exactMat = ToMat(exact.get());
        const cv::Mat faceArea = naturalWeights > 0;
        if (cv::countNonZero(faceArea) > 0) {
            cv::Mat diff;
            cv::absdiff(naturalMat, exactMat, diff);
            diff.convertTo(diff, CV_32FC3);
            diff = diff.mul(diff);
            const cv::Scalar mse = cv::mean(diff, faceArea);
            const double e = (mse[0] + mse[1] + mse[2]) / 3;
            m_psnr.push_back(e > 0 ? 10 * std::log10(255.0 * 255.0 / e) : 99.0);
            m_psnrWhole.push_back(cv::PSNR(naturalMat, exactMat));
            if (m_verbose) {
                std::printf("  %-44s PSNR of the small fields %.1f dB\n", name.c_str(),
                            m_psnr.back());
            }
            if (!m_out.empty() && m_verbose) {
                cv::Mat pair;
                cv::hconcat(naturalMat, exactMat, pair);
                Owned picture = FromMat(pair);
                std::string file = name;
                std::replace(file.begin(), file.end(), ' ', '_');
                SavePicturePng(m_out + "/" + file + "-fields.png", picture.get());
            }
        }

        // Tone difference of the pair, on the body's first face.
        const cv::Mat classicMat = ToMat(classic.get());
        bool different = false;
        if (before.front()) {
            const cv::Mat bodySkin = InnerSkin(body.size(), *before.front());
            const cv::Mat faceSkin = InnerSkin(face.size(), *faceMarks);
            different = DeltaE(cv::mean(Lab(body), bodySkin), cv::mean(Lab(face), faceSkin)) >
                        kDifferentTones;
        }
        for (size_t i = 0; i < bodyBoxes.size(); ++i) {
            if (!before[i]) {
                std::printf("  %s: no landmarks on body face %zu; face left out\n", name.c_str(),
                            i);
                continue;
            }
            Sample s;
            s.pair = name;
            s.rolled = rolled;
            s.group = group;
            s.differentTones = different;
            s.classic =
                Measure(body, classicMat, classicWeights, bodyBoxes[i], *before[i], m_detector);
            s.natural =
                Measure(body, naturalMat, naturalWeights, bodyBoxes[i], *before[i], m_detector);
            if (m_verbose) {
                std::printf(
                    "  %-44s face %zu  tone %5.1f %5.1f  seam %5.2f %5.2f  edge %5.1f %5.1f"
                    "  eye %5.2f %5.2f  marks %5.3f %5.3f  found %d %d\n",
                    name.c_str(), i, s.classic.tone, s.natural.tone, s.classic.seam, s.natural.seam,
                    s.classic.edge, s.natural.edge, s.classic.eyeLine, s.natural.eyeLine,
                    s.classic.landmarks, s.natural.landmarks, s.classic.found, s.natural.found);
            }
            m_samples.push_back(s);
        }
        if (!m_out.empty()) {
            cv::Mat sheet;
            cv::Mat faceShown;
            cv::resize(face, faceShown, {face.cols * body.rows / face.rows, body.rows});
            cv::hconcat(std::vector<cv::Mat>{body, faceShown, classicMat, naturalMat}, sheet);
            std::string file = name;
            std::replace(file.begin(), file.end(), ' ', '_');
            std::replace(file.begin(), file.end(), '/', '_');
            Owned picture = FromMat(sheet);
            SavePicturePng(m_out + "/" + file + ".png", picture.get());
        }
    }

    const FaceDetector& Detector() const { return m_detector; }

    void Report() const;

private:
    std::string m_out;
    bool m_verbose;
    FaceDetector m_detector;
    Owned m_mask;
    std::vector<Sample> m_samples;
    std::vector<double> m_psnr;       // over the pixels the natural blend mixed
    std::vector<double> m_psnrWhole;  // over the whole picture
    size_t m_classicFaces = 0;
};

struct Goal {
    const char* metric;
    double FaceMeasure::*field;
    const char* goal;
    // Whether the natural blend's median and 90th percentile meet it.
    bool (*met)(double median, double p90);
    bool (*take)(const Sample&);
};

void QualityBench::Report() const {
    auto all = [](const Sample&) { return true; };
    auto rolled = [](const Sample& s) { return s.rolled; };
    auto tones = [](const Sample& s) { return s.differentTones; };
    const Goal goals[] = {
        {"tone dE (all)", &FaceMeasure::tone, "<= 2.5 / <= 4.5",
         [](double m, double p) { return m <= 2.5 && p <= 4.5; }, all},
        {"tone dE (different tones)", &FaceMeasure::tone, "(2.6 in the prototype)",
         [](double m, double) { return m <= 2.6; }, tones},
        {"seam ratio", &FaceMeasure::seam, "0.95-1.05 / <= 1.05",
         [](double m, double p) { return m >= 0.95 && m <= 1.05 && p <= 1.05; }, all},
        {"edge dE", &FaceMeasure::edge, "<= 1.5 / <= 2",
         [](double m, double p) { return m <= 1.5 && p <= 2.0; }, all},
        {"eye-line error (all), deg", &FaceMeasure::eyeLine, "<= 0.6 / <= 1.2",
         [](double m, double p) { return m <= 0.6 && p <= 1.2; }, all},
        {"eye-line error (rolled), deg", &FaceMeasure::eyeLine, "<= 0.6 / <= 1.2",
         [](double m, double p) { return m <= 0.6 && p <= 1.2; }, rolled},
        {"landmark distance / eye dist", &FaceMeasure::landmarks, "<= 0.08 / <= 0.12",
         [](double m, double p) { return m <= 0.08 && p <= 0.12; }, all},
    };
    std::printf("\n%-30s %5s  %-22s %-17s %-17s %s\n", "metric", "faces", "goal (natural)",
                "classic med/p90", "natural med/p90", "natural meets it");
    for (const Goal& g : goals) {
        std::vector<double> c, n;
        for (const Sample& s : m_samples) {
            if (!g.take(s))
                continue;
            if (!std::isnan(s.classic.*g.field))
                c.push_back(s.classic.*g.field);
            if (!std::isnan(s.natural.*g.field))
                n.push_back(s.natural.*g.field);
        }
        char classic[32], natural[32];
        std::snprintf(classic, sizeof classic, "%.2f / %.2f", Median(c), P90(c));
        std::snprintf(natural, sizeof natural, "%.2f / %.2f", Median(n), P90(n));
        std::printf("%-30s %5zu  %-22s %-17s %-17s %s\n", g.metric, n.size(), g.goal, classic,
                    natural,
                    n.empty()                  ? "-"
                    : g.met(Median(n), P90(n)) ? "yes"
                                               : "NO");
    }
    for (bool group : {false, true}) {
        size_t count = 0, classic = 0, natural = 0;
        for (const Sample& s : m_samples) {
            if (s.group != group)
                continue;
            ++count;
            classic += s.classic.found;
            natural += s.natural.found;
        }
        char goal[32];
        std::snprintf(goal, sizeof goal, "100 %%");
        std::printf("%-30s %5zu  %-22s %-17.1f %-17.1f %s\n",
                    group ? "face found (group), %" : "face found (portraits), %", count, goal,
                    100.0 * classic / std::max<size_t>(count, 1),
                    100.0 * natural / std::max<size_t>(count, 1), natural == count ? "yes" : "NO");
    }
    auto lowest = [](const std::vector<double>& v) {
        return v.empty() ? NAN : *std::min_element(v.begin(), v.end());
    };
    std::printf("%-30s %5zu  %-22s %-17s %.1f / %.1f (median / lowest)\n",
                "PSNR small vs full, face, dB", m_psnr.size(), "41-48 in the prototype", "-",
                Median(m_psnr), lowest(m_psnr));
    std::printf("%-30s %5zu  %-22s %-17s %.1f / %.1f (median / lowest)\n",
                "PSNR small vs full, all, dB", m_psnrWhole.size(), "41-48 in the prototype", "-",
                Median(m_psnrWhole), lowest(m_psnrWhole));
    std::printf("faces blended the classic way for want of landmarks: %zu\n", m_classicFaces);
}

}  // namespace
}  // namespace norvo::bench

int main(int argc, char** argv) {
    using namespace norvo;
    using namespace norvo::bench;
    std::string out;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--out" && i + 1 < argc) {
            out = argv[++i];
            std::filesystem::create_directories(out);
        } else if (arg == "--verbose") {
            verbose = true;
        } else {
            std::fprintf(stderr, "usage: %s [--out DIR] [--verbose]\n", argv[0]);
            return 2;
        }
    }
    if (Model().Load() != LandmarkModelStatus::Ok) {
        std::fprintf(stderr, "bench_blend_quality: %s: %s\n", Model().Path().c_str(),
                     describe(Model().Load()));
        return 1;
    }
    QualityBench bench(out, verbose);
    if (!bench.Ready()) {
        std::fprintf(stderr, "bench_blend_quality: data/mask.png not found\n");
        return 1;
    }
    std::vector<Photo> photos;
    for (const char* file : {"Grace Hopper/grace_hopper.jpg", "Eileen Collins/astronaut.png"}) {
        Photo p{file, LoadMat(GalleryDir() + "/" + file), {}};
        const FaceBoxList faces = DetectFaces(bench.Detector(), p.image);
        if (p.image.empty() || faces.empty()) {
            std::fprintf(stderr, "bench_blend_quality: no face in %s\n", file);
            return 1;
        }
        p.box = faces.front();
        photos.push_back(p);
    }
    auto centre = [](const FaceBox& b) {
        return cv::Point2f((b.left + b.right) / 2.0f, (b.top + b.bottom) / 2.0f);
    };
    const Variant bodies[] = {Variant::Original,    Variant::RollLeft12,  Variant::RollLeft10,
                              Variant::RollRight10, Variant::RollRight12, Variant::WarmDark,
                              Variant::CoolBright,  Variant::SideLight};
    const Variant faces[] = {Variant::Original, Variant::WarmDark, Variant::CoolBright,
                             Variant::SideLight, Variant::RollRight10};
    std::printf("pairs of the two bundled photographs and their variants:\n");
    for (const Photo& body : photos) {
        for (const Photo& face : photos) {
            if (&body == &face)
                continue;
            for (Variant bv : bodies) {
                const cv::Mat bodyImage = MakeVariant(body.image, bv, centre(body.box));
                const FaceBoxList bodyFaces = DetectFaces(bench.Detector(), bodyImage);
                if (bodyFaces.empty()) {
                    std::printf("  no face found in %s (%s); left out\n", body.name.c_str(),
                                VariantName(bv));
                    continue;
                }
                for (Variant fv : faces) {
                    const cv::Mat faceImage = MakeVariant(face.image, fv, centre(face.box));
                    const FaceBoxList faceFaces = DetectFaces(bench.Detector(), faceImage);
                    if (faceFaces.empty())
                        continue;
                    const std::string name =
                        body.name.substr(0, body.name.find('/')) + " (" + VariantName(bv) + ") + " +
                        face.name.substr(0, face.name.find('/')) + " (" + VariantName(fv) + ")";
                    bench.RunPair(name, bodyImage, {bodyFaces.front()}, faceImage,
                                  faceFaces.front(), IsRolled(bv), false);
                }
            }
        }
    }
    // A group photograph: both people twice, two of them relit, in two rows. The second
    // person's face is small in her photograph and is enlarged, so that the detector, which
    // scans a copy 1000 pixels wide, still finds it.
    std::printf("a group photograph:\n");
    cv::Mat group(1340, 1400, CV_8UC3, cv::Scalar(170, 160, 150));
    const struct {
        int photo;
        Variant variant;
        double scale;
        cv::Point at;
    } people[] = {{0, Variant::Original, 1.0, {40, 20}},
                  {1, Variant::Original, 1.3, {700, 0}},
                  {1, Variant::WarmDark, 1.3, {20, 670}},
                  {0, Variant::SideLight, 1.0, {760, 700}}};
    for (const auto& p : people) {
        cv::Mat person = MakeVariant(photos[p.photo].image, p.variant, centre(photos[p.photo].box));
        cv::resize(person, person, {}, p.scale, p.scale, cv::INTER_CUBIC);
        const cv::Rect place = cv::Rect(p.at, person.size()) & cv::Rect({}, group.size());
        person(cv::Rect({}, place.size())).copyTo(group(place));
    }
    const FaceBoxList groupFaces = DetectFaces(bench.Detector(), group);
    std::printf("  %zu faces found\n", groupFaces.size());
    for (const Photo& face : photos) {
        bench.RunPair("group + " + face.name.substr(0, face.name.find('/')), group, groupFaces,
                      face.image, face.box, false, true);
    }
    bench.Report();
    return 0;
}
