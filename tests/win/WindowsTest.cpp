// The Windows windows driven in-process: the main dialog by its control ids, the real run on its
// thread with the scriptable test module and the fake services, the progress window on its
// thread, the standard save dialog with the preview and the message boxes answered by a driver
// thread that finds them by title, as a user's clicks would reach them.

#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "FakeServices.h"
#include "TestModuleControl.h"
#include "app/CreateRun.h"
#include "app/RunTexts.h"
#include "app/gui/WindowTexts.h"
#include "app/win/MainWindow.h"
#include "app/win/ProgressWindow.h"
#include "app/win/WinMessageBox.h"
#include "app/win/resource.h"
#include "base/Utf8Path.h"
#include "base/WideText.h"
#include "imaging/Picture.h"
#include "saori/WorkFolder.h"
#include "text/UserText.h"
#include "web/ImageSearch.h"

namespace norvo::win {
namespace {

using testing::DetectionXml;
using testing::FakeServices;
using testing::SearchAnswer;
using testing::TestModule;
using Clock = std::chrono::steady_clock;

constexpr auto kWaitLimit = std::chrono::seconds(30);

// PNG bytes of a picture of one colour (0xRRGGBB).
std::string PngBytes(int width, int height, uint32_t colour, const std::string& folder) {
    OwnedPicture picture(CreatePicture(width, height));
    const PictureDescription* description = DescribePicture(picture.get());
    for (int y = 0; y < height; ++y) {
        uint8_t* row = description->bits + y * PictureStride(width);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = colour & 0xff;
            row[3 * x + 1] = (colour >> 8) & 0xff;
            row[3 * x + 2] = (colour >> 16) & 0xff;
        }
    }
    const std::string path = folder + "picture.png";
    SavePicturePng(path, picture.get());
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::wstring Text(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), int(text.size()))));
    return text;
}

// A top-level dialog of this process titled `title`, waited for; nullptr after the limit.
HWND WaitForDialog(const std::wstring& title) {
    const auto end = Clock::now() + kWaitLimit;
    while (Clock::now() < end) {
        if (HWND window = FindWindowW(L"#32770", title.c_str());
            window && IsWindowVisible(window)) {
            return window;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return nullptr;
}

bool WaitFor(const std::function<bool()>& done) {
    const auto end = Clock::now() + kWaitLimit;
    while (!done()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Pumps this thread's messages, as the program's loop does, until `done` or the limit.
bool PumpUntil(const std::function<bool()>& done) {
    const auto end = Clock::now() + kWaitLimit;
    while (!done()) {
        if (Clock::now() > end) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchWindowMessage(msg);
        }
    }
    return true;
}

// Pumps this thread's messages for `time`.
void PumpFor(std::chrono::milliseconds time) {
    const auto end = Clock::now() + time;
    PumpUntil([end] { return Clock::now() > end; });
}

// What a driver saw of a message box, then answered with OK.
struct SeenBox {
    std::wstring caption;
    std::wstring text;
};

SeenBox AnswerMessageBox(const std::wstring& caption) {
    SeenBox seen;
    if (HWND box = WaitForDialog(caption)) {
        seen.caption = caption;
        seen.text = Text(GetDlgItem(box, 0xFFFF));  // the message's static
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    return seen;
}

class WinWindows : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(work.IsValid());
        ASSERT_TRUE(scratch.IsValid());
        maskPath = scratch.Path() + "mask.png";
        FakeServices::Write(maskPath, PngBytes(32, 32, 0xffffff, scratch.Path()));
        fake.searches[Query("Body")] = SearchAnswer({"http://p/body.png"});
        fake.searches[Query("Face")] = SearchAnswer({"http://p/face.png"});
        fake.detections["http://p/body.png"] = DetectionXml({{40, 40, 60, 60}});
        fake.detections["http://p/face.png"] = DetectionXml({{10, 10, 30, 30}});
        fake.detections[""] = "<faces></faces>";
        fake.downloads["http://p/body.png"] = PngBytes(200, 300, 0x0000ff, scratch.Path());
        fake.downloads["http://p/face.png"] = PngBytes(100, 100, 0xff0000, scratch.Path());
        fake.Attach(module);
        ASSERT_TRUE(progress.Start(GetModuleHandleW(nullptr)));
        ASSERT_TRUE(window.Create(GetModuleHandleW(nullptr)));
        window.SetRunEndedCallback([this] { ++runsEnded; });
        window.SetRunJob([this](RunView& view, const std::string& body, const std::string& face) {
            RunSettings settings;
            settings.modulePath = modulePath;
            settings.workFolder = work.Path();
            settings.searchBase = fake.searchBase;
            settings.detectBase = fake.detectBase;
            settings.maskPath = maskPath;
            settings.offerChoices = offerChoices;
            CreateRun run(view, settings);
            run.Run(body, face);
            outcome = run.LastOutcome();
        });
    }
    void TearDown() override {
        if (driver.joinable()) {
            driver.join();
        }
    }

    std::string Query(const char* name) const {
        return BuildSearchAddress(fake.searchBase, name).value_or("");
    }
    HWND Control(int id) const { return GetDlgItem(window.Handle(), id); }
    void Type(const std::wstring& body, const std::wstring& face) {
        SetWindowTextW(Control(IDC_EDIT_BODY), body.c_str());
        SetWindowTextW(Control(IDC_EDIT_FACE), face.c_str());
    }
    // Presses Create and pumps until the run thread has ended.
    void RunToTheEnd() {
        const int before = runsEnded;
        SendMessageW(Control(IDC_CREATE), BM_CLICK, 0, 0);
        ASSERT_TRUE(PumpUntil([&] { return runsEnded > before; })) << "the run did not end";
    }

    TestModule module;
    FakeServices fake;
    WorkFolder work{Utf8Of(std::filesystem::temp_directory_path())};
    WorkFolder scratch{Utf8Of(std::filesystem::temp_directory_path())};
    std::string modulePath = NORVO_TEST_MODULE_PATH;
    std::string maskPath;
    bool offerChoices = false;
    ProgressThread progress;
    MainWindow window;
    std::atomic<int> runsEnded{0};
    RunOutcome outcome = RunOutcome::NotRun;
    std::thread driver;
};

TEST_F(WinWindows, TheMainDialogIsTitledSwapsTheNamesAndIgnoresReturnAndEscape) {
    wchar_t className[16] = {};
    GetClassNameW(window.Handle(), className, 16);
    EXPECT_STREQ(className, L"#32770");
    EXPECT_EQ(Text(window.Handle()), ToWide(UserText(kMainTitleText)));
    EXPECT_EQ(FindMainWindow(), window.Handle());

    Type(L"山田 花子", L"");
    SendMessageW(Control(IDC_SWAP), BM_CLICK, 0, 0);
    EXPECT_EQ(Text(Control(IDC_EDIT_BODY)), L"");
    EXPECT_EQ(Text(Control(IDC_EDIT_FACE)), L"山田 花子");

    // Return and Escape on the focused edit: the window stays, and no run starts.
    bool ran = false;
    window.SetRunJob([&ran](RunView&, const std::string&, const std::string&) { ran = true; });
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        PostMessageW(Control(IDC_EDIT_BODY), WM_KEYDOWN, key, 0);
    }
    PumpFor(std::chrono::milliseconds(300));
    EXPECT_TRUE(IsWindow(window.Handle()) && IsWindowVisible(window.Handle()));
    EXPECT_FALSE(ran);
}

TEST_F(WinWindows, TheProgressWindowIsParkedShowsItsStepsOnTheMainWindowAndHides) {
    HWND bar = GetDlgItem(progress.Window(), IDC_PROGRESS_BAR);
    RECT parked{};
    GetWindowRect(progress.Window(), &parked);
    EXPECT_EQ(parked.left, kParkX);
    EXPECT_EQ(parked.top, kParkY) << "out of sight above the screen";
    EXPECT_TRUE(GetWindowLongPtrW(progress.Window(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);

    SendProgressStepTo(kProgressStarted + 3);
    EXPECT_TRUE(IsWindowVisible(progress.Window()));
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 3);
    RECT main{};
    RECT shown{};
    GetWindowRect(window.Handle(), &main);
    GetWindowRect(progress.Window(), &shown);
    EXPECT_EQ(shown.left, (main.left + main.right - kCentringWidth) / 2);
    EXPECT_EQ(shown.top, (main.top + main.bottom - kCentringHeight) / 2);
    EXPECT_TRUE(GetWindowLongPtrW(progress.Window(), GWL_EXSTYLE) & WS_EX_TOPMOST);

    for (int ignored : {-1, 17, 300}) {
        SendProgressStepTo(ignored);
        EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 3) << ignored;
        EXPECT_TRUE(IsWindowVisible(progress.Window())) << ignored;
    }
    SendProgressStepTo(kProgressHide);
    EXPECT_FALSE(IsWindowVisible(progress.Window()));
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
    GetWindowRect(progress.Window(), &parked);
    EXPECT_EQ(parked.top, kParkY);
}

// Create, "next picture" in the preview, the name typed into the save dialog, the saved
// message answered: the second body picture is what was saved.
TEST_F(WinWindows, ARunSavesWhatThePreviewShowsWhereTheSaveDialogSays) {
    fake.searches[Query("Body")] = SearchAnswer({"http://p/body.png", "http://p/group.png"});
    fake.detections["http://p/group.png"] = DetectionXml({{20, 40, 40, 40}});
    fake.downloads["http://p/group.png"] = PngBytes(200, 300, 0x00ff00, scratch.Path());
    offerChoices = true;
    const std::string path = scratch.Path() + "portrait";
    std::wstring countBefore;
    std::wstring countAfter;
    SeenBox saved;
    driver = std::thread([&] {
        HWND save = WaitForDialog(ToWide(UserText(kSaveDialogTitleText)));
        ASSERT_NE(save, nullptr) << "no save dialog";
        HWND preview = nullptr;
        ASSERT_TRUE(WaitFor([&] {
            preview = FindWindowExW(save, nullptr, L"#32770", nullptr);
            return preview && GetDlgItem(preview, IDC_PREVIEW_PICTURE);
        }));
        countBefore = Text(GetDlgItem(preview, IDC_BODY_COUNT));
        SendMessageW(GetDlgItem(preview, IDC_BODY_NEXT), BM_CLICK, 0, 0);
        WaitFor([&] {
            countAfter = Text(GetDlgItem(preview, IDC_BODY_COUNT));
            return countAfter == L"2 / 2";
        });
        // Typed as a user would, with Windows' separators.
        std::wstring typed = ToWide(path);
        std::replace(typed.begin(), typed.end(), L'/', L'\\');
        SendMessageW(save, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>(typed.c_str()));
        PostMessageW(save, WM_COMMAND, IDOK, 0);
        saved = AnswerMessageBox(MessageCaption(MessageKind::Plain));
    });
    Type(L"Body", L"Face");
    RunToTheEnd();
    driver.join();

    EXPECT_EQ(outcome, RunOutcome::Saved);
    EXPECT_EQ(countBefore, L"1 / 2");
    EXPECT_EQ(countAfter, L"2 / 2");
    EXPECT_EQ(saved.text, ToWide(UserText(kSavedText)));
    // ".jpg" was added to the name typed without it.
    OwnedPicture portrait(LoadPicture(path + ".jpg"));
    ASSERT_TRUE(portrait);
    const uint32_t corner = ReadPicturePixel(portrait.get(), 5, 5);
    EXPECT_GT((corner >> 8) & 0xff, 200u) << "the green second picture";
    EXPECT_LT(corner & 0xff, 60u) << "no red";
    EXPECT_TRUE(IsWindowEnabled(Control(IDC_CREATE)));
    EXPECT_FALSE(IsWindowVisible(progress.Window()));
    EXPECT_TRUE(std::filesystem::is_empty(PathFromUtf8(work.Path())));
}

TEST_F(WinWindows, AFailedRunShowsOneWarningAndEnablesCreateAgain) {
    modulePath = scratch.Path() + "missing.dll";
    SeenBox warning;
    driver = std::thread([&] { warning = AnswerMessageBox(MessageCaption(MessageKind::Warning)); });
    Type(L"Body", L"Face");
    RunToTheEnd();
    driver.join();
    EXPECT_EQ(outcome, RunOutcome::Failed);
    EXPECT_EQ(warning.text, ToWide(UserText(kLoadFailedText)));
    EXPECT_TRUE(IsWindowEnabled(Control(IDC_CREATE)));
    EXPECT_FALSE(IsWindowVisible(progress.Window()));
}

}  // namespace
}  // namespace norvo::win
