// Starting and stopping the bundled service on Windows, with a small program standing in for it
// (GalleryStandInWin.cpp): the arguments it gets, the address it must print, and the job object
// that ends it with the program, also when the program is killed.

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/EmbeddedGallery.h"
#include "base/WideText.h"
#include "tests/support/PosixCompat.h"

namespace norvo {
namespace {

namespace fs = std::filesystem;

class EmbeddedGalleryWinTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                (L"norvo gallery テスト " + std::to_wstring(GetCurrentProcessId()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_pids = m_dir / L"pids";
        _wputenv_s(L"NORVO_STANDIN_PIDS", m_pids.c_str());
    }
    void TearDown() override {
        _wputenv_s(L"NORVO_STANDIN_PIDS", L"");
        _wputenv_s(L"NORVO_STANDIN_ARGS", L"");
        unsetenv("NORVO_STANDIN");
        // A stand-in that is still running keeps its folder: nothing to check then.
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }

    // The process ids the stand-in services noted, in order.
    std::vector<DWORD> StandInIds() const {
        std::vector<DWORD> ids;
        std::ifstream in(m_pids);
        for (DWORD id = 0; in >> id;) {
            ids.push_back(id);
        }
        return ids;
    }

    // How the process ended: 0 by itself, 1 ended by the job; -1 while it runs.
    static long ExitCode(HANDLE process) {
        DWORD code = STILL_ACTIVE;
        return GetExitCodeProcess(process, &code) && code != STILL_ACTIVE ? long(code) : -1;
    }
    static HANDLE Open(DWORD processId) {
        return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    }

    static bool Ends(DWORD processId, DWORD withinMs) {
        const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
        if (process == nullptr) {
            return true;  // gone already
        }
        const bool ended = WaitForSingleObject(process, withinMs) == WAIT_OBJECT_0;
        CloseHandle(process);
        return ended;
    }

    fs::path m_dir;
    fs::path m_pids;
};

TEST_F(EmbeddedGalleryWinTest, PassesItsArgumentsReadsTheAddressAndStopsTheService) {
    setenv("NORVO_STANDIN", "obey", 1);
    const fs::path args = m_dir / L"args";
    _wputenv_s(L"NORVO_STANDIN_ARGS", args.c_str());
    // A folder with blanks, quotes and Japanese letters reaches the service as one argument.
    const std::string pictures = "C:\\写真 の \"folder\"\\";
    EmbeddedGallery gallery;
    gallery.SetSources("gallery,wikimedia");
    ASSERT_EQ(gallery.Start(NORVO_STANDIN_PATH, pictures), EmbeddedGallery::Status::Ok);
    EXPECT_TRUE(gallery.IsRunning());
    EXPECT_EQ(gallery.Address(), "http://127.0.0.1:4321");
    std::vector<std::string> received;
    std::ifstream in(args, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        received.push_back(line);
    }
    EXPECT_EQ(received,
              (std::vector<std::string>{"--pictures", pictures, "--listen", "127.0.0.1:0",
                                        "--watch-stdin", "--sources", "gallery,wikimedia"}));
    const std::vector<DWORD> ids = StandInIds();
    ASSERT_EQ(ids.size(), 1u);
    // Closing its input ends an obedient service by itself: the job is not needed.
    const HANDLE service = Open(ids[0]);
    ASSERT_NE(service, nullptr);
    gallery.Stop();
    EXPECT_EQ(ExitCode(service), 0);
    CloseHandle(service);
    EXPECT_FALSE(gallery.IsRunning());
    EXPECT_EQ(gallery.Address(), "");
}

TEST_F(EmbeddedGalleryWinTest, StopEndsAServiceThatIgnoresItsInput) {
    setenv("NORVO_STANDIN", "deaf", 1);
    EmbeddedGallery gallery;
    ASSERT_EQ(gallery.Start(NORVO_STANDIN_PATH, "pics"), EmbeddedGallery::Status::Ok);
    const std::vector<DWORD> ids = StandInIds();
    ASSERT_EQ(ids.size(), 1u);
    const HANDLE service = Open(ids[0]);
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(ExitCode(service), -1);
    gallery.Stop();
    EXPECT_EQ(ExitCode(service), 1);
    CloseHandle(service);
}

TEST_F(EmbeddedGalleryWinTest, TheServiceEndsWhenItsStarterIsKilled) {
    // The starter runs the stand-in as a deaf service, which ignores its input closing: only
    // the job object can end it once the starter is gone.
    setenv("NORVO_STANDIN", "starter", 1);
    const std::wstring program = win::ToWide(NORVO_STANDIN_PATH);
    std::wstring commandLine = L"\"" + program + L"\"";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr;
    ASSERT_TRUE(CreatePipe(&outRead, &outWrite, &inherit, 0));
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outWrite;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION starter{};
    ASSERT_TRUE(CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                               nullptr, nullptr, &startup, &starter));
    CloseHandle(outWrite);
    CloseHandle(starter.hThread);
    char said[16] = {};
    DWORD n = 0;
    ASSERT_TRUE(ReadFile(outRead, said, sizeof said - 1, &n, nullptr));
    EXPECT_EQ(std::string(said).substr(0, 7), "started");
    const std::vector<DWORD> ids = StandInIds();
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_FALSE(Ends(ids[0], 200)) << "the service runs while its starter does";

    TerminateProcess(starter.hProcess, 9);  // no destructor, no clean-up: as if killed
    WaitForSingleObject(starter.hProcess, INFINITE);
    CloseHandle(starter.hProcess);
    CloseHandle(outRead);
    EXPECT_TRUE(Ends(ids[0], 10000)) << "the service outlived its killed starter";
}

TEST_F(EmbeddedGalleryWinTest, RefusesServicesThatDoNotAnswerProperly) {
    const struct {
        const char* mode;
        EmbeddedGallery::Status status;
    } cases[] = {
        {"silent", EmbeddedGallery::Status::NoAddress},
        {"garbage", EmbeddedGallery::Status::NoAddress},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        setenv("NORVO_STANDIN", c.mode, 1);
        fs::remove(m_pids);
        EmbeddedGallery gallery;
        EXPECT_EQ(gallery.Start(NORVO_STANDIN_PATH, "pics", 300), c.status);
        EXPECT_FALSE(gallery.IsRunning());
        // Nothing is left running after a refusal.
        for (const DWORD id : StandInIds()) {
            EXPECT_TRUE(Ends(id, 0));
        }
    }
    EmbeddedGallery gallery;
    EXPECT_EQ(gallery.Start(win::FromWide((m_dir / L"missing.exe").wstring()), "pics"),
              EmbeddedGallery::Status::NoProgram);
    EXPECT_EQ(gallery.Start(win::FromWide(m_dir.wstring()), "pics"),
              EmbeddedGallery::Status::NoProgram);
}

}  // namespace
}  // namespace norvo
