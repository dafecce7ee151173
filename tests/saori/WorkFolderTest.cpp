#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "saori/Platform.h"
#include "saori/WorkFolder.h"

using norvo::WorkFolder;

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// A scratch base folder of the test's own.
class WorkFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/norvo-wftest-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        base = templ;
    }
    void TearDown() override { norvo::platform::RemoveTree(base); }
    std::string base;
};

TEST_F(WorkFolderTest, PrivateFolderUnderTheBase) {
    WorkFolder a(base);
    WorkFolder b(base + "/");
    ASSERT_TRUE(a.IsValid());
    ASSERT_TRUE(b.IsValid());
    EXPECT_EQ(a.CreateStatus(), WorkFolder::Status::Ok);
    EXPECT_NE(a.Path(), b.Path());
    EXPECT_EQ(a.Path().rfind(base + "/norvo-", 0), 0u);
    EXPECT_EQ(a.Path().back(), '/');
    EXPECT_EQ(a.Path().find("//"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(stat(a.Path().c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, getuid());
}

TEST_F(WorkFolderTest, CreationFailureIsReported) {
    WorkFolder w(base + "/missing/deeper");
    EXPECT_FALSE(w.IsValid());
    EXPECT_EQ(w.Path(), "");
    EXPECT_EQ(w.CreateStatus(), WorkFolder::Status::CreateFailed);
    EXPECT_EQ(w.Remove(), WorkFolder::Status::NotCreated);
    EXPECT_STRNE(WorkFolder::describe(WorkFolder::Status::CreateFailed), "");
}

TEST_F(WorkFolderTest, DestructionRemovesContentsButNotLinkTargets) {
    // Something outside that links inside the folder point at.
    const std::string outside = base + "/outside";
    ASSERT_EQ(mkdir(outside.c_str(), 0700), 0);
    std::ofstream(outside + "/keep.txt") << "keep";

    std::string path;
    {
        WorkFolder w(base);
        path = w.Path();
        std::ofstream(path + "tmpfile.xml") << "<x/>";
        ASSERT_EQ(mkdir((path + "sub").c_str(), 0700), 0);
        ASSERT_EQ(mkdir((path + "sub/deeper").c_str(), 0700), 0);
        std::ofstream(path + "sub/picture.jpg") << "jpg";
        ASSERT_EQ(symlink(outside.c_str(), (path + "dirlink").c_str()), 0);
        ASSERT_EQ(symlink((outside + "/keep.txt").c_str(), (path + "sub/filelink").c_str()), 0);
        ASSERT_EQ(symlink("/nonexistent", (path + "dangling").c_str()), 0);
    }
    EXPECT_FALSE(Exists(path));
    EXPECT_TRUE(Exists(outside + "/keep.txt"));
}

TEST_F(WorkFolderTest, RemoveReportsAndRefusesALinkInPlaceOfTheFolder) {
    WorkFolder w(base);
    std::string path = w.Path();
    path.pop_back();
    // Someone swapped the folder for a link to another folder.
    const std::string moved = base + "/moved";
    ASSERT_EQ(rename(path.c_str(), moved.c_str()), 0);
    std::ofstream(moved + "/keep.txt") << "keep";
    ASSERT_EQ(symlink(moved.c_str(), path.c_str()), 0);
    EXPECT_EQ(w.Remove(), WorkFolder::Status::RemoveFailed);
    EXPECT_TRUE(Exists(moved + "/keep.txt"));
    EXPECT_FALSE(w.IsValid());
    EXPECT_EQ(w.Remove(), WorkFolder::Status::NotCreated);
}

TEST_F(WorkFolderTest, RemoveNowAndMove) {
    WorkFolder w(base);
    const std::string path = w.Path();
    std::ofstream(path + "f") << "x";
    WorkFolder moved(std::move(w));
    EXPECT_FALSE(w.IsValid());
    EXPECT_EQ(moved.Path(), path);
    EXPECT_EQ(moved.Remove(), WorkFolder::Status::Ok);
    EXPECT_FALSE(Exists(path));

    WorkFolder first(base);
    WorkFolder second(base);
    const std::string firstPath = first.Path();
    first = std::move(second);  // the folder it held is removed
    EXPECT_FALSE(Exists(firstPath));
    EXPECT_TRUE(Exists(first.Path()));
}

TEST(WorkFolderDefault, UsesThePrivateBase) {
    WorkFolder w;
    ASSERT_TRUE(w.IsValid());
    EXPECT_EQ(w.Path().rfind(norvo::platform::PrivateBaseFolder() + "/", 0), 0u);
}

}  // namespace
