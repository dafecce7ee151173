#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "XmlTestSupport.h"
#include "xml/XmlDocument.h"

namespace norvo {
namespace {

using testing_support::Dump;

struct ParseCase {
    const char* label;
    std::string text;
    int result;
    std::string elements;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.label;
}

class XmlParse : public testing::TestWithParam<ParseCase> {};

TEST_P(XmlParse, GivesTheElementsAndResult) {
    CXmlDocument doc;
    EXPECT_EQ(doc.LoadFromMemory(GetParam().text), GetParam().result);
    EXPECT_EQ(Dump(doc), GetParam().elements);
}

// Documents that load, and what they give.
INSTANTIATE_TEST_SUITE_P(
    Documents, XmlParse,
    testing::Values(
        ParseCase{"NestedWithText", "<r><a x='1' y='2'/>hi</r>", 0,
                  "S:r:0 S:a:1[x=1,y=2] E:a:1 T:hi:1 E:r:0"},
        ParseCase{"Declaration", "<?xml version='1.0'?>", 0, "X:?xml:0[version=1.0'?]"},
        ParseCase{"Doctype", "<!DOCTYPE html>", 0, "X:!doctype:0[html=]"},
        ParseCase{"LinesJoinedWithoutSeparator", "<r>\n  <bounds\n    x='1'/>\n</r>\n", 0,
                  "S:r:0 X:boundsx='1':1 E:r:0"},
        ParseCase{"TextWithoutBreaksOrIndent", "<r>\r\n\thello \r\n  world\r\n</r>", 0,
                  "S:r:0 T:helloworld:1 E:r:0"},
        ParseCase{"DoubleQuotesStay", "<a x=\"5\"/>", 0, "S:a:0[x=\"5\"] E:a:0"},
        ParseCase{"SpacesAroundEquals", "<a x = '1'></a>", 0, "S:a:0[x=,1=] E:a:0"},
        ParseCase{"NameMissing", "<a =5></a>", 0, "S:a:0[5=] E:a:0"},
        ParseCase{"QuotedEquals", "<a a='b=c'></a>", 0, "S:a:0[a=b=c] E:a:0"},
        ParseCase{"SecondEqualsCuts", "<a a=b=c></a>", 0, "S:a:0[a=b] E:a:0"},
        ParseCase{"QuotedSpace", "<A Href='x y'>", 5, "S:a:0[href=x y]"},
        ParseCase{"QuotesStripped", "<a 'k'='v' w='' z=' q=a'></a>", 0,
                  "S:a:0[k=v,w=,z= q=a] E:a:0"},
        ParseCase{"EmptyTag", "<r><a/></r>", 0, "S:r:0 X:a:1 E:r:0"},
        ParseCase{"SpaceBeforeSlash", "<r><a /><b/></r>", 0, "S:r:0 S:a:1 E:a:1 X:b:1 E:r:0"},
        ParseCase{"SelfClosingWithAttribute", "<a x='1'/><b/>", 0, "S:a:0[x=1] E:a:0 X:b:0"},
        ParseCase{"LoneSlashTokenMakesSingle", "<a k='1' / //>", 0, "X:a:0[k=1]"},
        ParseCase{"EndTagsOnlyCounted", "<a></b>", 0, "S:a:0 E:b:0"},
        ParseCase{"EndTagExtraTokensIgnored", "<a></A x='1'>", 0, "S:a:0 E:a:0"},
        ParseCase{"TabsDoNotSplit", "<a\tb='1'/>", 0, "X:a\tb='1':0"},
        ParseCase{"TextOutsideDropped", "hi<a/>there<b></b>tail", 0, "X:a:0 S:b:0 E:b:0"},
        ParseCase{"Blank", " \n\t\r\n", 0, ""}, ParseCase{"Empty", "", 0, ""},
        ParseCase{"TextOnly", "just text", 0, ""},
        ParseCase{"NulInText", std::string("<r>a\0b</r>", 10), 0,
                  std::string("S:r:0 T:a\0b:1 E:r:0", 19)}),
    [](const auto& info) { return std::string(info.param.label); });

// Each failure, with the elements appended before it.
INSTANTIATE_TEST_SUITE_P(
    Errors, XmlParse,
    testing::Values(ParseCase{"UnclosedTag", "<a", 2, ""},
                    ParseCase{"UnclosedAfterText", "<r>x<a", 2, "S:r:0 T:x:1"},
                    ParseCase{"EmptyTag", "<r><>", 3, "S:r:0"},
                    ParseCase{"BlankTag", "<  >", 3, ""}, ParseCase{"EndTagFirst", "</a>", 4, ""},
                    ParseCase{"EndTagAfterRoot", "<a></a></a>", 4, "S:a:0 E:a:0"},
                    ParseCase{"LoneSlashWithoutOpen", "</>", 4, ""},
                    ParseCase{"StillOpen", "<a><b></a>", 5, "S:a:0 S:b:1 E:a:1"},
                    ParseCase{"StillOpenTextDropped", "<a>tail", 5, "S:a:0"},
                    ParseCase{"LoneSlash", "<a></>", 6, "S:a:0"},
                    ParseCase{"SlashThenName", "<a></ a>", 6, "S:a:0"}),
    [](const auto& info) { return std::string(info.param.label); });

// Comments go before parsing, byte-wise.
INSTANTIATE_TEST_SUITE_P(
    Comments, XmlParse,
    testing::Values(ParseCase{"TwoInARow", "<!--x--><!--y--><a/>", 0, "X:a:0"},
                    ParseCase{"ManyClose", "<r><!----><!-- a --><!--b-->t<!--c--></r>", 0,
                              "S:r:0 T:t:1 E:r:0"},
                    ParseCase{"Unclosed", "<a/><!--<b/>", 0, "X:a:0"},
                    ParseCase{"UnclosedInsideElement", "<a><!--</a>", 5, "S:a:0"},
                    ParseCase{"InsideAttribute", "<a k='<!--'/>-->", 2, ""},
                    ParseCase{"OverLines", "<r>\n<!-- one\n two -->\n</r>", 0, "S:r:0 E:r:0"},
                    ParseCase{"OnlyComments", "<!-- a --> <!-- b -->", 0, ""}),
    [](const auto& info) { return std::string(info.param.label); });

// Shift-JIS: a byte after a lead byte is never a delimiter, a line end or a letter.
INSTANTIATE_TEST_SUITE_P(LeadBytes, XmlParse,
                         testing::Values(ParseCase{"LessThanAfterLead", "<r>\x81<b</r>", 0,
                                                   "S:r:0 T:\x81<b:1 E:r:0"},
                                         ParseCase{"GreaterThanAfterLead", "<a k='\x81>'></a>", 0,
                                                   "S:a:0[k=\x81>] E:a:0"},
                                         ParseCase{"UpperCaseAfterLead",
                                                   "<\x82"
                                                   "AB C='1'></\x82"
                                                   "AB>",
                                                   0,
                                                   "S:\x82"
                                                   "Ab:0[c=1] E:\x82"
                                                   "Ab:0"},
                                         ParseCase{"LineFeedAfterLead", "<r>\x81\n  x</r>", 0,
                                                   "S:r:0 T:\x81\n  x:1 E:r:0"},
                                         ParseCase{"LeadBeforeUnclosed", "<r>\x81<", 5, "S:r:0"}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(XmlResultText, GivesTheReadersTexts) {
    EXPECT_STREQ(XmlResultText(XML_OK), "OK");
    EXPECT_STREQ(XmlResultText(XML_ERR_OPEN), "ファイルを開けませんでした.");
    EXPECT_STREQ(XmlResultText(XML_ERR_UNCLOSED_TAG), "タグが>で閉じられていません.");
    EXPECT_STREQ(XmlResultText(XML_ERR_NO_TAG_NAME), "タグ名を取得できません.");
    EXPECT_STREQ(XmlResultText(XML_ERR_EXTRA_END_TAG), "終了タグ過多です.");
    EXPECT_STREQ(XmlResultText(XML_ERR_EXTRA_START_TAG), "開始タグ過多です.");
    EXPECT_STREQ(XmlResultText(XML_ERR_BAD_TAG), "不完全で解釈できないタグが存在します.");
    EXPECT_STREQ(XmlResultText(static_cast<XmlResult>(-1)), "");
    EXPECT_STREQ(XmlResultText(static_cast<XmlResult>(7)), "");
}

TEST(XmlCursor, WalksAnEmptyList) {
    CXmlDocument doc;
    EXPECT_EQ(doc.Cursor(), -1);
    EXPECT_EQ(doc.GetName(), "");
    EXPECT_EQ(doc.GetAttribute("x"), "");
    EXPECT_FALSE(doc.Next());
    EXPECT_EQ(doc.Cursor(), 0);
    EXPECT_FALSE(doc.Next());
    EXPECT_EQ(doc.Cursor(), 0);
}

TEST(XmlCursor, WalksElementsAndStopsPastTheEnd) {
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadFromMemory("<face><bounds x='1' X='2' x='3'/></face>"), XML_OK);
    doc.Rewind();
    EXPECT_EQ(doc.GetName(), "");
    ASSERT_TRUE(doc.Next());
    EXPECT_EQ(doc.GetName(), "face");
    ASSERT_TRUE(doc.Next());
    EXPECT_EQ(doc.GetName(), "bounds");
    EXPECT_EQ(doc.GetAttribute("x"), "1");  // the first of equal names
    EXPECT_EQ(doc.GetAttribute("X"), "");   // stored names are lower case
    EXPECT_EQ(doc.GetAttribute("x "), "");
    EXPECT_TRUE(doc.Next());
    EXPECT_TRUE(doc.Next());
    EXPECT_FALSE(doc.Next());
    EXPECT_EQ(doc.Cursor(), 4);
    EXPECT_EQ(doc.GetName(), "");
    EXPECT_EQ(doc.GetAttribute("x"), "");
    EXPECT_FALSE(doc.Next());
    EXPECT_EQ(doc.Cursor(), 4);
}

TEST(XmlCursor, SurvivesALoadUntilRewound) {
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadFromMemory("<a/><b/><c/>"), XML_OK);
    doc.Next();
    doc.Next();
    ASSERT_EQ(doc.LoadFromMemory("<x/>"), XML_OK);
    EXPECT_EQ(doc.Cursor(), 1);
    EXPECT_EQ(doc.GetName(), "");
    EXPECT_FALSE(doc.Next());
    EXPECT_EQ(doc.Cursor(), 1);
    doc.Rewind();
    EXPECT_TRUE(doc.Next());
    EXPECT_EQ(doc.GetName(), "x");
}

class XmlFile : public testing::Test {
protected:
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string Write(const std::string& name, const std::string& bytes) {
        std::filesystem::create_directories(m_dir);
        const auto path = m_dir / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    std::filesystem::path m_dir =
        std::filesystem::temp_directory_path() / ("norvo-xml-test-" + std::to_string(::getpid()));
};

TEST_F(XmlFile, LoadsADetectionAnswer) {
    const std::string path = Write("tmpfile.xml",
                                   "<?xml version='1.0' encoding='utf-8'?>\r\n"
                                   "<faces>\r\n"
                                   "  <!-- one per face -->\r\n"
                                   "  <bounds left='10' top='20' right='110' bottom='140'/>\r\n"
                                   "</faces>\r\n");
    CXmlDocument doc;
    ASSERT_EQ(doc.Load(path.c_str()), XML_OK);
    EXPECT_EQ(Dump(doc),
              "X:?xml:0[version=1.0,encoding=utf-8'?] S:faces:0 "
              "S:bounds:1[left=10,top=20,right=110,bottom=140] E:bounds:1 E:faces:0");
}

TEST_F(XmlFile, UnreadablePathLeavesTheListEmpty) {
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadFromMemory("<a/>"), XML_OK);
    EXPECT_EQ(doc.Load((m_dir / "missing.xml").string().c_str()), XML_ERR_OPEN);
    EXPECT_TRUE(doc.Elements().empty());
    Write("x", "");
    EXPECT_EQ(doc.Load(m_dir.string().c_str()), XML_ERR_OPEN);  // a folder
    EXPECT_EQ(doc.Load(nullptr), XML_ERR_OPEN);
}

TEST_F(XmlFile, EmptyFileLoads) {
    CXmlDocument doc;
    EXPECT_EQ(doc.Load(Write("empty.xml", "").c_str()), XML_OK);
    EXPECT_TRUE(doc.Elements().empty());
}

}  // namespace
}  // namespace norvo
