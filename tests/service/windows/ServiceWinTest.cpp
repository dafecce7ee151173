// What the lookup service does on Windows alone: where its cache lies, entries in folders named
// in any script and beside other programs' handles, the name key, path segments Windows reads
// differently, and norvo-gallery.exe started the way a program starts it.
#include <windows.h>

#include <gtest/gtest.h>
#include <httplib.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/Utf8Path.h"
#include "base/WideText.h"
#include "services/gallery/store/DiskCache.h"
#include "services/gallery/store/GalleryIndex.h"
#include "services/gallery/wire/PicturePaths.h"
#include "services/gallery/wire/ServiceText.h"
#include "services/gallery/wire/WikimediaQueries.h"
#include "tests/service/TestFiles.h"
#include "tests/support/WinProcess.h"

namespace norvo {
namespace {

namespace fs = std::filesystem;

// 山田 太郎, ノルヴォ, 𠮷田 (outside the 16-bit range).
constexpr const char* kYamada = "\xE5\xB1\xB1\xE7\x94\xB0 \xE5\xA4\xAA\xE9\x83\x8E";
constexpr const char* kNorvo = "\xE3\x83\x8E\xE3\x83\xAB\xE3\x83\xB4\xE3\x82\xA9";
constexpr const char* kYoshida = "\xF0\xA0\xAE\xB7\xE7\x94\xB0";

std::size_t FilesIn(const fs::path& folder) {
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(folder)) n += e.is_regular_file() ? 1 : 0;
    return n;
}

TEST(CacheFolderWin, IsNorvoCacheInTheUsersLocalNotRoamingAppData) {
    const wchar_t* variable = _wgetenv(L"LOCALAPPDATA");
    ASSERT_NE(variable, nullptr);
    const std::wstring local = variable;
    EXPECT_EQ(DiskCache::DefaultFolder(), fs::path(local) / L"norvo" / L"cache");
    // The variable is not what is read: a changed one leaves the folder where Windows keeps it.
    _wputenv_s(L"LOCALAPPDATA", L"C:\\elsewhere");
    EXPECT_EQ(DiskCache::DefaultFolder(), fs::path(local) / L"norvo" / L"cache");
    _wputenv_s(L"LOCALAPPDATA", local.c_str());
}

TEST(DiskCacheWin, KeepsAndReplacesEntriesInFoldersNamedInAnyScript) {
    test::TempFolder root;
    const fs::path dir = root.Path() / PathFromUtf8(kNorvo) / PathFromUtf8(kYoshida);
    {
        DiskCache cache(dir);
        ASSERT_TRUE(cache.Usable());
        EXPECT_TRUE(cache.Put("api", kYamada, "first"));
        EXPECT_TRUE(cache.Put("api", kYamada, "second"));
    }
    DiskCache cache(dir);
    EXPECT_EQ(cache.Get("api", kYamada), "second");
    EXPECT_EQ(FilesIn(dir / "api"), 1u);  // replaced in place, no temporary file left
    EXPECT_EQ(cache.StoredBytes(), fs::file_size(dir / "api" / DiskCache::Hash(kYamada)));
}

TEST(DiskCacheWin, AnEntryAnotherProgramHoldsStaysAsItWasAndLeavesNoTemporaryFile) {
    test::TempFolder root;
    DiskCache cache(root.Path());
    ASSERT_TRUE(cache.Put("api", "k", "old"));
    const fs::path entry = root.Path() / "api" / DiskCache::Hash("k");
    // Opened the way most programs open a file to look at it: no one may delete or rename it.
    const HANDLE held = CreateFileW(entry.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(cache.Put("api", "k", "new"));
    EXPECT_EQ(cache.Get("api", "k"), "old");
    EXPECT_EQ(FilesIn(root.Path() / "api"), 1u);
    CloseHandle(held);
    EXPECT_TRUE(cache.Put("api", "k", "new"));
    EXPECT_EQ(cache.Get("api", "k"), "new");
}

TEST(NameKeyWin, SpellingsMeetAsTheyDoOnLinux) {
    const auto key = [](const char* name) { return GalleryIndex::NormalizeName(name); };
    // ΣΩΚΡΆΤΗΣ and Σωκράτης: capital sigma, final sigma and sigma meet.
    EXPECT_EQ(key("\xCE\xA3\xCE\xA9\xCE\x9A\xCE\xA1\xCE\x86\xCE\xA4\xCE\x97\xCE\xA3"),
              key("\xCE\xA3\xCF\x89\xCE\xBA\xCF\x81\xCE\xAC\xCF\x84\xCE\xB7\xCF\x82"));
    EXPECT_EQ(key(" \xE3\x80\x80Grace\t\xEF\xBC\xA8opper\xE2\x80\xA8"), "grace hopper");
    EXPECT_EQ(key(kYoshida), kYoshida);
    // A byte that is no UTF-8 becomes U+FFFD, as Qt reads it on Linux.
    EXPECT_EQ(key("A\xFF"), "a\xEF\xBF\xBD");
    EXPECT_EQ(key(""), "");
    EXPECT_EQ(key(" \t\xE3\x80\x80"), "");
}

TEST(LocaleLanguageWin, TheVariablesFirstThenTheUsersLanguage) {
    const auto saved = [](const wchar_t* name) {
        const wchar_t* value = _wgetenv(name);
        return std::wstring(value ? value : L"");
    };
    const std::wstring lang = saved(L"LANG"), all = saved(L"LC_ALL"),
                       messages = saved(L"LC_MESSAGES");
    _wputenv_s(L"LC_ALL", L"");
    _wputenv_s(L"LC_MESSAGES", L"");
    _wputenv_s(L"LANG", L"de_DE.UTF-8");
    EXPECT_EQ(wikimedia::LocaleLanguage(), "de");
    _wputenv_s(L"LANG", L"C");
    EXPECT_EQ(wikimedia::LocaleLanguage(), "");
    // None set, as on most Windows systems: the user's own language (Wine gives en-US where
    // the Linux side has no such locale generated).
    _wputenv_s(L"LANG", L"");
    wchar_t user[LOCALE_NAME_MAX_LENGTH] = {};
    ASSERT_GT(GetUserDefaultLocaleName(user, LOCALE_NAME_MAX_LENGTH), 0);
    const std::string expected = win::FromWide(user).substr(0, 2);
    EXPECT_EQ(wikimedia::LocaleLanguage(), expected);
    EXPECT_EQ(expected.size(), 2u);
    _wputenv_s(L"LANG", lang.c_str());
    _wputenv_s(L"LC_ALL", all.c_str());
    _wputenv_s(L"LC_MESSAGES", messages.c_str());
}

TEST(PicturePathsWin, SegmentsWindowsReadsAsSeparatorsDrivesOrStreamsAreRefused) {
    test::TempFolder dir;
    const fs::path root = dir.Path() / "gallery";
    test::WriteBytes(root / "Grace Hopper" / "a.jpg", "x");
    test::WriteBytes(root / PathFromUtf8(kYamada) / "b.jpg", "x");
    test::WriteBytes(dir.Path() / "outside.jpg", "x");
    fs::path file;
    EXPECT_EQ(ResolvePicturePath(root, "Grace%20Hopper/a.jpg", file), PathStatus::Ok);
    EXPECT_EQ(ResolvePicturePath(root, ServiceText::EncodePathSegment(kYamada) + "/b.jpg", file),
              PathStatus::Ok);
    EXPECT_EQ(file, fs::canonical(root / PathFromUtf8(kYamada) / "b.jpg"));
    // Dot segments as everywhere (the links of the shared test are beyond Wine), then what only
    // Windows reads as a way out.
    for (const char* path :
         {"..", "../outside.jpg", "%2e%2e/outside.jpg", "Grace%20Hopper/../../outside.jpg",
          "/windows/win.ini", "Grace%20Hopper%5C..%5C..%5Coutside.jpg", "..%5Coutside.jpg",
          "Grace%20Hopper/a.jpg:Zone.Identifier", "C:%5Cwindows%5Cwin.ini", "C:outside.jpg",
          "%5C%5Cserver%5Cshare%5Cx.jpg"}) {
        EXPECT_EQ(ResolvePicturePath(root, path, file), PathStatus::Outside) << path;
    }
}

// norvo-gallery.exe with pipes on its standard input and output and no console, ended when the
// object goes.
class GalleryExe {
public:
    explicit GalleryExe(const std::vector<std::string>& args) {
        std::wstring line = testing::QuoteArgument(fs::path(NORVO_GALLERY_BIN).wstring());
        for (const std::string& a : args) line += L" " + testing::QuoteArgument(win::ToWide(a));
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE outWrite = nullptr, inRead = nullptr;
        CreatePipe(&m_out, &outWrite, &inherit, 0);
        SetHandleInformation(m_out, HANDLE_FLAG_INHERIT, 0);
        CreatePipe(&inRead, &m_in, &inherit, 0);
        SetHandleInformation(m_in, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = inRead;
        startup.hStdOutput = outWrite;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        // Without a console, as the windowed program starts it.
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr,
                            nullptr, &startup, &m_info)) {
            m_info.hProcess = nullptr;
        }
        CloseHandle(outWrite);
        CloseHandle(inRead);
    }
    ~GalleryExe() {
        if (m_info.hProcess) {
            TerminateProcess(m_info.hProcess, 99);
            WaitForSingleObject(m_info.hProcess, INFINITE);
            CloseHandle(m_info.hProcess);
            CloseHandle(m_info.hThread);
        }
        CloseInput();
        CloseHandle(m_out);
    }
    bool Started() const { return m_info.hProcess != nullptr; }
    std::string ReadLine() {
        std::string line;
        char c = 0;
        DWORD n = 0;
        while (line.size() < 1000 && ReadFile(m_out, &c, 1, &n, nullptr) && n == 1 && c != '\n')
            line += c;
        return line;
    }
    void CloseInput() {
        if (m_in)
            CloseHandle(m_in);
        m_in = nullptr;
    }
    // Its exit code, or -1 when it is still running after `ms`.
    int WaitExit(DWORD ms) {
        if (!m_info.hProcess || WaitForSingleObject(m_info.hProcess, ms) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(m_info.hProcess, &code);
        return static_cast<int>(code);
    }

private:
    PROCESS_INFORMATION m_info{};
    HANDLE m_out = nullptr;
    HANDLE m_in = nullptr;
};

TEST(GalleryExeWin, ServesAFolderNamedInJapaneseAndStopsWhenItsInputCloses) {
    test::TempFolder dir;
    const fs::path pictures = dir.Path() / PathFromUtf8(kNorvo);
    const fs::path cache = dir.Path() / PathFromUtf8(kYoshida);
    fs::create_directories(pictures / PathFromUtf8(kYamada));
    fs::copy_file(test::BundledGallery() / "Grace Hopper" / "grace_hopper.jpg",
                  pictures / PathFromUtf8(kYamada) / "portrait.jpg");

    GalleryExe service(
        {"--pictures", Utf8Of(pictures), "--cache", Utf8Of(cache), "--quiet", "--watch-stdin"});
    ASSERT_TRUE(service.Started());
    const std::string base = service.ReadLine();
    ASSERT_EQ(base.rfind("http://127.0.0.1:", 0), 0u) << base;
    ASSERT_EQ(base.find('\r'), std::string::npos);

    httplib::Client client(base.substr(7));
    client.set_read_timeout(120, 0);
    const std::string folder = ServiceText::EncodePathSegment(kYamada);
    auto found = client.Get(("/ajax/services/search/images?q=" + folder + "&v=1.0").c_str());
    ASSERT_TRUE(found);
    EXPECT_EQ(found->status, 200);
    const std::string picture = base + "/pictures/" + folder + "/portrait.jpg";
    EXPECT_NE(found->body.find("\"url\":\"" + picture + "\""), std::string::npos) << found->body;
    auto faces = client.Get(("/api/detect?url=" + picture).c_str());
    ASSERT_TRUE(faces);
    EXPECT_NE(faces->body.find("<face><bounds"), std::string::npos) << faces->body;
    EXPECT_EQ(FilesIn(cache / "faces1"), 1u);  // the faces kept by the picture's content

    service.CloseInput();
    EXPECT_EQ(service.WaitExit(60'000), 0);
}

TEST(GalleryExeWin, TellsWhyItCannotStart) {
    test::TempFolder dir;
    const std::string missing = Utf8Of(dir.Path() / PathFromUtf8(kYamada));
    EXPECT_EQ(testing::RunProcess(NORVO_GALLERY_BIN, {"--pictures", missing}).exitCode, 1);
    EXPECT_EQ(testing::RunProcess(NORVO_GALLERY_BIN, {"--no-such-option"}).exitCode, 2);
    const testing::ProcessRun help = testing::RunProcess(NORVO_GALLERY_BIN, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("%LOCALAPPDATA%\\norvo\\cache"), std::string::npos);
}

}  // namespace
}  // namespace norvo
