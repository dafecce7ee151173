// A portrait's label written with Exiv2 and read back with it: every field, and the picture
// data untouched.

#include <gtest/gtest.h>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <filesystem>

#include "base/WideText.h"
#include "imaging/PortraitLabel.h"
#include "tests/imaging/TestPictures.h"

namespace norvo {
namespace {

using testing::ReadBytes;
using testing::SaveImage;
using testing::TempFolder;
using testing::TestImage;
using testing::WriteBytes;

// Everything from the first start-of-scan marker on: the compressed picture data.
std::vector<uint8_t> ScanData(const std::vector<uint8_t>& jpeg) {
    const uint8_t sos[] = {0xFF, 0xDA};
    const auto at = std::search(jpeg.begin(), jpeg.end(), std::begin(sos), std::end(sos));
    return {at, jpeg.end()};
}

// Opens the picture through Exiv2 with a UTF-8 path, as the label does.
Exiv2::Image::AutoPtr Open(const std::string& path) {
#ifdef _WIN32
    return Exiv2::ImageFactory::open(win::ToWide(path));
#else
    return Exiv2::ImageFactory::open(path);
#endif
}

std::string XmpText(Exiv2::XmpData& xmp, const char* key) {
    const auto it = xmp.findKey(Exiv2::XmpKey(key));
    return it == xmp.end() ? "<missing>" : it->toString();
}

std::string ExifText(Exiv2::ExifData& exif, const char* key) {
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    return it == exif.end() ? "<missing>" : it->toString();
}

TEST(PortraitLabelTest, EveryFieldReadsBackAndThePictureDataIsKept) {
    TempFolder folder;
    const std::string path = folder.Path("portrait.jpg");
    const TestImage picture(64, 48, 200 | 120 << 8 | 40 << 16);
    ASSERT_TRUE(SaveImage(picture, path, "jpeg"));
    const std::vector<uint8_t> before = ReadBytes(path);

    PortraitLabel label;
    label.description = "A joke portrait made with norvo: 吉田's face on <Ann & \"Bo\">'s picture.";
    label.credits = {"Body picture (Ann): a.jpg — Ann — CC BY 4.0", "Face picture (吉田): b.png"};
    label.licences = {"Body picture: CC BY 4.0"};
    label.creatorTool = "norvo 9.9";
    ASSERT_EQ(WritePortraitLabel(path, label), LabelStatus::Written);

    const std::vector<uint8_t> after = ReadBytes(path);
    EXPECT_GT(after.size(), before.size());
    EXPECT_FALSE(ScanData(before).empty());
    EXPECT_EQ(ScanData(after), ScanData(before));

    auto image = Open(path);
    image->readMetadata();
    Exiv2::XmpData& xmp = image->xmpData();
    EXPECT_EQ(XmpText(xmp, "Xmp.iptcExt.DigitalSourceType"), kCompositeSourceType);
    EXPECT_EQ(XmpText(xmp, "Xmp.dc.description"), "lang=\"x-default\" " + label.description);
    EXPECT_EQ(XmpText(xmp, "Xmp.dc.rights"),
              "lang=\"x-default\" " + label.credits[0] + "\n" + label.credits[1]);
    EXPECT_EQ(XmpText(xmp, "Xmp.photoshop.Credit"), label.credits[0] + "\n" + label.credits[1]);
    EXPECT_EQ(XmpText(xmp, "Xmp.xmpRights.UsageTerms"), "lang=\"x-default\" " + label.licences[0]);
    EXPECT_EQ(XmpText(xmp, "Xmp.xmp.CreatorTool"), "norvo 9.9");
    Exiv2::ExifData& exif = image->exifData();
    EXPECT_EQ(ExifText(exif, "Exif.Image.ImageDescription"), label.description);
    EXPECT_EQ(ExifText(exif, "Exif.Image.Copyright"), label.credits[0] + "; " + label.credits[1]);
    EXPECT_EQ(ExifText(exif, "Exif.Image.Software"), "norvo 9.9");

    // Labelling again replaces the label rather than piling up a second one.
    label.credits = {"only one"};
    label.licences.clear();
    ASSERT_EQ(WritePortraitLabel(path, label), LabelStatus::Written);
    auto again = Open(path);
    again->readMetadata();
    EXPECT_EQ(XmpText(again->xmpData(), "Xmp.photoshop.Credit"), "only one");
    EXPECT_EQ(ScanData(ReadBytes(path)), ScanData(before));
}

TEST(PortraitLabelTest, OnlyJpegFilesAreLabelledAndOthersAreLeftAsTheyAre) {
    TempFolder folder;
    const std::string png = folder.Path("picture.png");
    const TestImage picture(8, 8, 0x0000ff);
    ASSERT_TRUE(SaveImage(picture, png, "png"));
    const std::string text = folder.Path("text.jpg");
    ASSERT_TRUE(WriteBytes(text, {'n', 'o', ' ', 'j', 'p', 'e', 'g'}));
    for (const std::string& path : {png, text}) {
        const std::vector<uint8_t> before = ReadBytes(path);
        EXPECT_EQ(WritePortraitLabel(path, PortraitLabel{"x", {}, {}, "t"}),
                  LabelStatus::Unreadable)
            << path;
        EXPECT_EQ(ReadBytes(path), before);
    }
    EXPECT_EQ(WritePortraitLabel(folder.Path("missing.jpg"), {}), LabelStatus::Unreadable);
}

TEST(PortraitLabelTest, APictureInAFolderNamedInJapaneseIsLabelled) {
    // Paths are UTF-8 inside the program; on Windows they must reach the file system as wide
    // characters, not through the ANSI code page.
    TempFolder folder;
    const std::string named = folder.Path("写真 フォルダ");
    std::filesystem::create_directory(
        std::filesystem::path(std::u8string(named.begin(), named.end())));
    const std::string path = named + "/顔.jpg";
    ASSERT_TRUE(SaveImage(TestImage(16, 16, 0x808080), path, "jpeg"));
    ASSERT_EQ(WritePortraitLabel(path, PortraitLabel{"説明", {"クレジット"}, {}, "norvo 9.9"}),
              LabelStatus::Written);
    auto image = Open(path);
    image->readMetadata();
    EXPECT_EQ(XmpText(image->xmpData(), "Xmp.photoshop.Credit"), "クレジット");
    EXPECT_EQ(XmpText(image->xmpData(), "Xmp.iptcExt.DigitalSourceType"), kCompositeSourceType);
}

}  // namespace
}  // namespace norvo
