// Whole Create runs through the windows: the real run on its thread, the real SAORI host with
// the scriptable test module, the picture library; message boxes and the save dialog answered
// by their test hooks.

#include <gtest/gtest.h>

#include <atomic>
#include <ostream>

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>

#include "FakeServices.h"
#include "GuiTestSupport.h"
#ifdef HTTPC_MODULE_PATH
#include "HttpcTestSupport.h"
#endif
#include "app/CreateRun.h"
#include "app/PortraitChoice.h"
#include "app/PortraitCredits.h"
#include "app/RunTexts.h"
#include "app/UserSettings.h"
#include "app/gui/CFileDialogTitle.h"
#include "app/gui/CMainDialog.h"
#include "app/gui/CPreviewPane.h"
#include "app/gui/CProgressDialog.h"
#include "app/gui/MessageBox.h"
#include "app/gui/WindowTexts.h"
#include "imaging/LandmarkModel.h"
#include "saori/WorkFolder.h"
#include "web/ImageSearch.h"

namespace norvo {
namespace {

using testing::DetectionXml;
using testing::FakeServices;
using testing::Gate;
using testing::ParseRequest;
using testing::SearchAnswer;
using testing::Shown;
using testing::TestModule;
using testing::WaitUntil;

std::string PngBytes(int width, int height, Qt::GlobalColor colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

// What the progress window showed after one step.
struct Seen {
    int step;
    bool visible;
    int position;
    bool operator==(const Seen&) const = default;
};

// Typed into the edits; the searches only answer their exact percent-encoded UTF-8 forms.
const char kBody[] = "山田 花子";
const char kFace[] = "佐藤 一郎";

void PrintTo(const Seen& s, std::ostream* os) {
    *os << "{" << s.step << (s.visible ? " shown " : " hidden ") << s.position << "}";
}

class GuiRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(work.IsValid());
        ASSERT_TRUE(scratch.IsValid());
        MessageBox::resetTestHook();
        CFileDialogTitle::resetTestHook();

        maskPath = scratch.Path() + "mask.png";
        FakeServices::Write(maskPath, PngBytes(32, 32, Qt::white));
        fake.searches[Query(kBody)] = SearchAnswer({"http://p/body.png"});
        fake.searches[Query(kFace)] = SearchAnswer({"http://p/face.png"});
        fake.detections["http://p/body.png"] = DetectionXml({{40, 40, 60, 60}});
        fake.detections["http://p/face.png"] = DetectionXml({{10, 10, 30, 30}});
        fake.detections[""] = "<faces></faces>";
        fake.downloads["http://p/body.png"] = PngBytes(200, 300, Qt::blue);
        fake.downloads["http://p/face.png"] = PngBytes(100, 100, Qt::red);
        fake.Attach(module);

        progress.SetMainWindow(&dialog);
        dialog.SetProgressWindow(&progress);
        dialog.SetRunJob([this](RunView& view, const std::string& body, const std::string& face) {
            CreateRun run(view, Settings());
            run.Run(body, face);
            outcome = run.LastOutcome();
        });
        QObject::connect(&progress, &CProgressDialog::stepHandled, [this](int step) {
            seen.push_back({step, progress.isVisible(), progress.Position()});
        });
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        Edit("editBody")->setText(QString::fromUtf8(kBody));
        Edit("editFace")->setText(QString::fromUtf8(kFace));
    }
    void TearDown() override {
        MessageBox::resetTestHook();
        CFileDialogTitle::resetTestHook();
    }

    std::string Query(const char* name) const {
        return BuildSearchAddress(fake.searchBase, name).value_or("");
    }
    RunSettings Settings() const {
        RunSettings settings{modulePath, work.Path(), fake.searchBase, fake.detectBase, maskPath};
        settings.labelPortrait = labelPortrait;
        settings.landmarks = landmarks;
        settings.blendSettingsPath = blendSettingsPath;
        settings.offerChoices = offerChoices;
        return settings;
    }
    // Runs `step` on the open save dialog and its preview pane every few milliseconds (inside
    // the dialog's own event loop) until it returns true. A dialog still open after the wait
    // limit is cancelled, so a failing step cannot hang the test.
    void DriveSaveDialog(std::function<bool(CFileDialogTitle&, CPreviewPane&)> step) {
        constexpr int kTickMs = 20;
        saveDriver.setInterval(kTickMs);
        QObject::connect(&saveDriver, &QTimer::timeout, [this, step, ticks = 0]() mutable {
            auto* save = qobject_cast<CFileDialogTitle*>(QApplication::activeModalWidget());
            CPreviewPane* pane = save ? save->findChild<CPreviewPane*>() : nullptr;
            if (!pane || !save->isVisible()) {
                return;
            }
            if (++ticks * kTickMs > testing::kWaitLimitMs) {
                ADD_FAILURE() << "the save dialog was not done with in time";
                save->reject();
                saveDriver.stop();
            } else if (step(*save, *pane)) {
                saveDriver.stop();
            }
        });
        saveDriver.start();
    }
    QLineEdit* Edit(const char* name) {
        return dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
    }
    QPushButton* Create() { return dialog.findChild<QPushButton*>(QStringLiteral("buttonCreate")); }
    // Presses Create and waits until the run thread has ended.
    void RunToTheEnd() {
        QSignalSpy done(&dialog, &CMainDialog::runFinished);
        QTest::mouseClick(Create(), Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([&] { return done.count() == 1; }));
    }
    void ExpectIdleAndClean() {
        EXPECT_TRUE(Create()->isEnabled());
        EXPECT_FALSE(dialog.IsRunning());
        EXPECT_FALSE(progress.isVisible());
        EXPECT_EQ(progress.pos(), CProgressDialog::kParkPosition);
        EXPECT_TRUE(std::filesystem::is_empty(work.Path())) << "files left in the work folder";
    }

    TestModule module;
    FakeServices fake;
    WorkFolder work{std::filesystem::temp_directory_path().string()};
    WorkFolder scratch{std::filesystem::temp_directory_path().string()};
    std::string modulePath = NORVO_TEST_MODULE_PATH;
    std::string maskPath;
    bool labelPortrait = false;
    std::shared_ptr<LandmarkModel> landmarks;
    std::string blendSettingsPath;
    bool offerChoices = false;
    CMainDialog dialog;
    CProgressDialog progress;
    QTimer saveDriver;
    std::vector<Seen> seen;
    RunOutcome outcome = RunOutcome::NotRun;
};

TEST_F(GuiRunTest, ASuccessfulRunShowsEveryStepAndSavesWhereTheDialogSays) {
    MessageBox::setNextAnswer(QMessageBox::Ok);
    CFileDialogTitle::setNextAnswer(QString::fromStdString(scratch.Path() + "portrait"));
    RunToTheEnd();

    EXPECT_EQ(outcome, RunOutcome::Saved);
    std::vector<Seen> expected;
    for (int step : {0, 1, 2, 3, 4, 5, 6, 9, 10, 11, 12, 13, 14, 15}) {
        expected.push_back({step, true, step});
    }
    expected.push_back({kProgressHide, false, 0});  // before the save dialog
    expected.push_back({16, false, 16});            // saved: full, still hidden
    expected.push_back({kProgressHide, false, 0});
    EXPECT_EQ(seen, expected);

    const auto shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, Shown(kSavedText));
    EXPECT_EQ(shown[0].caption, QStringLiteral("norvo"));
    EXPECT_EQ(shown[0].icon, QMessageBox::NoIcon);
    EXPECT_TRUE(shown[0].details.isEmpty());

    // The name typed without extension reached the writer with ".jpg", as a JPEG file.
    const QString saved = QString::fromStdString(scratch.Path() + "portrait.jpg");
    EXPECT_EQ(QImageReader(saved).format(), QByteArray("jpeg"));
    EXPECT_FALSE(std::filesystem::exists(scratch.Path() + "portrait"));
    ExpectIdleAndClean();
}

TEST_F(GuiRunTest, ALabelledPortraitsCreditsAreInTheSavedMessagesDetails) {
    labelPortrait = true;
    MessageBox::setNextAnswer(QMessageBox::Ok);
    CFileDialogTitle::setNextAnswer(QString::fromStdString(scratch.Path() + "portrait.jpg"));
    RunToTheEnd();
    EXPECT_EQ(outcome, RunOutcome::Saved);
    const auto shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, Shown(kSavedText));
    // No service here knows the pictures: they are credited by their file names.
    EXPECT_EQ(shown[0].details, Shown(std::string(kCreditsHeading) + "\n" +
                                      CreditLineText(kBodyRoleText, kBody, "body.png") + "\n" +
                                      CreditLineText(kFaceRoleText, kFace, "face.png")));
    ExpectIdleAndClean();
}

// While the module holds the connection check, Create is off and the window still works;
// a cancelled save then ends the run with the not-saved warning and Create back on.
TEST_F(GuiRunTest, CreateIsOffWhileTheModuleHoldsARequestAndOnAfterACancelledSave) {
    module.SetBlocking(true);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    CFileDialogTitle::setNextAnswer(std::nullopt);
    QSignalSpy done(&dialog, &CMainDialog::runFinished);
    QTest::mouseClick(Create(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return module.BlockedCount() == 1; }));

    EXPECT_FALSE(Create()->isEnabled());
    EXPECT_TRUE(progress.isVisible());
    EXPECT_EQ(progress.Position(), 0);
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("buttonSwap")), Qt::LeftButton);
    EXPECT_EQ(Edit("editBody")->text(), QString::fromUtf8(kFace));  // names were read already
    EXPECT_FALSE(Create()->isEnabled());

    module.SetBlocking(false);
    ASSERT_TRUE(WaitUntil([&] { return done.count() == 1; }));
    EXPECT_EQ(outcome, RunOutcome::NotSaved);
    const auto shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, Shown(kNotSavedText));
    EXPECT_EQ(shown[0].caption, Shown(kWarningCaptionText));
    EXPECT_EQ(shown[0].icon, QMessageBox::Warning);
    // Nothing was written beside the mask.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch.Path()),
                            std::filesystem::directory_iterator()),
              1);
    ExpectIdleAndClean();
}

struct FailureCase {
    const char* name;
    void (*arrange)(GuiRunTest&);
    std::string text;  // the message
};

// Tests print the case by its name, not as raw bytes.
void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class GuiRunFailureTest : public GuiRunTest, public ::testing::WithParamInterface<FailureCase> {
public:
    static void NoModule(GuiRunTest& t) {
        static_cast<GuiRunFailureTest&>(t).modulePath = "/nonexistent/httpc.so";
    }
    static void Offline(GuiRunTest& t) {
        static_cast<GuiRunFailureTest&>(t).fake.connectionAnswer =
            "SAORI/1.0 200 OK\r\nResult: 0\r\n\r\n";
    }
    static void FaceMissing(GuiRunTest& t) {
        static_cast<GuiRunFailureTest&>(t).fake.downloads.erase("http://p/face.png");
    }
};

// Each failure: one warning box, Create back on, the progress window parked, no files left.
TEST_P(GuiRunFailureTest, EndsWithOneWarningAndCreateBackOn) {
    GetParam().arrange(*this);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    RunToTheEnd();
    EXPECT_EQ(outcome, RunOutcome::Failed);
    const auto shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, Shown(GetParam().text));
    EXPECT_EQ(shown[0].caption, Shown(kWarningCaptionText));
    EXPECT_EQ(shown[0].icon, QMessageBox::Warning);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), (Seen{kProgressHide, false, 0}));
    ExpectIdleAndClean();
}

INSTANTIATE_TEST_SUITE_P(
    Failures, GuiRunFailureTest,
    ::testing::Values(FailureCase{"ModuleMissing", &GuiRunFailureTest::NoModule, kLoadFailedText},
                      FailureCase{"Offline", &GuiRunFailureTest::Offline, kNoInternetText},
                      FailureCase{"FaceDownloadFails", &GuiRunFailureTest::FaceMissing,
                                  DownloadFailedText("http://p/face.png", kFace)}),
    [](const auto& info) { return std::string(info.param.name); });

// Types `path` into the file name and accepts, as the dialog's own Save does. (selectFile
// leaves the name alone while the edit has the focus.)
void Accept(CFileDialogTitle& save, const std::string& path) {
    save.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
        ->setText(QString::fromStdString(path));
    QMetaObject::invokeMethod(&save, "accept");
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Mean absolute difference per channel of two pictures of the same size.
double Difference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row);
            const QRgb q = y.pixel(col, row);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (3.0 * x.width() * x.height());
}

// The bundled photographs with their detector boxes; the real landmark model.
TEST_F(GuiRunTest, ThePreviewsCheckboxChangesWhatIsSavedAndTheChoiceIsKept) {
    if (!std::filesystem::is_regular_file(kDefaultLandmarkModelPath)) {
        GTEST_SKIP() << "no landmark model at " << kDefaultLandmarkModelPath;
    }
    fake.downloads["http://p/body.png"] =
        FileBytes(NORVO_GALLERY_DIR "/Grace Hopper/grace_hopper.jpg");
    fake.downloads["http://p/face.png"] =
        FileBytes(NORVO_GALLERY_DIR "/Eileen Collins/astronaut.png");
    fake.detections["http://p/body.png"] = DetectionXml({{181, 140, 186, 186}});
    fake.detections["http://p/face.png"] = DetectionXml({{181, 79, 92, 92}});
    landmarks = std::make_shared<LandmarkModel>(kDefaultLandmarkModelPath);
    blendSettingsPath = scratch.Path() + "norvo.conf";
    const std::string path = scratch.Path() + "portrait.jpg";

    QImage classicShown;
    QImage naturalShown;
    DriveSaveDialog([&](CFileDialogTitle& save, CPreviewPane& pane) {
        auto* box = pane.findChild<QCheckBox*>(QStringLiteral("checkNatural"));
        auto* picture = pane.findChild<QLabel*>(QStringLiteral("previewPicture"));
        if (classicShown.isNull()) {
            EXPECT_EQ(pane.Shown(), BlendStyle::Classic);
            EXPECT_FALSE(box->isChecked());
            classicShown = picture->pixmap().toImage();
            box->click();
            return false;
        }
        if (pane.Shown() != BlendStyle::Natural) {
            return false;  // still being made
        }
        naturalShown = picture->pixmap().toImage();
        Accept(save, path);
        return true;
    });
    MessageBox::setNextAnswer(QMessageBox::Ok);
    RunToTheEnd();
    ASSERT_EQ(outcome, RunOutcome::Saved);
    ASSERT_FALSE(naturalShown.isNull());
    EXPECT_GT(Difference(classicShown, naturalShown), 1.0);
    const QImage saved =
        QImage(QString::fromStdString(path))
            .scaled(naturalShown.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_LT(Difference(saved, naturalShown), 0.5 * Difference(saved, classicShown));
    EXPECT_EQ(UserSettings(blendSettingsPath).Value(kBlendKey), "natural");
    ExpectIdleAndClean();
}

TEST_F(GuiRunTest, AMissingLandmarkModelIsExplainedInThePreviewAndClassicIsSaved) {
    const std::string missing = scratch.Path() + "no-model.dat";
    landmarks = std::make_shared<LandmarkModel>(missing);
    blendSettingsPath = scratch.Path() + "norvo.conf";
    const std::string path = scratch.Path() + "portrait.jpg";
    QString note;
    bool clicked = false;
    DriveSaveDialog([&](CFileDialogTitle& save, CPreviewPane& pane) {
        auto* box = pane.findChild<QCheckBox*>(QStringLiteral("checkNatural"));
        if (!clicked) {
            box->click();
            clicked = true;
            return false;
        }
        if (pane.IsBusy()) {
            return false;
        }
        EXPECT_FALSE(box->isEnabled());
        EXPECT_FALSE(box->isChecked());
        EXPECT_EQ(pane.Shown(), BlendStyle::Classic);
        note = pane.findChild<QLabel*>(QStringLiteral("previewNote"))->text();
        Accept(save, path);
        return true;
    });
    MessageBox::setNextAnswer(QMessageBox::Ok);
    RunToTheEnd();
    EXPECT_EQ(outcome, RunOutcome::Saved);
    EXPECT_EQ(note.toStdString(), LandmarkModelProblemText(LandmarkModelStatus::Missing, missing));
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
    EXPECT_FALSE(std::filesystem::exists(blendSettingsPath)) << "classic was not a change";
    ExpectIdleAndClean();
}

// The preview's choices through its controls: "next" takes the second body picture, a click on
// its left face leaves that face the body's own; what is saved is what was shown.
TEST_F(GuiRunTest, NextPictureAndAFaceClickedOffChangeWhatIsSaved) {
    fake.searches[Query(kBody)] = SearchAnswer({"http://p/body.png", "http://p/group.png"});
    fake.detections["http://p/group.png"] = DetectionXml({{120, 40, 40, 40}, {20, 40, 40, 40}});
    fake.downloads["http://p/group.png"] = PngBytes(200, 300, Qt::green);
    offerChoices = true;
    const std::string path = scratch.Path() + "portrait.jpg";
    int stage = 0;
    QImage shown;
    DriveSaveDialog([&](CFileDialogTitle& save, CPreviewPane& pane) {
        if (pane.IsBusy()) {
            return false;
        }
        auto* next = pane.findChild<QToolButton*>(QStringLiteral("nextBody"));
        auto* count = pane.findChild<QLabel*>(QStringLiteral("countBody"));
        auto* picture = pane.findChild<QLabel*>(QStringLiteral("previewPicture"));
        switch (stage++) {
            case 0:
                EXPECT_EQ(count->text(), QStringLiteral("1 / 2"));
                next->click();
                return false;
            case 1:
                EXPECT_EQ(count->text(), QStringLiteral("2 / 2"));
                EXPECT_FALSE(next->isEnabled());
                QTest::mouseClick(picture, Qt::LeftButton, {}, pane.FaceRect(0).center());
                return false;
            default:
                shown = picture->pixmap().toImage();
                Accept(save, path);
                return true;
        }
    });
    MessageBox::setNextAnswer(QMessageBox::Ok);
    RunToTheEnd();
    ASSERT_EQ(outcome, RunOutcome::Saved);
    const QImage saved(QString::fromStdString(path));
    ASSERT_EQ(saved.height(), 600);
    const QColor left = saved.pixelColor(80, 120);    // switched off: the body's own green
    const QColor right = saved.pixelColor(280, 120);  // still replaced: the face's red
    EXPECT_GT(left.green(), 100);
    EXPECT_LT(left.red(), 60);
    EXPECT_GT(right.red(), 200);
    EXPECT_LT(right.green(), 60);
    ASSERT_FALSE(shown.isNull());
    EXPECT_GT(QColor(shown.pixel(shown.width() / 2, shown.height() - 5)).green(), 100)
        << "the group picture was on show";
    ExpectIdleAndClean();
}

// Closing the main window while the face picture downloads: the run stops at the next stage
// boundary, unloads the module, removes the body picture, shows nothing, and the dialog
// finishes afterwards.
TEST_F(GuiRunTest, ClosingDuringARunLeavesNoFilesAndNoBoxes) {
    Gate gate;
    module.SetAnswerFn([this, &gate](const std::string& request, const std::string& dir) {
        const auto args = ParseRequest(request);
        if (args.count == 2 && args.arg[0] == "http://p/face.png" && args.arg[1] != "tmpfile.xml") {
            gate.Wait();
        }
        return std::optional<std::string>(fake.Answer(request, dir));
    });
    QSignalSpy finished(&dialog, &QDialog::finished);
    QTest::mouseClick(Create(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return gate.Arrived(); }));
    EXPECT_FALSE(std::filesystem::is_empty(work.Path()));  // the body picture is there

    dialog.close();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(finished.count(), 0);
    gate.Open();
    ASSERT_TRUE(WaitUntil([&] { return finished.count() == 1; }));

    EXPECT_EQ(outcome, RunOutcome::Stopped);
    EXPECT_EQ(module.UnloadCount(), 1u);
    EXPECT_TRUE(MessageBox::takeShown().empty());
    EXPECT_TRUE(std::filesystem::is_empty(work.Path())) << "files left in the work folder";
    EXPECT_FALSE(std::filesystem::exists(scratch.Path() + "portrait.jpg"));
}

#ifdef HTTPC_MODULE_PATH
// The real module waiting on a server that trickles its answer, one byte a second: closing the
// main window ends the request and the run stops quietly. (How soon is bench_stop's to measure;
// the module's own test shows that the cancel, not a limit, ends the request.)
TEST_F(GuiRunTest, ClosingWhileTheServerTricklesItsAnswerStopsAtOnce) {
    test::LoopbackServer server;
    std::atomic<int> searches{0};
    test::ServeTricklingSearch(server, searches);
    server.Bind();
    // Read by the module when the run loads it; set while no run thread exists.
    ::setenv("HTTPC_PROBE_URL", server.Url("").c_str(), 1);
    server.Serve();
    modulePath = HTTPC_MODULE_PATH;
    fake.searchBase = fake.detectBase = server.Url("");

    QSignalSpy finished(&dialog, &QDialog::finished);
    QTest::mouseClick(Create(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return searches > 0; }));
    dialog.close();
    ASSERT_TRUE(WaitUntil([&] { return finished.count() == 1; }));
    EXPECT_EQ(outcome, RunOutcome::Stopped);
    EXPECT_TRUE(MessageBox::takeShown().empty());
    EXPECT_TRUE(std::filesystem::is_empty(work.Path())) << "files left in the work folder";
    ::unsetenv("HTTPC_PROBE_URL");
}
#endif

}  // namespace
}  // namespace norvo
