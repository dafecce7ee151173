#include "services/gallery/store/GalleryIndex.h"

#include <gtest/gtest.h>

#include "tests/service/TestFiles.h"

namespace norvo {
namespace {

TEST(NameMatching, SpellingsOfOneNameMeet) {
    const std::string key = GalleryIndex::NormalizeName("Grace Hopper");
    for (const char* spelling :
         {"grace hopper", "Grace  Hopper", " GRACE\tHOPPER ", "\n grace hopper\n",
          "\xEF\xBC\xA7\xEF\xBD\x92\xEF\xBD\x81\xEF\xBD\x83\xEF\xBD\x85"  // Ｇｒａｃｅ
          "\xE3\x80\x80"                                                  // ideographic space
          "\xEF\xBC\xA8\xEF\xBD\x8F\xEF\xBD\x90\xEF\xBD\x90\xEF\xBD\x85\xEF\xBD\x92"}) {
        EXPECT_EQ(GalleryIndex::NormalizeName(spelling), key) << spelling;
    }
    EXPECT_NE(GalleryIndex::NormalizeName("Grace Hoppers"), key);
    EXPECT_NE(GalleryIndex::NormalizeName("GraceHopper"), key);
}

TEST(NameMatching, JapaneseNamesMeetAcrossWidthsAndSpaces) {
    // 山田 太郎 with an ASCII space and with an ideographic space.
    EXPECT_EQ(GalleryIndex::NormalizeName("\xE5\xB1\xB1\xE7\x94\xB0 \xE5\xA4\xAA\xE9\x83\x8E"),
              GalleryIndex::NormalizeName(
                  "\xE5\xB1\xB1\xE7\x94\xB0\xE3\x80\x80\xE5\xA4\xAA\xE9\x83\x8E"));
    // Half-width ﾔﾏﾀﾞ and full-width ヤマダ.
    EXPECT_EQ(GalleryIndex::NormalizeName("\xEF\xBE\x94\xEF\xBE\x8F\xEF\xBE\x80\xEF\xBE\x9E"),
              "\xE3\x83\xA4\xE3\x83\x9E\xE3\x83\x80");
    // Characters outside the 16-bit range survive: 𠮷田.
    EXPECT_EQ(GalleryIndex::NormalizeName("\xF0\xA0\xAE\xB7\xE7\x94\xB0"),
              "\xF0\xA0\xAE\xB7\xE7\x94\xB0");
}

TEST(GalleryLookup, ListsPicturesOfMatchingFoldersOnly) {
    test::TempFolder dir;
    const auto root = dir.Path();
    for (const char* f : {"Grace Hopper/b.jpg", "Grace Hopper/a.png", "Grace Hopper/notes.txt",
                          "grace  HOPPER/c.jpg", "Grace Hopperx/d.jpg", "Other/e.jpg"}) {
        test::WriteBytes(root / f, "x");
    }
    std::filesystem::create_directories(root / "Grace Hopper" / "sub.jpg");
    test::WriteBytes(root / "Grace Hopper.jpg", "x");  // a file, not a person

    GalleryIndex index(root);
    std::vector<std::string> files;
    for (const GalleryPicture& p : index.PicturesOf("grace hopper"))
        files.push_back(p.person + "/" + p.file);
    EXPECT_EQ(files, (std::vector<std::string>{"Grace Hopper/a.png", "Grace Hopper/b.jpg",
                                               "grace  HOPPER/c.jpg"}));
    EXPECT_TRUE(index.PicturesOf("Nobody").empty());
    EXPECT_TRUE(index.PicturesOf("").empty());
    EXPECT_TRUE(index.PicturesOf("   ").empty());
    EXPECT_TRUE(GalleryIndex(root / "missing").PicturesOf("Other").empty());
}

}  // namespace
}  // namespace norvo
