// Reading the shape model (ours against dlib's own reader, damaged files refused) and finding
// landmarks on the bundled photographs.

#include <gtest/gtest.h>

#include <dlib/image_processing/shape_predictor.h>
#include <dlib/serialize.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "base/WideText.h"
#endif

#include "base/Utf8Path.h"
#include "imaging/FaceBlend.h"
#include "imaging/LandmarkModel.h"
#include "imaging/LandmarkModelFile.h"
#include "imaging/NaturalBlend.h"
#include "imaging/Picture.h"
#include "tests/imaging/TestPictures.h"

namespace norvo {
namespace {

using testing::TempFolder;

const std::string kGallery = std::string(NORVO_SOURCE_DIR) + "/data/gallery/";
// The detector's boxes of the two bundled photographs.
const FaceBox kHopperBox{181, 140, 367, 326};
const FaceBox kCollinsBox{181, 79, 273, 171};

// The model the programs use: Debian's on Linux; on Windows the copy in the data folder beside
// the programs (the test programs too), which the build puts there.
#ifdef _WIN32
const std::string kModel = LandmarkModel::DefaultPath();
#else
const std::string kModel = kDefaultLandmarkModelPath;
#endif

bool HaveDebianModel() {
    return std::filesystem::is_regular_file(PathFromUtf8(kModel));
}

// A small model in dlib's format: 68 parts, one cascade of one tree over two feature pixels.
// `damage` spoils it in one way before it is written.
enum class Damage { None, SplitIndex, LeafCount, Parts, Threshold, Trailing };

std::string TinyModel(Damage damage) {
    dlib::matrix<float, 0, 1> shape(damage == Damage::Parts ? 10 : 136);
    for (long i = 0; i < shape.size(); ++i) {
        shape(i) = 0.01f * static_cast<float>(i % 50);
    }
    dlib::impl::regression_tree tree;
    tree.splits.push_back(
        {0, damage == Damage::SplitIndex ? 5ul : 1ul,
         damage == Damage::Threshold ? std::numeric_limits<float>::infinity() : 0.5f});
    tree.leaf_values.assign(damage == Damage::LeafCount ? 3 : 2, dlib::zeros_matrix(shape));
    const std::vector<std::vector<dlib::impl::regression_tree>> forests{{tree}};
    const std::vector<std::vector<dlib::vector<float, 2>>> pixels{{{0.1f, 0.2f}, {0.3f, 0.1f}}};
    std::ostringstream out;
    dlib::serialize(dlib::shape_predictor(shape, forests, pixels), out);
    return out.str() + (damage == Damage::Trailing ? "x" : "");
}

bool Read(const std::string& bytes) {
    ShapeModel model;
    return ReadShapeModelBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                               model);
}

TEST(LandmarkModelFile, RefusesDamagedModelsAndEveryCutOffCopy) {
    const std::string good = TinyModel(Damage::None);
    EXPECT_TRUE(Read(good));
    for (Damage damage : {Damage::SplitIndex, Damage::LeafCount, Damage::Parts, Damage::Threshold,
                          Damage::Trailing}) {
        EXPECT_FALSE(Read(TinyModel(damage))) << static_cast<int>(damage);
    }
    for (size_t length = 0; length < good.size(); ++length) {
        ASSERT_FALSE(Read(good.substr(0, length))) << length;
    }
}

TEST(LandmarkModelFile, StatusesAndOneLoadForManyThreads) {
    TempFolder dir;
    const std::string good = dir.Path("tiny.dat");
    const std::string junk = dir.Path("junk.dat");
    std::ofstream(good, std::ios::binary) << TinyModel(Damage::None);
    std::ofstream(junk, std::ios::binary) << "not a model";
    std::filesystem::create_directory(dir.Path("folder"));

    const struct {
        std::string path;
        LandmarkModelStatus want;
    } cases[] = {{dir.Path("missing.dat"), LandmarkModelStatus::Missing},
                 {junk, LandmarkModelStatus::Unreadable},
                 {dir.Path("folder"), LandmarkModelStatus::Unreadable},
                 {good, LandmarkModelStatus::Ok}};
    for (const auto& c : cases) {
        int prepared = 0;
        {
            LandmarkModel model(c.path);
            EXPECT_EQ(model.Find(nullptr, kHopperBox), std::nullopt);
            model.StartLoading([&prepared] { ++prepared; });
            model.StartLoading([&prepared] { ++prepared; });
            std::vector<std::thread> askers;
            std::vector<LandmarkModelStatus> answers(4);
            for (size_t i = 0; i < answers.size(); ++i) {
                askers.emplace_back([&model, &answers, i] { answers[i] = model.Load(); });
            }
            for (auto& t : askers) t.join();
            for (LandmarkModelStatus s : answers) EXPECT_EQ(s, c.want) << c.path;
        }  // the model waits for its loading thread here
        EXPECT_EQ(prepared, 1) << c.path;
    }
}

class LandmarksOnPhotos : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (HaveDebianModel()) {
            s_model = new LandmarkModel(kModel);
            ASSERT_EQ(s_model->Load(), LandmarkModelStatus::Ok);
        }
    }
    static void TearDownTestSuite() {
        delete s_model;
        s_model = nullptr;
    }
    void SetUp() override {
        if (!s_model) {
            GTEST_SKIP() << "no landmark model at " << kModel;
        }
    }
    static LandmarkModel* s_model;
};

LandmarkModel* LandmarksOnPhotos::s_model = nullptr;

TEST_F(LandmarksOnPhotos, OurModelGivesDlibsLandmarksInFractionsOfAPixel) {
    dlib::shape_predictor theirs;
    dlib::deserialize(kModel) >> theirs;
    ShapeModel ours;
    ASSERT_TRUE(ReadShapeModel(kModel, ours));
    // The bundled photographs, and a pattern with the face box partly outside it.
    std::vector<dlib::array2d<unsigned char>> photos;
    photos.reserve(2);
    for (const char* file : {"Grace Hopper/grace_hopper.jpg", "Eileen Collins/astronaut.png"}) {
        PictureHandle photo = LoadPicture(kGallery + file);
        ASSERT_NE(photo, nullptr) << file;
        const PictureDescription* d = DescribePicture(photo);
        const long width = d->header->biWidth;
        const long height = d->header->biHeight;
        dlib::array2d<unsigned char>& grey = photos.emplace_back(height, width);
        for (long y = 0; y < height; ++y) {
            const uint8_t* row =
                d->bits + (height - 1 - y) * PictureStride(static_cast<int>(width));
            for (long x = 0; x < width; ++x) {
                grey[y][x] = static_cast<unsigned char>(
                    (row[3 * x] * 29 + row[3 * x + 1] * 150 + row[3 * x + 2] * 77) >> 8);
            }
        }
        ReleasePicture(photo);
    }
    dlib::array2d<unsigned char> pattern(300, 300);
    for (long y = 0; y < 300; ++y) {
        for (long x = 0; x < 300; ++x) {
            pattern[y][x] = static_cast<unsigned char>((x * 7 + y * 13 + (x * y) % 17) & 255);
        }
    }
    const struct {
        const dlib::array2d<unsigned char>& image;
        dlib::rectangle box;
    } cases[] = {{photos[0], {181, 140, 366, 325}},
                 {photos[1], {181, 79, 272, 170}},
                 {pattern, {50, 50, 250, 250}},
                 {pattern, {-40, 100, 90, 230}}};
    for (const auto& c : cases) {
        const GreyView view{&c.image[0][0], c.image.width_step(), c.image.nc(), c.image.nr()};
        const FaceLandmarks a = ours.Predict(view, c.box);
        const dlib::full_object_detection b = theirs(c.image, c.box);
        double fraction = 0;
        for (size_t i = 0; i < kLandmarkCount; ++i) {
            EXPECT_EQ(dlib::point(dlib::vector<double, 2>(a.points[i].x, a.points[i].y)),
                      b.part(static_cast<unsigned long>(i)))
                << i;
            fraction += std::fabs(a.points[i].x - std::round(a.points[i].x));
        }
        // Not rounded themselves: the eye line needs the fractions.
        EXPECT_GT(fraction, 0.1 * kLandmarkCount);
    }
}

TEST_F(LandmarksOnPhotos, FindsUprightEyesInsideTheDetectorsBox) {
    for (const auto& [file, box] : {std::pair{"Grace Hopper/grace_hopper.jpg", kHopperBox},
                                    std::pair{"Eileen Collins/astronaut.png", kCollinsBox}}) {
        PictureHandle photo = LoadPicture(kGallery + file);
        ASSERT_NE(photo, nullptr) << file;
        const std::optional<FaceLandmarks> marks = s_model->Find(photo, box);
        ASSERT_TRUE(marks) << file;
        const double width = box.right - box.left;
        EXPECT_NEAR(marks->EyeLineDegrees(), 0, 5) << file;
        EXPECT_GT(marks->EyeDistance(), 0.3 * width) << file;
        EXPECT_LT(marks->EyeDistance(), 0.6 * width) << file;
        for (const LandmarkPoint& eye : {marks->LeftEye(), marks->RightEye()}) {
            EXPECT_GT(eye.x, box.left);
            EXPECT_LT(eye.x, box.right);
            EXPECT_GT(eye.y, box.top);
            EXPECT_LT(eye.y, (box.top + box.bottom) / 2.0);
        }
        // No landmarks for a box too small, one mostly outside, or a flat area.
        EXPECT_EQ(s_model->Find(photo, {10, 10, 20, 20}), std::nullopt);
        EXPECT_EQ(s_model->Find(photo, {-150, -150, 50, 50}), std::nullopt);
        ReleasePicture(photo);
    }
    PictureHandle flat = CreatePicture(300, 300);
    EXPECT_EQ(s_model->Find(flat, {50, 50, 250, 250}), std::nullopt);
    ReleasePicture(flat);
}

// The bundled pair as the program blends it: Hopper's body, Collins's face, the program's mask.
struct BundledPair {
    OwnedPicture body{LoadPicture(kGallery + "Grace Hopper/grace_hopper.jpg")};
    OwnedPicture face{LoadPicture(kGallery + "Eileen Collins/astronaut.png")};
    OwnedPicture mask{LoadPicture(std::string(NORVO_SOURCE_DIR) + "/data/mask.png")};

    // The body with the face blended the classic way.
    OwnedPicture Classic() const {
        OwnedPicture portrait(CopyPicture(body.get()));
        BlendFaces(portrait.get(), {kHopperBox}, face.get(), kCollinsBox, mask.get());
        return portrait;
    }

    NaturalBlendReport Natural(const LandmarkModel& model) {
        return BlendFacesNatural(body.get(), {kHopperBox}, face.get(), kCollinsBox, mask.get(),
                                 [&model](PictureHandle picture, const FaceBox& box) {
                                     return model.Find(picture, box);
                                 });
    }
};

bool SamePixels(PictureHandle a, PictureHandle b) {
    const PictureDescription* da = DescribePicture(a);
    const PictureDescription* db = DescribePicture(b);
    return da->header->biSizeImage == db->header->biSizeImage &&
           std::memcmp(da->bits, db->bits, da->header->biSizeImage) == 0;
}

TEST_F(LandmarksOnPhotos, TheBundledPairIsBlendedNaturally) {
    BundledPair pair;
    ASSERT_TRUE(pair.body && pair.face && pair.mask);
    const OwnedPicture classic = pair.Classic();
    const NaturalBlendReport report = pair.Natural(*s_model);
    EXPECT_EQ(report.faces, 1u);
    EXPECT_EQ(report.classicFaces, 0u);
    EXPECT_FALSE(SamePixels(pair.body.get(), classic.get()));
}

// Without its model the natural blend gives the classic portrait, and the model names the path
// it was given, for the message that says so.
TEST(LandmarkModelMissing, EveryFaceIsBlendedTheClassicWay) {
    TempFolder dir;
    const std::string missing = dir.Path("データ/shape_predictor_68_face_landmarks.dat");
    LandmarkModel model(missing);
    EXPECT_EQ(model.Load(), LandmarkModelStatus::Missing);
    EXPECT_EQ(model.Path(), missing);

    BundledPair pair;
    ASSERT_TRUE(pair.body && pair.face && pair.mask);
    const OwnedPicture classic = pair.Classic();
    const NaturalBlendReport report = pair.Natural(model);
    EXPECT_EQ(report.faces, 1u);
    EXPECT_EQ(report.classicFaces, 1u);
    EXPECT_TRUE(SamePixels(pair.body.get(), classic.get()));
}

#ifdef _WIN32
// On Windows the model lies in the data folder beside the program, wherever that folder is,
// and the variable may name a file in any script.
TEST(LandmarkModelWin, TheDataFolderBesideTheProgramOrTheVariableInAnyScript) {
    wchar_t exe[MAX_PATH + 1] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, exe, MAX_PATH + 1), 0u);
    const std::filesystem::path beside = std::filesystem::path(exe).parent_path() / L"data" /
                                         L"shape_predictor_68_face_landmarks.dat";
    const wchar_t* variable = L"NORVO_LANDMARK_MODEL";
    SetEnvironmentVariableW(variable, nullptr);
    EXPECT_EQ(PathFromUtf8(LandmarkModel::DefaultPath()), beside);

    TempFolder dir;
    const std::string chosen = dir.Path("顔の特徴点 model.dat");
    std::ofstream(PathFromUtf8(chosen), std::ios::binary) << TinyModel(Damage::None);
    ASSERT_TRUE(SetEnvironmentVariableW(variable, win::ToWide(chosen).c_str()));
    EXPECT_EQ(LandmarkModel::DefaultPath(), chosen);
    EXPECT_EQ(LandmarkModel(LandmarkModel::DefaultPath()).Load(), LandmarkModelStatus::Ok);
    ShapeModel shape;
    EXPECT_TRUE(ReadShapeModel(chosen, shape));

    // Set but empty is not set.
    ASSERT_TRUE(SetEnvironmentVariableW(variable, L""));
    EXPECT_EQ(PathFromUtf8(LandmarkModel::DefaultPath()), beside);
    SetEnvironmentVariableW(variable, nullptr);
}
#endif

}  // namespace
}  // namespace norvo
