// What the platform layer does only on Windows: fixed global memory for the hand-over, the load
// path rules, the program's folder, the private work folder and its removal.
#include <windows.h>
// After windows.h, which it needs.
#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/WideText.h"
#include "saori/Platform.h"
#include "saori/WorkFolder.h"

namespace platform = norvo::platform;
namespace fs = std::filesystem;

namespace {

fs::path Utf8Path(const std::string& text) {
    return fs::path(norvo::win::ToWide(text));
}

// The current folder for one scope.
class ScopedCurrentFolder {
public:
    explicit ScopedCurrentFolder(const fs::path& folder) : m_previous(fs::current_path()) {
        fs::current_path(folder);
    }
    ~ScopedCurrentFolder() { fs::current_path(m_previous); }

private:
    fs::path m_previous;
};

TEST(PlatformWin, HandoverBlocksAreFixedGlobalMemory) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{4096}}) {
        char* block = platform::AllocHandover(size);
        ASSERT_NE(block, nullptr);
        // A fixed block is its own handle, which a module may GlobalFree as SAORI modules do.
        EXPECT_EQ(GlobalHandle(block), static_cast<HGLOBAL>(block));
        EXPECT_GE(GlobalSize(block), size);
        EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, 0u);
        platform::FreeHandover(block);
    }
    platform::FreeHandover(nullptr);
}

TEST(PlatformWin, ProgramDataAndModuleFolders) {
    wchar_t path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    const std::string program = norvo::win::FromWide(path);
    const std::string folder = platform::ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '\\');
    EXPECT_EQ(program.rfind(folder, 0), 0u);
    EXPECT_EQ(program.find('\\', folder.size()), std::string::npos);
    // One portable folder: the module beside the programs, the data in data\.
    EXPECT_EQ(platform::ModuleFolder(), folder);
    EXPECT_EQ(platform::DataFolder(), folder + "data\\");
}

TEST(PlatformWin, ABareNameIsTheCurrentFoldersFileNeverASystemDll) {
    norvo::WorkFolder work;
    ASSERT_TRUE(work.IsValid());
    ScopedCurrentFolder here(Utf8Path(work.Path()));
    std::string why;
    // kernel32.dll is loaded in every process and lies in the system folder: still not taken.
    EXPECT_EQ(platform::LoadModule("kernel32.dll", &why), nullptr);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(platform::LoadModule("", &why), nullptr);

    fs::copy_file(Utf8Path(NORVO_TEST_MODULE_PATH), Utf8Path(work.Path()) / "httpc.dll");
    platform::ModuleHandle module = platform::LoadModule("httpc.dll", &why);
    ASSERT_NE(module, nullptr) << why;
    EXPECT_NE(platform::FindExport(module, "request"), nullptr);
    EXPECT_EQ(platform::FindExport(module, "no_such_export"), nullptr);
    platform::FreeModule(module);
}

TEST(PlatformWin, ADllPlantedInTheWorkingFolderIsNotLoaded) {
    const fs::path planted = Utf8Path(NORVO_TEST_PLANTED_PATH);
    const fs::path needs = Utf8Path(NORVO_TEST_NEEDS_PLANTED_PATH);
    {
        // The module's own folder lacks its dependency; the working folder has it.
        ScopedCurrentFolder here(planted.parent_path());
        std::string why;
        EXPECT_EQ(platform::LoadModule(needs.string(), &why), nullptr);
        EXPECT_FALSE(why.empty());
    }
    // Beside the module, the same dependency is found.
    norvo::WorkFolder work;
    const fs::path folder = Utf8Path(work.Path());
    fs::copy_file(needs, folder / needs.filename());
    fs::copy_file(planted, folder / planted.filename());
    std::string why;
    platform::ModuleHandle module =
        platform::LoadModule(norvo::win::FromWide((folder / needs.filename()).wstring()), &why);
    ASSERT_NE(module, nullptr) << why;
    auto fn = reinterpret_cast<int (*)()>(platform::FindExport(module, "needs_planted"));
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(fn(), 42);
    platform::FreeModule(module);
}

TEST(PlatformWin, PrivateBaseIsAFolderTheAnsiCodePageCanName) {
    const std::string base = platform::PrivateBaseFolder();
    ASSERT_FALSE(base.empty());
    EXPECT_NE(base.back(), '\\');
    EXPECT_TRUE(fs::is_directory(Utf8Path(base)));
    std::string text;
    EXPECT_TRUE(platform::ModuleDirectoryText(base, text));
}

// The SIDs of the access list's allow entries.
std::vector<std::wstring> AllowedSids(const std::string& path) {
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::vector<std::wstring> sids;
    if (GetNamedSecurityInfoW(norvo::win::ToWide(path).c_str(), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl, nullptr,
                              &descriptor) != ERROR_SUCCESS ||
        acl == nullptr) {
        return sids;
    }
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void* ace = nullptr;
        if (GetAce(acl, i, &ace) &&
            static_cast<ACE_HEADER*>(ace)->AceType == ACCESS_ALLOWED_ACE_TYPE) {
            auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            wchar_t* sid = nullptr;
            if (ConvertSidToStringSidW(&allowed->SidStart, &sid)) {
                sids.emplace_back(sid);
                LocalFree(sid);
            }
        }
    }
    LocalFree(descriptor);
    return sids;
}

TEST(WorkFolderWin, OnlyTheUserMayEnterAndItGoesAwayWithItsContents) {
    std::string path;
    {
        norvo::WorkFolder work;
        ASSERT_TRUE(work.IsValid());
        path = work.Path();
        EXPECT_EQ(path.rfind(platform::PrivateBaseFolder() + "\\norvo-", 0), 0u);
        // The user's own entry, and none for everyone, the users or the logged-on users.
        const std::vector<std::wstring> sids = AllowedSids(path);
        EXPECT_FALSE(sids.empty());
        for (const std::wstring& sid : sids) {
            EXPECT_NE(sid, L"S-1-1-0");
            EXPECT_NE(sid, L"S-1-5-32-545");
            EXPECT_NE(sid, L"S-1-5-11");
        }

        const fs::path folder = Utf8Path(path);
        std::ofstream(folder / "tmpfile.xml") << "<x/>";
        fs::create_directories(folder / "sub" / "deeper");
        std::ofstream(folder / "sub" / "picture.jpg") << "jpg";
        SetFileAttributesW((folder / "sub" / "picture.jpg").c_str(), FILE_ATTRIBUTE_READONLY);
    }
    EXPECT_FALSE(fs::exists(Utf8Path(path)));
}

TEST(WorkFolderWin, RemovalLeavesWhatALinkInsidePointsAt) {
    norvo::WorkFolder outsideHolder;
    const fs::path outside = Utf8Path(outsideHolder.Path()) / "outside";
    fs::create_directory(outside);
    std::ofstream(outside / "keep.txt") << "keep";
    std::string path;
    {
        norvo::WorkFolder work;
        path = work.Path();
        ASSERT_TRUE(CreateSymbolicLinkW(
            (Utf8Path(path) / "dirlink").c_str(), outside.c_str(),
            SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
            << GetLastError();
    }
    EXPECT_FALSE(fs::exists(Utf8Path(path)));
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));
}

}  // namespace
