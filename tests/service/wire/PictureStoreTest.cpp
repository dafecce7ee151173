#include "services/gallery/wire/PicturePaths.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/service/TestFiles.h"

namespace norvo {
namespace {

namespace fs = std::filesystem;

class PictureStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = m_folder.Path();
        fs::create_directories(m_dir / "gallery" / "Grace Hopper");
        fs::create_directories(m_dir / "gallery" / "Deep" / "er");
        fs::create_directories(m_dir / "gallery" / "dir.png");
        Touch(m_dir / "gallery" / "Grace Hopper" / "a b.jpg");
        Touch(m_dir / "gallery" / "Deep" / "er" / "c.PNG");
        Touch(m_dir / "gallery" / "notes.txt");
        Touch(m_dir / "outside.png");
        Link(m_dir / "outside.png", m_dir / "gallery" / "Grace Hopper" / "out.png");
        Link(m_dir, m_dir / "gallery" / "up");
        Link("a b.jpg", m_dir / "gallery" / "Grace Hopper" / "in.jpg");
    }
    static void Touch(const fs::path& p) { std::ofstream(p) << "x"; }
    // MinGW's std::filesystem makes no links: Windows' own call does.
    static void Link(const fs::path& target, const fs::path& link) {
#ifdef _WIN32
        const DWORD folder =
            fs::is_directory(link.parent_path() / target) ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
        ASSERT_TRUE(CreateSymbolicLinkW(link.c_str(), target.c_str(),
                                        folder | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
            << link;
#else
        fs::create_symlink(target, link);
#endif
    }

    test::TempFolder m_folder;
    fs::path m_dir;
};

TEST_F(PictureStoreTest, ResolvesPicturesInsideTheGallery) {
    const fs::path root = m_dir / "gallery";
    fs::path file;
    ASSERT_EQ(ResolvePicturePath(root, "Grace%20Hopper/a%20b.jpg", file), PathStatus::Ok);
    EXPECT_EQ(file, fs::canonical(m_dir / "gallery" / "Grace Hopper" / "a b.jpg"));
    EXPECT_EQ(ResolvePicturePath(root, "Deep/er/c.PNG", file), PathStatus::Ok);
    EXPECT_EQ(ResolvePicturePath(root, "Grace%20Hopper/in.jpg", file), PathStatus::Ok);
}

TEST_F(PictureStoreTest, RefusesEveryWayOut) {
    const fs::path root = m_dir / "gallery";
    struct Case {
        const char* path;
        PathStatus expected;
    } cases[] = {
        {"..", PathStatus::Outside},
        {"../outside.png", PathStatus::Outside},
        {"%2e%2e/outside.png", PathStatus::Outside},
        {"%2E%2E%2Foutside.png", PathStatus::Outside},
        {"Grace%20Hopper/../../outside.png", PathStatus::Outside},
        {"Grace Hopper/%2e%2e/%2e%2e/outside.png", PathStatus::Outside},
        {"/etc/passwd", PathStatus::Outside},
        {"%2Fetc%2Fpasswd", PathStatus::Outside},
        {"Grace%20Hopper/out.png", PathStatus::Outside},
        {"up/outside.png", PathStatus::Outside},
        {"up/gallery/Grace%20Hopper/a%20b.jpg", PathStatus::Ok},  // loops back inside
        {"Grace%20Hopper/a%20b.jpg%00.png", PathStatus::BadEncoding},
        {"Grace%zzHopper/a.jpg", PathStatus::BadEncoding},
        {"Grace%2", PathStatus::BadEncoding},
        {"notes.txt", PathStatus::NotFound},
        {"dir.png", PathStatus::NotFound},
        {"Grace%20Hopper/missing.jpg", PathStatus::NotFound},
        {"Grace%20Hopper//a%20b.jpg", PathStatus::NotFound},
        {"./Grace%20Hopper/a%20b.jpg", PathStatus::NotFound},
        {"", PathStatus::NotFound},
    };
    for (const Case& c : cases) {
        fs::path file;
        EXPECT_EQ(ResolvePicturePath(root, c.path, file), c.expected)
            << c.path << ": " << describe(ResolvePicturePath(root, c.path, file));
    }
}

TEST(PictureContentType, ByExtensionIgnoringCase) {
    EXPECT_STREQ(PictureContentType("a.JPG"), "image/jpeg");
    EXPECT_STREQ(PictureContentType("a.jpeg"), "image/jpeg");
    EXPECT_STREQ(PictureContentType("a.png"), "image/png");
    EXPECT_STREQ(PictureContentType("a.webp"), "image/webp");
    EXPECT_EQ(PictureContentType("a.svg"), nullptr);
    EXPECT_EQ(PictureContentType("png"), nullptr);
}

}  // namespace
}  // namespace norvo
