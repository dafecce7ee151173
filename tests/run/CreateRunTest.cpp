// Whole Create runs through the real host, the scriptable test module and the picture
// library: the exact calls on the view for every way a run can end, and no file left behind.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QColor>
#include <QImage>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <thread>

#include "FakeServices.h"
#include "RecorderView.h"
#include "app/CreateRun.h"
#include "app/PortraitCredits.h"
#include "app/RunTexts.h"
#include "app/TerminalView.h"
#include "saori/SaoriHost.h"
#include "saori/WorkFolder.h"
#include "web/ImageSearch.h"
#include "web/TextEncoding.h"

namespace norvo {
namespace {

using testing::DetectionXml;
using testing::FakeServices;
using testing::ParseRequest;
using testing::RecorderView;
using testing::SearchAnswer;
using testing::TestModule;

// The view's record of a warning box.
std::string Warning(const std::string& text) {
    return "warning " + text;
}

const std::string kLoadFailed = Warning(kLoadFailedText);
const std::string kNoInternet = Warning(kNoInternetText);
const std::string kAnswerBad = Warning(kRequestAnswerBadText);
const std::string kNotEnded = Warning(kRequestNotEndedText);

std::string PngBytes(int width, int height, QColor colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

std::string QueryFor(const FakeServices& fake, const char* name) {
    return BuildSearchAddress(fake.searchBase, name).value_or("");
}

bool IsEmptyFolder(const std::string& folder) {
    return std::filesystem::is_empty(folder);
}

// Records the module's unload count at the moment the save path is asked for.
class SaveCheckingView : public RecorderView {
public:
    explicit SaveCheckingView(TestModule& module) : m_module(module) {}
    std::optional<std::string> AskSavePath() override {
        unloadsAtAsk = m_module.UnloadCount();
        return RecorderView::AskSavePath();
    }
    void ShowMessage(const std::string& text, MessageKind kind) override {
        unloadsAtMessage = m_module.UnloadCount();
        RecorderView::ShowMessage(text, kind);
    }
    void EnableCreate(bool enabled) override {
        if (enabled) {
            unloadsAtEnable = m_module.UnloadCount();
        }
        RecorderView::EnableCreate(enabled);
    }
    size_t unloadsAtAsk = 99;
    size_t unloadsAtMessage = 99;
    size_t unloadsAtEnable = 99;

private:
    TestModule& m_module;
};

// Members are public: the case table's arrange steps reach into the fixture.
class CreateRunTest : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(work.IsValid());
        ASSERT_TRUE(scratch.IsValid());
        maskPath = scratch.Path() + "mask.png";
        FakeServices::Write(maskPath, PngBytes(32, 32, Qt::white));
        fake.searches[QueryFor(fake, "Body")] = SearchAnswer({"http://p/body.png"});
        fake.searches[QueryFor(fake, "Face")] = SearchAnswer({"http://p/face.png"});
        fake.detections["http://p/body.png"] = DetectionXml({{40, 40, 60, 60}});
        fake.detections["http://p/face.png"] = DetectionXml({{10, 10, 30, 30}});
        fake.detections[""] = "<faces></faces>";
        fake.downloads["http://p/body.png"] = PngBytes(200, 300, Qt::blue);
        fake.downloads["http://p/face.png"] = PngBytes(100, 100, Qt::red);
        fake.Attach(module);
        view.savePath = scratch.Path() + "portrait.jpg";
    }

    RunSettings Settings(const std::string& modulePath = NORVO_TEST_MODULE_PATH) const {
        return RunSettings{modulePath, work.Path(), fake.searchBase, fake.detectBase, maskPath};
    }

    RunOutcome Run(const std::string& body = "Body", const std::string& face = "Face") {
        CreateRun run(view, Settings());
        run.Run(body, face);
        return run.LastOutcome();
    }

    std::vector<std::string> DownloadNames() const {
        std::vector<std::string> names;
        for (const auto& r : module.Requests()) {
            const auto a = ParseRequest(r);
            if (a.count == 2 && a.arg[1] != "tmpfile.xml" && a.arg[1] != "source.json" &&
                a.arg[1] != "people.json") {
                names.push_back(a.arg[1]);
            }
        }
        return names;
    }

    TestModule module;
    FakeServices fake;
    WorkFolder work{std::filesystem::temp_directory_path().string()};
    WorkFolder scratch{std::filesystem::temp_directory_path().string()};
    std::string maskPath;
    SaveCheckingView view{module};
};

TEST_F(CreateRunTest, ASuccessfulRunSavesThePortraitAndCleansUp) {
    EXPECT_EQ(Run(), RunOutcome::Saved);
    EXPECT_EQ(view.calls, (std::vector<std::string>{"enable 0",
                                                    "step 0",
                                                    "step 1",
                                                    "step 2",
                                                    "step 3",
                                                    "step 4",
                                                    "step 5",
                                                    "step 6",
                                                    "step 9",
                                                    "step 10",
                                                    "step 11",
                                                    "step 12",
                                                    "step 13",
                                                    "step 14",
                                                    "step 15",
                                                    "hide",
                                                    "front",
                                                    "ask",
                                                    "plain " + std::string(kSavedText),
                                                    "step 16",
                                                    "enable 1",
                                                    "hide"}));
    EXPECT_EQ(module.Loads(), std::vector<std::string>{work.Path()});
    EXPECT_EQ(module.UnloadCount(), 1u);
    EXPECT_EQ(view.unloadsAtAsk, 1u) << "the module is unloaded before the save path is asked";
    EXPECT_TRUE(IsEmptyFolder(work.Path()));

    QImage saved(QString::fromStdString(*view.savePath));
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(saved.height(), 600);
    EXPECT_EQ(saved.width(), 400);
    // The face box (40..100 of 200x300, doubled) is red now; the rest stays blue.
    const QColor inFace = saved.pixelColor(140, 140);
    const QColor outside = saved.pixelColor(20, 500);
    EXPECT_GT(inFace.red(), 200);
    EXPECT_LT(inFace.blue(), 60);
    EXPECT_LT(outside.red(), 60);
    EXPECT_GT(outside.blue(), 200);
}

struct ClosingCase {
    const char* rule;
    std::function<void(CreateRunTest&)> arrange;
    std::vector<std::string> closing;  // the view's calls other than progress steps
    RunOutcome outcome = RunOutcome::Failed;
    size_t unloadsAtMessage = 0;  // 1: the message comes after the module was unloaded
};

TEST_F(CreateRunTest, EveryEndShowsItsMessageInItsClosingOrderAndLeavesNoFile) {
    const std::string searchAnswerBad = Warning(SearchMessageText(kRequestAnswerBadText));
    const std::string searchNotEnded = Warning(SearchMessageText(kRequestNotEndedText));
    const std::vector<ClosingCase> cases = {
        {"connection check: answer too long to hold",
         [](CreateRunTest& t) {
             t.module.PushAnswer("SAORI/1.0 200 OK\r\nResult: 1\r\n\r\n", kMaxSaoriAnswerBytes + 1);
         },
         {"enable 0", "hide", kAnswerBad, "enable 1"}},
        {"connection check: empty answer",
         [](CreateRunTest& t) { t.fake.connectionAnswer = ""; },
         {"enable 0", "hide", kAnswerBad, "enable 1"}},
        {"connection check: status 503",
         [](CreateRunTest& t) { t.fake.connectionAnswer = "SAORI/1.0 503 Busy\r\n\r\n"; },
         {"enable 0", "hide", kNotEnded, "enable 1"}},
        {"connection check: Result 0",
         [](CreateRunTest& t) {
             t.fake.connectionAnswer = "SAORI/1.0 200 OK\r\nResult: 0\r\n\r\n";
         },
         {"enable 0", "hide", kNoInternet, "enable 1"}},
        {"connection check: Result with a trailing space",
         [](CreateRunTest& t) {
             t.fake.connectionAnswer = "SAORI/1.0 200 OK\r\nResult: 1 \r\n\r\n";
         },
         {"enable 0", "hide", kNoInternet, "enable 1"}},
        {"connection check: no Result header",
         [](CreateRunTest& t) { t.fake.connectionAnswer = "SAORI/1.0 204 No Content\r\n\r\n"; },
         {"enable 0", "hide", kNoInternet, "enable 1"}},
        {"body search: no answer block",
         [](CreateRunTest& t) {
             t.module.PushAnswer(t.fake.connectionAnswer);
             t.module.PushNullAnswer();
         },
         {"enable 0", "hide", searchAnswerBad, "enable 1", "hide"}},
        {"body search: status 404 stops before the face search",
         [](CreateRunTest& t) { t.fake.searches.erase(QueryFor(t.fake, "Body")); },
         {"enable 0", "hide", searchNotEnded, "enable 1", "hide"}},
        {"face search: short status line",
         [](CreateRunTest& t) { t.fake.searches[QueryFor(t.fake, "Face")] = "SAORI/1.0\r\n\r\n"; },
         {"enable 0", "hide", searchAnswerBad, "enable 1", "hide"}},
        {"face search: every detection fails",
         [](CreateRunTest& t) {
             t.fake.detections.erase("http://p/face.png");
             t.fake.detections.erase("");
         },
         {"enable 0", "hide", "hide", "hide", "hide", "hide", "hide", "hide", "hide",
          Warning(NoDetectionText("Face")), "enable 1", "hide"}},
        {"body search: no candidate has a face",
         [](CreateRunTest& t) {
             t.fake.detections["http://p/body.png"] = DetectionXml({{5, 5, 0, 0}});
         },
         {"enable 0", "hide", Warning(NoFaceText("Body")), "enable 1", "hide"}},
        {"body download fails",
         [](CreateRunTest& t) { t.fake.downloads.erase("http://p/body.png"); },
         {"enable 0", "hide", Warning(DownloadFailedText("http://p/body.png", "Body")),
          "enable 1"}},
        {"face download fails (the body picture is deleted too)",
         [](CreateRunTest& t) { t.fake.downloads.erase("http://p/face.png"); },
         {"enable 0", "hide", Warning(DownloadFailedText("http://p/face.png", "Face")),
          "enable 1"}},
        {"the body download is no picture",
         [](CreateRunTest& t) { t.fake.downloads["http://p/body.png"] = "<html>not found</html>"; },
         {"enable 0", "hide", Warning(UnreadableText("body.png")), "enable 1", "hide"},
         RunOutcome::Failed,
         1},
        {"the face download is no picture",
         [](CreateRunTest& t) { t.fake.downloads["http://p/face.png"] = ""; },
         {"enable 0", "hide", Warning(UnreadableText("face.png")), "enable 1", "hide"},
         RunOutcome::Failed,
         1},
        {"the mask is missing",
         [](CreateRunTest& t) { std::filesystem::remove(t.maskPath); },
         {"enable 0", "hide", Warning(UnreadableText("mask.png")), "enable 1", "hide"},
         RunOutcome::Failed,
         1},
        {"the portrait cannot be written",
         [](CreateRunTest& t) { t.view.savePath = t.scratch.Path() + "missing/portrait.jpg"; },
         {"enable 0", "hide", "front", "ask", Warning(kWriteFailedText), "enable 1", "hide"},
         RunOutcome::Failed,
         1},
        {"the save is cancelled",
         [](CreateRunTest& t) { t.view.savePath = std::nullopt; },
         {"enable 0", "hide", "front", "ask", Warning(kNotSavedText), "enable 1", "hide"},
         RunOutcome::NotSaved,
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        CreateRunTest::TearDown();
        module.Reset();
        fake = FakeServices{};
        view.calls.clear();
        SetUp();
        c.arrange(*this);
        EXPECT_EQ(Run(), c.outcome);
        EXPECT_EQ(view.Closing(), c.closing);
        EXPECT_EQ(module.UnloadCount(), 1u);
        EXPECT_EQ(view.unloadsAtMessage, c.unloadsAtMessage);
        EXPECT_EQ(view.unloadsAtEnable, 1u) << "the module is unloaded before Create is enabled";
        EXPECT_TRUE(IsEmptyFolder(work.Path()));
    }
}

TEST_F(CreateRunTest, AFailedSearchSendsNoStepAfterItAndSkipsTheFaceSearch) {
    fake.searches.erase(QueryFor(fake, "Body"));
    Run();
    EXPECT_EQ(view.Steps(), (std::vector<int>{0, 1}));
    EXPECT_EQ(module.Requests().size(), 2u);
}

TEST_F(CreateRunTest, ModulesThatCannotServeEndTheRunWithUnloadsOnlyAfterALoad) {
    {
        SCOPED_TRACE("no load export: nothing to unload");
        TestModule noLoad(NORVO_TEST_MODULE_NO_LOAD_PATH);
        CreateRun run(view, Settings(NORVO_TEST_MODULE_NO_LOAD_PATH));
        run.Run("Body", "Face");
        EXPECT_EQ(view.calls, (std::vector<std::string>{"enable 0", "step 0", "hide", kLoadFailed,
                                                        "enable 1"}));
        EXPECT_EQ(noLoad.UnloadCount(), 0u);
    }
    {
        SCOPED_TRACE("no request export: result 1");
        view.calls.clear();
        TestModule noRequest(NORVO_TEST_MODULE_NO_REQUEST_PATH);
        CreateRun run(view, Settings(NORVO_TEST_MODULE_NO_REQUEST_PATH));
        run.Run("Body", "Face");
        EXPECT_EQ(view.calls, (std::vector<std::string>{"enable 0", "step 0", "hide",
                                                        Warning(kRequestFailedText), "enable 1"}));
        EXPECT_EQ(noRequest.UnloadCount(), 1u);
    }
    {
        SCOPED_TRACE("no module file at all");
        view.calls.clear();
        CreateRun run(view, Settings(work.Path() + "httpc.so"));
        run.Run("Body", "Face");
        EXPECT_EQ(view.Closing(),
                  (std::vector<std::string>{"enable 0", "hide", kLoadFailed, "enable 1"}));
    }
    EXPECT_TRUE(IsEmptyFolder(work.Path()));
}

TEST_F(CreateRunTest, TwoAddressesWithOneFileNameKeepBothPictures) {
    fake.searches[QueryFor(fake, "Body")] = SearchAnswer({"http://a/x.png"});
    fake.searches[QueryFor(fake, "Face")] = SearchAnswer({"http://b/x.png"});
    fake.detections["http://a/x.png"] = fake.detections["http://p/body.png"];
    fake.detections["http://b/x.png"] = fake.detections["http://p/face.png"];
    fake.downloads["http://a/x.png"] = fake.downloads["http://p/body.png"];
    fake.downloads["http://b/x.png"] = fake.downloads["http://p/face.png"];
    EXPECT_EQ(Run(), RunOutcome::Saved);
    EXPECT_EQ(DownloadNames(), (std::vector<std::string>{"x.png", "face-x.png"}));
    QImage saved(QString::fromStdString(*view.savePath));
    EXPECT_GT(saved.pixelColor(140, 140).red(), 200) << "the face came from the face picture";
    EXPECT_GT(saved.pixelColor(20, 500).blue(), 200) << "the body came from the body picture";
    EXPECT_TRUE(IsEmptyFolder(work.Path()));
}

TEST_F(CreateRunTest, IdenticalNamesRunTwoSearchesAndTwoDownloads) {
    fake.downloads["http://p/face.png"] = fake.downloads["http://p/body.png"];
    EXPECT_EQ(Run("Face", "Face"), RunOutcome::Saved);
    EXPECT_EQ(DownloadNames(), (std::vector<std::string>{"face.png", "face-face.png"}));
}

TEST_F(CreateRunTest, AStopAtEachStageBoundaryEndsQuietlyWithoutFiles) {
    // The last call seen when the stop is noticed, and the calls up to there.
    const char* boundaries[] = {"step 1", "step 6", "step 13", "step 14", "step 15"};
    for (const char* boundary : boundaries) {
        SCOPED_TRACE(boundary);
        CreateRunTest::TearDown();
        module.Reset();
        view.calls.clear();
        fake.Attach(module);
        view.stopWhen = [boundary](const std::vector<std::string>& calls) {
            return !calls.empty() && calls.back() == boundary;
        };
        EXPECT_EQ(Run(), RunOutcome::Stopped);
        const std::vector<std::string> tail(view.calls.end() - 3, view.calls.end());
        EXPECT_EQ(tail, (std::vector<std::string>{boundary, "hide", "enable 1"}));
        EXPECT_EQ(view.Closing(), (std::vector<std::string>{"enable 0", "hide", "enable 1"}));
        EXPECT_EQ(module.UnloadCount(), 1u);
        EXPECT_TRUE(IsEmptyFolder(work.Path()));
        EXPECT_FALSE(std::filesystem::exists(*view.savePath));
    }
}

// A stop asked from another thread while the module holds a request (the connection check, the
// body search, the first detection): the module is told to cancel, nothing later reaches it,
// and the run ends as stopped without any message.
TEST_F(CreateRunTest, AStopDuringARequestCancelsItAndEndsQuietly) {
    for (size_t held : {0u, 1u, 2u}) {
        SCOPED_TRACE(held);
        module.Reset();
        fake.Attach(module);
        view.calls.clear();
        view.stop.Reset();
        module.SetBlocking(true);
        for (size_t i = 0; i < held; ++i) {
            module.ReleaseOne();
        }
        auto run = std::async(std::launch::async, [this] { return Run(); });
        // Waits for the request to be held; the limit is only there for a hang.
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while ((module.Requests().size() <= held || module.BlockedCount() == 0) &&
               std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ASSERT_EQ(module.BlockedCount(), 1);
        view.stop.Request();
        const bool ended = run.wait_for(std::chrono::seconds(120)) == std::future_status::ready;
        module.SetBlocking(false);  // a run that missed the stop must not hang the suite
        ASSERT_TRUE(ended);
        EXPECT_EQ(run.get(), RunOutcome::Stopped);
        EXPECT_EQ(module.CancelCount(), 1u);
        EXPECT_EQ(module.Requests().size(), held + 1);
        EXPECT_EQ(module.UnloadCount(), 1u);
        for (const std::string& call : view.calls) {
            EXPECT_NE(call.rfind("warning", 0), 0u) << call;
        }
        const std::vector<std::string> tail(view.calls.end() - 2, view.calls.end());
        EXPECT_EQ(tail, (std::vector<std::string>{"hide", "enable 1"}));
        EXPECT_TRUE(IsEmptyFolder(work.Path()));
    }
}

// Everything from the first start-of-scan marker on: the compressed picture data.
std::string ScanData(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t sos = bytes.find("\xFF\xDA");
    return sos == std::string::npos ? std::string() : bytes.substr(sos);
}

TEST_F(CreateRunTest, ALabelledRunCreditsItsPicturesAndKeepsTheClassicPictureData) {
    const auto question = [this](const char* address) {
        return fake.detectBase + "/api/source?url=" + PercentEncode(address);
    };
    // The body's service knows its picture; the face's answers 404, as one without credits.
    fake.sources[question("http://p/body.png")] =
        R"({"provider":"wikimedia","file":"Body.png","author":"Ann","license":"CC BY 4.0",)"
        R"("licenseUrl":"https://l/by","page":"https://w/Body"})";
    ASSERT_EQ(Run(), RunOutcome::Saved);
    const std::string classic = ScanData(*view.savePath);
    ASSERT_FALSE(classic.empty());
    const std::vector<std::string> classicCalls = view.calls;
    for (const std::string& request : module.Requests()) {
        EXPECT_EQ(request.find("/api/source"), std::string::npos) << "asked without labelling";
    }

    view.calls.clear();
    const size_t classicRequests = module.Requests().size();
    RunSettings settings = Settings();
    settings.labelPortrait = true;
    CreateRun run(view, settings);
    run.Run("Body", "Face");
    ASSERT_EQ(run.LastOutcome(), RunOutcome::Saved);
    EXPECT_EQ(view.calls, classicCalls) << "the same steps and the same message";
    EXPECT_EQ(view.details,
              std::string(kCreditsHeading) + "\n" +
                  CreditLineText(kBodyRoleText, "Body",
                                 "Body.png — Ann — CC BY 4.0 (https://l/by) — https://w/Body") +
                  "\n" + CreditLineText(kFaceRoleText, "Face", "face.png"));
    EXPECT_EQ(ScanData(*view.savePath), classic) << "the label leaves the picture data alone";
    EXPECT_TRUE(IsEmptyFolder(work.Path()));
    // The credits are asked for before the downloads, under the detection service.
    std::vector<std::string> order;
    const std::vector<std::string> requests = module.Requests();
    for (size_t i = classicRequests; i < requests.size(); ++i) {
        const std::string address = ParseRequest(requests[i]).arg[0];
        if (address.find("/api/source") != std::string::npos ||
            address.rfind("http://p/", 0) == 0) {
            order.push_back(address);
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{question("http://p/body.png"),
                                               question("http://p/face.png"), "http://p/body.png",
                                               "http://p/face.png"}));

    std::ifstream in(*view.savePath, std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(file.find("A joke portrait made with norvo: Face's face on Body's picture."),
              std::string::npos);
    EXPECT_NE(file.find("digitalsourcetype/composite"), std::string::npos);
}

// ---- the user's choices ----

TEST_F(CreateRunTest, APickedPictureIsTheOneSavedAndFacesLeftOutKeepTheBodysPixels) {
    // The second body picture shows two faces; listed right one first.
    fake.searches[QueryFor(fake, "Body")] =
        SearchAnswer({"http://p/body.png", "http://p/group.png"});
    fake.detections["http://p/group.png"] = DetectionXml({{120, 40, 40, 40}, {20, 40, 40, 40}});
    fake.downloads["http://p/group.png"] = PngBytes(200, 300, Qt::green);
    RunSettings settings = Settings();
    settings.choices.body.pick = 2;
    settings.choices.faces = {2};  // the right-hand face
    CreateRun run(view, settings);
    run.Run("Body", "Face");
    ASSERT_EQ(run.LastOutcome(), RunOutcome::Saved);
    EXPECT_EQ(DownloadNames(), (std::vector<std::string>{"group.png", "face.png"}));

    QImage saved(QString::fromStdString(*view.savePath));
    ASSERT_EQ(saved.height(), 600);
    const QColor left = saved.pixelColor(80, 120);    // face 1, left out: the body's own green
    const QColor right = saved.pixelColor(280, 120);  // face 2, replaced: the face's red
    EXPECT_GT(left.green(), 100);
    EXPECT_LT(left.red(), 60);
    EXPECT_GT(right.red(), 200);
    EXPECT_LT(right.green(), 60);
}

TEST_F(CreateRunTest, AChoiceTheSearchesCannotMeetEndsTheRunWithOneMessageAndNoFile) {
    fake.sources[fake.detectBase + "/api/people?q=" + PercentEncode("Body")] =
        R"({"people":[{"id":"Q1","name":"Body One"},{"id":"Q2","name":"Body Two"}]})";
    const struct {
        const char* rule;
        std::function<void(RunChoices&)> choose;
        std::string message;
    } cases[] = {
        {"a picture beyond the list", [](RunChoices& c) { c.face.pick = 2; },
         ComposeText(kNoSuchPictureText, {"Face", "2", "1"})},
        {"a face beyond the body's",
         [](RunChoices& c) {
             c.faces = {1, 3};
         },
         ComposeText(kNoSuchFaceText, {"3", "1"})},
        {"a person the name does not stand for", [](RunChoices& c) { c.body.person = "Q9"; },
         ComposeText(kNoSuchPersonText, {"Body", "Q9", "Q1, Q2"})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        view.calls.clear();
        const size_t unloads = module.UnloadCount();
        RunSettings settings = Settings();
        c.choose(settings.choices);
        CreateRun run(view, settings);
        run.Run("Body", "Face");
        EXPECT_EQ(run.LastOutcome(), RunOutcome::BadChoice);
        EXPECT_EQ(view.Closing(),
                  (std::vector<std::string>{"enable 0", "hide", Warning(c.message), "enable 1"}));
        EXPECT_EQ(module.UnloadCount(), unloads + 1);
        EXPECT_TRUE(DownloadNames().empty());
        EXPECT_TRUE(IsEmptyFolder(work.Path()));
        EXPECT_FALSE(std::filesystem::exists(*view.savePath));
    }
}

TEST_F(CreateRunTest, AListingRunShowsWhoIsInEachPictureAndDownloadsNothing) {
    fake.sources[fake.detectBase + "/api/people?q=" + PercentEncode("Body")] =
        R"({"people":[{"id":"Q1","name":"Body One","description":"a painter"}]})";
    fake.sources[fake.detectBase + "/api/source?url=" + PercentEncode("http://p/body.png")] =
        R"({"file":"Body.png","person":"Body One","personId":"Q1","description":"a painter"})";
    RunSettings settings = Settings();
    settings.choices.listOnly = true;
    CreateRun run(view, settings);
    run.Run("Body", "Face");
    EXPECT_EQ(run.LastOutcome(), RunOutcome::Listed);
    EXPECT_EQ(view.Closing(),
              (std::vector<std::string>{"enable 0", "hide", "candidates", "enable 1"}));
    ASSERT_TRUE(view.candidates);
    EXPECT_EQ(CandidateLines(*view.candidates),
              (std::vector<std::string>{"本体 人物 Q1: Body One: a painter",
                                        "本体 1: Body.png — 顔1個 — Body One (Q1): a painter *",
                                        "顔 1: face.png — 顔1個 — 不明 *"}));
    for (const std::string& request : module.Requests()) {
        EXPECT_NE(ParseRequest(request).arg[0].rfind("http://p/", 0), 0u) << "downloaded";
    }
    EXPECT_TRUE(IsEmptyFolder(work.Path()));
}

TEST_F(CreateRunTest, APinnedPersonKeepsTheSearchToThemAndARunWithoutChoicesAsksNoMore) {
    ASSERT_EQ(Run(), RunOutcome::Saved);
    const std::vector<std::string> plain = module.Requests();
    for (const std::string& request : plain) {
        EXPECT_EQ(request.find("/api/people"), std::string::npos);
    }

    // A service that cannot tell whom a name stands for still gets the pinned search.
    fake.searches[BuildSearchAddress(fake.searchBase, "Body", "Q 1").value()] =
        SearchAnswer({"http://p/body.png"});
    RunSettings settings = Settings();
    settings.choices.body.person = "Q 1";
    CreateRun run(view, settings);
    run.Run("Body", "Face");
    EXPECT_EQ(run.LastOutcome(), RunOutcome::Saved);
    std::vector<std::string> searches;
    for (size_t i = plain.size(); i < module.Requests().size(); ++i) {
        const auto args = ParseRequest(module.Requests()[i]);
        if (args.count == 3) {
            searches.push_back(args.arg[0]);
        }
    }
    EXPECT_EQ(searches.size(), 2u);
    EXPECT_EQ(searches.at(0), QueryFor(fake, "Body") + "&person=%51%20%31");
}

// In the save step: another body picture, one of its faces left out, another person for the
// face; the portrait saved, its credits and the work folder follow what was chosen last.
TEST_F(CreateRunTest, ChoicesInTheSaveStepAreWhatIsSavedAndCreditedAndLeaveNoFile) {
    fake.searches[QueryFor(fake, "Body")] =
        SearchAnswer({"http://p/body.png", "http://p/group.png"});
    fake.detections["http://p/group.png"] = DetectionXml({{120, 40, 40, 40}, {20, 40, 40, 40}});
    fake.downloads["http://p/group.png"] = PngBytes(200, 300, Qt::green);
    fake.sources[fake.detectBase + "/api/people?q=" + PercentEncode("Face")] =
        R"({"people":[{"id":"Q1","name":"Face One"},{"id":"Q2","name":"Face Two"}]})";
    fake.searches[BuildSearchAddress(fake.searchBase, "Face", "Q2").value()] =
        SearchAnswer({"http://p/other.png"});
    fake.detections["http://p/other.png"] = DetectionXml({{10, 10, 30, 30}});
    fake.downloads["http://p/other.png"] = PngBytes(100, 100, Qt::yellow);
    fake.sources[fake.detectBase + "/api/source?url=" + PercentEncode("http://p/other.png")] =
        R"({"file":"Other.png","person":"Face Two","personId":"Q2"})";
    view.choose = [](PortraitPreview& portrait) {
        CandidateChoices* choices = portrait.Choices();
        ASSERT_NE(choices, nullptr);
        EXPECT_EQ(choices->Side(RunSide::Face).people.size(), 2u);
        EXPECT_FALSE(choices->Downloaded(RunSide::Body, 1));
        EXPECT_FALSE(choices->ChoosePicture(RunSide::Body, 2)) << "beyond the list";
        ASSERT_TRUE(choices->ChoosePicture(RunSide::Body, 1));
        ASSERT_EQ(choices->FacesOn(), (std::vector<bool>{true, true}));
        EXPECT_TRUE(choices->ToggleFace(0));
        EXPECT_FALSE(choices->ToggleFace(1)) << "the last face on stays on";
        EXPECT_EQ(choices->Problem(), kLastFaceText);
        ASSERT_TRUE(choices->ChoosePerson(RunSide::Face, "Q2")) << choices->Problem();
        EXPECT_EQ(choices->Side(RunSide::Face).people.size(), 2u) << "the people stay offered";
        // A picture downloaded once comes back without asking again.
        ASSERT_TRUE(choices->ChoosePicture(RunSide::Body, 0));
        EXPECT_TRUE(choices->Downloaded(RunSide::Body, 1));
        ASSERT_TRUE(choices->ChoosePicture(RunSide::Body, 1));
        EXPECT_EQ(choices->FacesOn(), (std::vector<bool>{true, true})) << "a new body: all on";
        EXPECT_TRUE(choices->ToggleFace(0));
    };
    RunSettings settings = Settings();
    settings.offerChoices = true;
    settings.labelPortrait = true;
    CreateRun run(view, settings);
    run.Run("Body", "Face");
    ASSERT_EQ(run.LastOutcome(), RunOutcome::Saved);

    QImage saved(QString::fromStdString(*view.savePath));
    ASSERT_EQ(saved.height(), 600);
    const QColor left = saved.pixelColor(80, 120);    // left out: the group's own green
    const QColor right = saved.pixelColor(280, 120);  // replaced by the other person's yellow
    EXPECT_GT(left.green(), 100);
    EXPECT_LT(left.red(), 60);
    EXPECT_GT(right.red(), 200);
    EXPECT_GT(right.green(), 200);
    EXPECT_NE(view.details.find(CreditLineText(kFaceRoleText, "Face", "Other.png")),
              std::string::npos)
        << view.details;
    EXPECT_NE(view.details.find(CreditLineText(kBodyRoleText, "Body", "group.png")),
              std::string::npos)
        << view.details;
    size_t groupDownloads = 0;
    for (const std::string& request : module.Requests()) {
        groupDownloads += ParseRequest(request).arg[0] == "http://p/group.png";
    }
    EXPECT_EQ(groupDownloads, 1u);
    EXPECT_EQ(module.Loads().size(), module.UnloadCount());
    EXPECT_TRUE(IsEmptyFolder(work.Path()));
}

}  // namespace
}  // namespace norvo
