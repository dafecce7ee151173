// A real portrait: the built program, its module and the bundled gallery service together.

#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/wait.h>

#include <QImage>
#include <QImageReader>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "../run/RecorderView.h"
#include "../web/RecorderReport.h"
#include "app/CreateRun.h"
#include "app/EmbeddedGallery.h"
#include "app/PortraitCredits.h"
#include "app/RunTexts.h"
#include "app/ServiceSetup.h"
#include "norvo/Version.h"
#include "saori/Platform.h"
#include "saori/WorkFolder.h"
#include "web/ImageSearch.h"
#include "web/LookupTexts.h"

namespace norvo {
namespace {

constexpr char kBodyName[] = "Grace Hopper";
constexpr char kFaceName[] = "Eileen Collins";

// Mean absolute difference per channel of two same-sized pictures over `area`.
double MeanDifference(const QImage& a, const QImage& b, const QRect& area) {
    double sum = 0;
    long count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
            count += 3;
        }
    }
    return count ? sum / count : 0;
}

QImage ReadPicture(const std::string& path) {
    QImageReader reader(QString::fromStdString(path));
    reader.setAutoTransform(true);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

class PortraitEndToEndTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Before any thread: starts the service and sets the module's probe address.
        std::string why;
        ASSERT_EQ(SetUpServices("", "", s_gallery, s_services, why), ServiceSetupStatus::Ok) << why;
        // The module gives up on an answer that is slow to start, and a search answers only
        // once the faces of every candidate are found: on a machine busy with other tests the
        // first searches can take longer than that. They are made here without its limits,
        // so the runs below find the faces in the service's cache.
        httplib::Client client(s_services.search.substr(std::string("http://").size()));
        client.set_read_timeout(kWarmUpLimitSeconds, 0);
        for (const char* name : {"grace%20hopper", "eileen%20collins"}) {
            const auto res = client.Get(
                (std::string("/ajax/services/search/images?q=") + name + "&v=1.0").c_str());
            ASSERT_TRUE(res && res->status == 200) << name;
        }
    }
    // How long the warm-up may wait for the service: only a hang reaches it.
    static constexpr int kWarmUpLimitSeconds = 300;
    static void TearDownTestSuite() { s_gallery.Stop(); }

    // The body picture's face boxes as the run finds them.
    FaceBoxList BodyBoxes(const std::string& workFolder) {
        RunSettings settings = MakeRunSettings(workFolder, s_services);
        SaoriHost host(settings.modulePath, workFolder);
        EXPECT_EQ(host.LoadSaori(), 0);
        testing::RecorderReport report;
        LookupContext ctx{host, report, s_services.search, s_services.detect, workFolder};
        const std::optional<SearchOutcome> found = SearchPicture(ctx, kBodyName);
        EXPECT_TRUE(found);
        host.UnloadSaori();
        return found ? found->Chosen().list : FaceBoxList{};
    }

    static EmbeddedGallery s_gallery;
    static ServiceAddresses s_services;
    WorkFolder work;
    WorkFolder scratch{std::filesystem::temp_directory_path().string()};
};

EmbeddedGallery PortraitEndToEndTest::s_gallery;
ServiceAddresses PortraitEndToEndTest::s_services;

TEST_F(PortraitEndToEndTest, ThePortraitCarriesTheNewFaceAndKeepsTheRest) {
    ASSERT_TRUE(work.IsValid());
    testing::RecorderView view;
    view.savePath = scratch.Path() + "portrait.jpg";
    CreateRun run(view, MakeRunSettings(work.Path(), s_services));
    run.Run(kBodyName, kFaceName);
    ASSERT_EQ(run.LastOutcome(), RunOutcome::Saved) << ::testing::PrintToString(view.calls);
    EXPECT_EQ(view.Steps(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 9, 10, 11, 12, 13, 14, 15, 16}));
    EXPECT_TRUE(std::filesystem::is_empty(work.Path()));

    const QImage portrait = ReadPicture(*view.savePath);
    ASSERT_FALSE(portrait.isNull());
    EXPECT_EQ(portrait.height(), 600);

    // The body picture as the run saw it, brought to the portrait's size.
    const QImage original =
        ReadPicture(std::string(NORVO_GALLERY_SOURCE) + "/" + kBodyName + "/grace_hopper.jpg");
    ASSERT_FALSE(original.isNull());
    const QImage body =
        original.scaled(portrait.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const double scale = 600.0 / original.height();

    const FaceBoxList boxes = BodyBoxes(work.Path());
    ASSERT_FALSE(boxes.empty());
    QRect faces;
    for (const FaceBox& b : boxes) {
        if (b.right > b.left && b.bottom > b.top) {
            faces |= QRect(QPoint(int(b.left * scale), int(b.top * scale)),
                           QPoint(int((b.right - 1) * scale), int((b.bottom - 1) * scale)));
        }
    }
    ASSERT_FALSE(faces.isEmpty());
    // The middle of the face, where the mask shows the new face fully.
    const QRect middle(faces.center() - QPoint(faces.width() / 6, faces.height() / 6),
                       QSize(faces.width() / 3, faces.height() / 3));
    EXPECT_GT(MeanDifference(portrait, body, middle), 12.0);
    // Far from the face: the bottom strip and the left edge stay the body picture.
    const QRect bottom(0, 540, portrait.width(), 60);
    EXPECT_LT(MeanDifference(portrait, body, bottom), 6.0);
    EXPECT_TRUE(std::filesystem::is_empty(work.Path()));
}

// Runs the built program with `args` against `services`; returns its exit status.
int RunProgram(const ServiceAddresses& services, const std::string& args) {
    const std::string command = "NORVO_SEARCH_URL='" + services.search + "' NORVO_DETECT_URL='" +
                                services.detect + "' " + platform::ProgramFolder() + "norvo " +
                                args + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(PortraitEndToEndTest, TheCommandLineWritesOnlyWhenAllowed) {
    const std::string out = scratch.Path() + "cli.jpg";
    const std::string names =
        "--body 'Grace Hopper' --face 'Eileen Collins' --output '" + out + "'";
    ASSERT_EQ(RunProgram(s_services, names), 0);
    EXPECT_EQ(ReadPicture(out).height(), 600);

    std::ofstream(out) << "keep me";
    EXPECT_EQ(RunProgram(s_services, names), 1) << "an existing file is kept without --force";
    EXPECT_EQ(std::filesystem::file_size(out), 7u);
    EXPECT_EQ(RunProgram(s_services, names + " --force"), 0);
    EXPECT_EQ(ReadPicture(out).height(), 600);

    EXPECT_EQ(RunProgram(s_services, "--body 'Nobody Known' --face 'Eileen Collins' --output '" +
                                         scratch.Path() + "none.jpg'"),
              1);
    EXPECT_FALSE(std::filesystem::exists(scratch.Path() + "none.jpg"));
    EXPECT_EQ(RunProgram(s_services, "--body x"), 2);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(PortraitEndToEndTest, ThePortraitIsLabelledUnlessToldNotAndItsPictureStaysTheSame) {
    const std::string labelled = scratch.Path() + "labelled.jpg";
    const std::string plain = scratch.Path() + "plain.jpg";
    const std::string log = scratch.Path() + "log.txt";
    const std::string names = "--body 'Grace Hopper' --face 'Eileen Collins' --output ";
    // Against the suite's service, whose faces are cached: see SetUpTestSuite.
    const std::string program = "NORVO_SEARCH_URL='" + s_services.search + "' NORVO_DETECT_URL='" +
                                s_services.detect + "' " + platform::ProgramFolder() + "norvo ";
    ASSERT_EQ(std::system((program + names + "'" + labelled + "' 2>'" + log + "'").c_str()), 0);
    ASSERT_EQ(RunProgram(s_services, names + "'" + plain + "' --no-label"), 0);

    const std::string withLabel = ReadFile(labelled);
    const std::string withoutLabel = ReadFile(plain);
    for (const char* part :
         {"http://cv.iptc.org/newscodes/digitalsourcetype/composite",
          "A joke portrait made with norvo: Eileen Collins's face on Grace Hopper's picture.",
          // The bundled service answers from the gallery's SOURCES.md.
          "Body picture (Grace Hopper): Grace Hopper/grace_hopper.jpg",
          "Face picture (Eileen Collins): Eileen Collins/astronaut.png"}) {
        EXPECT_NE(withLabel.find(part), std::string::npos) << part;
        EXPECT_EQ(withoutLabel.find(part), std::string::npos) << part;
    }
    EXPECT_NE(withLabel.find("norvo " + std::string(kProgramVersion)), std::string::npos);
    // The same picture data after the metadata.
    const size_t a = withLabel.find("\xFF\xDA");
    const size_t b = withoutLabel.find("\xFF\xDA");
    ASSERT_NE(a, std::string::npos);
    EXPECT_EQ(withLabel.substr(a), withoutLabel.substr(b));
    // The terminal run told the credits after saving.
    const std::string told = ReadFile(log);
    EXPECT_NE(told.find(std::string(kSavedText) + "\n  " + kCreditsHeading + "\n  " +
                        CreditLineText(kBodyRoleText, kBodyName,
                                       "Grace Hopper/grace_hopper.jpg — public domain (U.S. Navy "
                                       "photograph)")),
              std::string::npos)
        << told;
}

// Runs the built program with `args` and `environment` (NAME=value ...); its standard error
// goes to `errors`. Returns its exit status.
int RunProgramLogged(const std::string& environment, const std::string& args,
                     const std::string& errors) {
    const std::string command = environment + " " + platform::ProgramFolder() + "norvo " + args +
                                " >/dev/null 2>'" + errors + "'";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(PortraitEndToEndTest, TheNaturalBlendWithItsComparisonAndWithoutItsModel) {
    // Unlabelled, so that two runs give the same bytes.
    const std::string names =
        "--body 'Grace Hopper' --face 'Eileen Collins' --no-label --force --output '";
    const std::string classic = scratch.Path() + "classic.jpg";
    const std::string natural = scratch.Path() + "natural.jpg";
    const std::string fallback = scratch.Path() + "fallback.jpg";
    const std::string sheet = scratch.Path() + "sheet.png";
    const std::string errors = scratch.Path() + "errors.txt";
    // No blend setting of the user's reaches these runs.
    const std::string clean = "NORVO_BLEND= XDG_CONFIG_HOME='" + scratch.Path() + "'";
    ASSERT_EQ(RunProgramLogged(clean, names + classic + "'", errors), 0);

    ASSERT_EQ(RunProgramLogged(
                  clean, names + natural + "' --blend natural --preview '" + sheet + "'", errors),
              0)
        << ReadFile(errors);
    // Body 512 x 600, face 512 x 512 shown 600 high, the two portraits 512 wide.
    const QImage comparison = ReadPicture(sheet);
    EXPECT_EQ(comparison.size(), QSize(512 + 600 + 512 + 512 + 3 * 8, 600));
    const QImage a = ReadPicture(classic);
    const QImage b = ReadPicture(natural);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_GT(MeanDifference(a, b, QRect(200, 170, 110, 110)), 4.0) << "the faces differ";
    EXPECT_LT(MeanDifference(a, b, QRect(0, 500, 512, 100)), 1.0) << "the rest does not";

    // Without its model the natural blend says why, and the portrait is the classic one.
    ASSERT_EQ(RunProgramLogged(clean + " NORVO_LANDMARK_MODEL=/nonexistent/model.dat",
                               names + fallback + "' --blend natural", errors),
              0);
    EXPECT_NE(ReadFile(errors).find("/nonexistent/model.dat"), std::string::npos)
        << ReadFile(errors);
    EXPECT_EQ(ReadFile(fallback), ReadFile(classic));
}

TEST_F(PortraitEndToEndTest, TheTerminalRunSpeaksTheLanguageOfItsLocale) {
    // A name nobody knows ends the run with a message: in English for an English locale (none is
    // installed here, nor needs to be), as it always was for a Japanese one.
    const std::string args =
        "--body 'Nobody Known' --face 'Eileen Collins' --output '" + scratch.Path() + "nobody.jpg'";
    const std::string errors = scratch.Path() + "errors.txt";
    const std::string services =
        "NORVO_SEARCH_URL='" + s_services.search + "' NORVO_DETECT_URL='" + s_services.detect + "'";
    ASSERT_EQ(RunProgramLogged(services + " LANG=en_US.UTF-8", args, errors), 1);
    EXPECT_NE(ReadFile(errors).find("\nCould not recognize a face for Nobody Known. (0)\n"),
              std::string::npos)
        << ReadFile(errors);
    ASSERT_EQ(RunProgramLogged(services + " LANG=ja_JP.UTF-8", args, errors), 1);
    EXPECT_NE(ReadFile(errors).find("\n" + NoDetectionText("Nobody Known") + "\n"),
              std::string::npos)
        << ReadFile(errors);
}

}  // namespace
}  // namespace norvo
