#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "saori/Platform.h"

namespace platform = norvo::platform;

namespace {

TEST(Platform, ProgramFolderIsTheExecutablesRealFolder) {
    const std::string folder = platform::ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    char real[PATH_MAX];
    ASSERT_NE(realpath("/proc/self/exe", real), nullptr);
    EXPECT_EQ(std::string(real).rfind(folder, 0), 0u);
    EXPECT_EQ(std::string(real).find('/', folder.size()), std::string::npos);
}

TEST(Platform, ModuleAndDataLieBesideTheProgramsFolder) {
    // The build folder has the installed layout: bin/, lib/norvo/, share/norvo/ side by side.
    std::string prefix = platform::ProgramFolder();
    prefix.pop_back();
    prefix.erase(prefix.rfind('/') + 1);
    EXPECT_EQ(platform::ModuleFolder(), prefix + "lib/norvo/");
    EXPECT_EQ(platform::DataFolder(), prefix + "share/norvo/");
}

TEST(Platform, LoaderReportsWhy) {
    std::string why;
    EXPECT_EQ(platform::LoadModule("/nonexistent/module.so", &why), nullptr);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(platform::FindExport(nullptr, "load"), nullptr);
    platform::FreeModule(nullptr);  // ignored
}

TEST(Platform, LoaderTakesOnlyTheFileNamed) {
    std::string why;
    // An empty path is not the program itself, and a bare name is not looked for in the
    // system's library folders.
    EXPECT_EQ(platform::LoadModule("", &why), nullptr);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(platform::LoadModule("libc.so.6"), nullptr);
    // A bare name is a file in the current folder.
    const std::string module = NORVO_TEST_MODULE_PATH;
    const size_t slash = module.rfind('/');
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(module.substr(0, slash).c_str()), 0);
    platform::ModuleHandle handle = platform::LoadModule(module.substr(slash + 1));
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_NE(handle, nullptr);
    EXPECT_NE(platform::FindExport(handle, "request"), nullptr);
    platform::FreeModule(handle);
}

TEST(Platform, HandoverBlockOfLengthZeroIsUsable) {
    char* block = platform::AllocHandover(0);
    ASSERT_NE(block, nullptr);
    platform::FreeHandover(block);
    platform::FreeHandover(nullptr);
}

// Restores an environment variable when the test ends.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = getenv(name)) {
            m_old = old;
            m_had = true;
        }
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (m_had) {
            setenv(m_name, m_old.c_str(), 1);
        } else {
            unsetenv(m_name);
        }
    }

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

TEST(Platform, PrivateBaseFolderChoice) {
    char dirTemplate[] = "/tmp/norvo-base-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    const std::string dir = dirTemplate;
    {
        ScopedEnv xdg("XDG_RUNTIME_DIR", (dir + "//").c_str());
        EXPECT_EQ(platform::PrivateBaseFolder(), dir);
    }
    {
        // Relative or missing folders are passed over.
        ScopedEnv xdg("XDG_RUNTIME_DIR", "relative/dir");
        ScopedEnv tmp("TMPDIR", (dir + "/missing").c_str());
        EXPECT_EQ(platform::PrivateBaseFolder(), "/tmp");
    }
    {
        ScopedEnv xdg("XDG_RUNTIME_DIR", nullptr);
        ScopedEnv tmp("TMPDIR", dir.c_str());
        EXPECT_EQ(platform::PrivateBaseFolder(), dir);
    }
    rmdir(dir.c_str());
}

}  // namespace
