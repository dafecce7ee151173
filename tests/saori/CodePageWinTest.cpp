// The folder handed to a module's "load" is in the system's ANSI code page. Run once under a
// Western and once under a Japanese locale (Wine takes the code page from LANG).
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/WideText.h"
#include "saori/Platform.h"
#include "saori/WorkFolder.h"

namespace {

namespace fs = std::filesystem;

// "ノルヴォ作業" (norvo work): Shift-JIS can write it, code page 1252 cannot.
constexpr char kJapaneseName[] =
    "\xE3\x83\x8E\xE3\x83\xAB\xE3\x83\xB4\xE3\x82\xA9\xE4\xBD\x9C\xE6\xA5\xAD";

// What a module that knows only the ANSI API does with the folder text: create a file in it.
bool ModuleCanWriteInto(const std::string& ansiFolder, const char* name) {
    const std::string file = ansiFolder + name;
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(h);
    return true;
}

TEST(CodePage, AJapaneseFolderReachesAnAnsiModuleWhicheverTheCodePage) {
    norvo::WorkFolder work;
    ASSERT_TRUE(work.IsValid());
    const std::string folder = work.Path() + kJapaneseName;
    ASSERT_TRUE(fs::create_directory(fs::path(norvo::win::ToWide(folder))));

    std::string text;
    ASSERT_TRUE(norvo::platform::ModuleDirectoryText(folder + "/", text));
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\\');
    EXPECT_EQ(text.find('/'), std::string::npos);
    if (GetACP() == 932) {
        // Shift-JIS: the long path itself, as a Japanese host hands it over.
        EXPECT_EQ(text, norvo::win::FromWide(norvo::win::ToWide(folder + "\\"), 932));
        EXPECT_NE(text.find("\x83\x6D\x83\x8B"), std::string::npos);  // ノル
    } else {
        // A Western code page: the short path, plain ASCII.
        for (unsigned char c : text) {
            EXPECT_LT(c, 0x80) << text;
        }
    }
    ASSERT_TRUE(ModuleCanWriteInto(text, "tmpfile.xml"));
    EXPECT_TRUE(fs::exists(fs::path(norvo::win::ToWide(folder)) / "tmpfile.xml"));
}

TEST(CodePage, AsciiFoldersAreHandedOverAsTheyAre) {
    std::string text;
    ASSERT_TRUE(norvo::platform::ModuleDirectoryText("C:/srv/norvo work", text));
    EXPECT_EQ(text, "C:\\srv\\norvo work\\");
}

}  // namespace
