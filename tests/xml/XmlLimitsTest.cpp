// Hostile and oversized documents: each must end quickly with a clear result and bounded
// memory. The sizes are far above what a quadratic scan could handle in test time.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "XmlTestSupport.h"
#include "xml/XmlDocument.h"

namespace norvo {
namespace {

std::string Repeat(const std::string& piece, size_t count) {
    std::string out;
    out.reserve(piece.size() * count);
    for (size_t i = 0; i < count; ++i) {
        out += piece;
    }
    return out;
}

// `<r>` + filler text + `</r>`, exactly `size` bytes.
std::string DocumentOfSize(size_t size) {
    return "<r>" + std::string(size - 7, 'x') + "</r>";
}

TEST(XmlLimits, DocumentSizeBothSides) {
    CXmlDocument doc;
    EXPECT_EQ(doc.LoadFromMemory(DocumentOfSize(kXmlMaxDocumentBytes)), XML_OK);
    EXPECT_EQ(doc.Elements().size(), 3u);
    EXPECT_EQ(doc.LoadFromMemory(DocumentOfSize(kXmlMaxDocumentBytes + 1)), XML_ERR_OPEN);
    EXPECT_TRUE(doc.Elements().empty());
}

TEST(XmlLimits, FileSizeBothSides) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("norvo-xml-limits-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto fits = (dir / "fits.xml").string();
    const auto over = (dir / "over.xml").string();
    std::ofstream(fits, std::ios::binary) << DocumentOfSize(kXmlMaxDocumentBytes);
    // Far past the limit: the reader must stop reading, not take it all in.
    std::ofstream(over, std::ios::binary) << std::string(8 * kXmlMaxDocumentBytes, '<');
    CXmlDocument doc;
    EXPECT_EQ(doc.Load(fits.c_str()), XML_OK);
    EXPECT_EQ(doc.Elements().size(), 3u);
    EXPECT_EQ(doc.Load(over.c_str()), XML_ERR_OPEN);
    EXPECT_TRUE(doc.Elements().empty());
    std::filesystem::remove_all(dir);
}

TEST(XmlLimits, ElementCountBothSides) {
    // Nesting as deep as the element limit allows, then one level more.
    const size_t levels = kXmlMaxElements;
    CXmlDocument doc;
    EXPECT_EQ(doc.LoadFromMemory(Repeat("<a>", levels)), XML_ERR_EXTRA_START_TAG);
    ASSERT_EQ(doc.Elements().size(), levels);
    EXPECT_EQ(doc.Elements().back().depth, static_cast<int>(levels) - 1);
    EXPECT_EQ(doc.LoadFromMemory(Repeat("<a>", levels + 1)), XML_ERR_OPEN);
    EXPECT_TRUE(doc.Elements().empty());
}

TEST(XmlLimits, SelfClosingPairCountsBothEntries) {
    const size_t pairs = kXmlMaxElements / 2;
    CXmlDocument doc;
    EXPECT_EQ(doc.LoadFromMemory(Repeat("<a />", pairs)), XML_OK);
    EXPECT_EQ(doc.Elements().size(), 2 * pairs);
    EXPECT_EQ(doc.LoadFromMemory(Repeat("<a />", pairs) + "<b/>"), XML_ERR_OPEN);
}

TEST(XmlLimits, AttributeCountBothSides) {
    CXmlDocument doc;
    EXPECT_EQ(doc.LoadFromMemory("<a" + Repeat(" b", kXmlMaxAttributes) + "/>"), XML_OK);
    ASSERT_EQ(doc.Elements().size(), 2u);
    EXPECT_EQ(doc.Elements()[0].attributes.size(), kXmlMaxAttributes);
    EXPECT_EQ(doc.LoadFromMemory("<a" + Repeat(" b", kXmlMaxAttributes + 1) + "/>"), XML_ERR_OPEN);
    EXPECT_TRUE(doc.Elements().empty());
}

TEST(XmlLimits, BalancedDeepNestingLoads) {
    const size_t levels = kXmlMaxElements / 2;
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadFromMemory(Repeat("<a>", levels) + Repeat("</a>", levels)), XML_OK);
    EXPECT_EQ(doc.Elements()[levels - 1].depth, static_cast<int>(levels) - 1);
    EXPECT_EQ(doc.Elements().back().depth, 0);
}

TEST(XmlHostile, ManyCommentsInARow) {
    // Removing these one at a time in place would move the rest of the text each time.
    const size_t count = 120'000;
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadFromMemory("<r>" + Repeat("<!---->", count) + "</r>"), XML_OK);
    EXPECT_EQ(testing_support::Dump(doc), "S:r:0 E:r:0");
}

TEST(XmlHostile, UnclosedCommentsAndTags) {
    CXmlDocument doc;
    const size_t size = kXmlMaxDocumentBytes;
    EXPECT_EQ(doc.LoadFromMemory(std::string(size, '<')), XML_ERR_UNCLOSED_TAG);
    EXPECT_EQ(doc.LoadFromMemory(Repeat("<!--", size / 4)), XML_OK);
    EXPECT_EQ(doc.LoadFromMemory("<a>" + Repeat("<!-", size / 4)), XML_ERR_UNCLOSED_TAG);
    EXPECT_EQ(doc.LoadFromMemory(std::string(size, '>')), XML_OK);
}

TEST(XmlHostile, LeadBytesHideEveryDelimiter) {
    // Each '<' follows a lead byte, so each search goes on to the next one.
    CXmlDocument doc;
    EXPECT_EQ(doc.LoadFromMemory("<r>" + Repeat("\x81<", kXmlMaxDocumentBytes / 2 - 4) + "</r>"),
              XML_OK);
    ASSERT_EQ(doc.Elements().size(), 3u);
    EXPECT_EQ(doc.Elements()[1].kind, XML_TEXT);
}

TEST(XmlHostile, HugeAttributeValueAndOneLongLine) {
    const std::string value(kXmlMaxDocumentBytes - 64, 'v');
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadFromMemory("<r><a k='" + value + "'/></r>"), XML_OK);
    ASSERT_EQ(doc.Elements().size(), 4u);
    EXPECT_EQ(doc.Elements()[1].attributes.at(0).value, value);
}

TEST(XmlHostile, UnbalancedQuoteSwallowsTheTag) {
    // One quote leaves everything after it inside quotes: one long token, never a split.
    CXmlDocument doc;
    const std::string tail = Repeat(" x=y", 200'000);
    ASSERT_EQ(doc.LoadFromMemory("<a k='" + tail + "/>"), XML_OK);
    ASSERT_EQ(doc.Elements().size(), 2u);
    EXPECT_EQ(doc.Elements()[0].attributes.at(0).value.size(), tail.size());
}

TEST(XmlHostile, NulBytesAndBareLineBreaks) {
    CXmlDocument doc;
    EXPECT_EQ(doc.LoadFromMemory(std::string(kXmlMaxDocumentBytes, '\0')), XML_OK);
    EXPECT_TRUE(doc.Elements().empty());
    EXPECT_EQ(doc.LoadFromMemory(std::string(kXmlMaxDocumentBytes, '\n')), XML_OK);
    EXPECT_EQ(doc.LoadFromMemory(std::string("<a\0b>\n</a\0b>", 12)), XML_OK);
    EXPECT_EQ(doc.Elements().size(), 2u);
}

}  // namespace
}  // namespace norvo
