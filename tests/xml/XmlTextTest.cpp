#include <gtest/gtest.h>

#include <random>
#include <string>

#include "xml/XmlText.h"

namespace norvo::xml {
namespace {

// Comment removal the plain way: cut each comment out in place and search on from where it
// began. Quadratic, so only for short texts; the reader's one-pass removal must agree with it.
std::string StripCommentsInPlace(std::string text) {
    size_t pos = 0;
    for (;;) {
        const size_t open = text.find("<!--", pos);
        if (open == std::string::npos) {
            return text;
        }
        const size_t close = text.find("-->", open + 4);
        if (close == std::string::npos) {
            text.erase(open);
            return text;
        }
        text.erase(open, close + 3 - open);
        pos = open;
    }
}

TEST(StripComments, AgreesWithInPlaceRemoval) {
    // Few letters, so comment marks form, overlap and join across removed comments often.
    std::mt19937 random(7);
    const char alphabet[] = "<!->a";
    for (int round = 0; round < 20'000; ++round) {
        std::string text(random() % 24, ' ');
        for (char& c : text) {
            c = alphabet[random() % 5];
        }
        ASSERT_EQ(StripComments(text), StripCommentsInPlace(text)) << text;
    }
}

TEST(StripComments, JoinedMarksStartNoNewComment) {
    // "<!-" + "-->" left over after a removal is not searched again.
    EXPECT_EQ(StripComments("<!<!--x-->--a-->b"), "<!--a-->b");
    EXPECT_EQ(StripComments("<!--->"), "");
    EXPECT_EQ(StripComments("<!---->x"), "x");
    EXPECT_EQ(StripComments("<!-->-->y"), "y");
}

struct JoinCase {
    const char* label;
    std::string bytes;
    std::string text;
};

void PrintTo(const JoinCase& c, std::ostream* os) {
    *os << c.label;
}

class JoinLinesCase : public testing::TestWithParam<JoinCase> {};

TEST_P(JoinLinesCase, GivesTheDocumentText) {
    EXPECT_EQ(JoinLines(GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, JoinLinesCase,
    testing::Values(JoinCase{"TrimsAndJoins", " \t<a\r\n\t b='1'/> \n", "<ab='1'/>"},
                    JoinCase{"OneCarriageReturnOnly", "a\r\r\nb", "a\rb"},
                    JoinCase{"BareCarriageReturnsStay", "a\rb\rc", "a\rb\rc"},
                    JoinCase{"NoFinalLineFeed", "a\nb", "ab"},
                    JoinCase{"BlankLines", "\n\n \t\n", ""},
                    JoinCase{"LineFeedAfterLeadByte", "\x81\n x\ny", "\x81\n xy"},
                    JoinCase{"LeadByteAtTheEnd", "a\n\x81", "a\x81"},
                    JoinCase{"InnerBlanksStay", "a  b\t\tc", "a  b\t\tc"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ReadLine, KeepsTheLineFeedAndReportsTheEnd) {
    const std::string bytes = "ab\n\x81\ncd";
    size_t pos = 0;
    std::string_view line;
    ASSERT_TRUE(ReadLine(bytes, pos, line));
    EXPECT_EQ(line, "ab\n");
    ASSERT_TRUE(ReadLine(bytes, pos, line));
    EXPECT_EQ(line, "\x81\ncd");
    EXPECT_FALSE(ReadLine(bytes, pos, line));
}

TEST(FindDelimiter, PassesOverSecondBytes) {
    const auto npos = std::string_view::npos;
    EXPECT_EQ(FindDelimiter("<a", '<', 0), 0u);
    EXPECT_EQ(FindDelimiter("a<", '<', 0), 1u);
    EXPECT_EQ(FindDelimiter("\x81<a<", '<', 0), 3u);
    EXPECT_EQ(FindDelimiter("\xFC>", '>', 0), npos);
    EXPECT_EQ(FindDelimiter("\xFD>", '>', 0), 1u);  // past the lead byte range
    EXPECT_EQ(FindDelimiter("\xA0>", '>', 0), 1u);  // between the two ranges
    // Only the byte just before counts, even when it is a second byte itself.
    EXPECT_EQ(FindDelimiter("\x81\x81<", '<', 0), npos);
    EXPECT_EQ(FindDelimiter("<<", '<', 1), 1u);
    EXPECT_EQ(FindDelimiter("<", '<', 1), npos);
}

TEST(ToLowerAscii, LowersLettersOutsideDoubleByteCharacters) {
    std::string text =
        "AZaz@[\x82"
        "A\x82"
        "ABC\xE0Z\xC0";
    ToLowerAscii(text);
    EXPECT_EQ(text,
              "azaz@[\x82"
              "A\x82"
              "Abc\xE0Z\xC0");
}

struct QuoteCase {
    std::string in;
    std::string out;
};

TEST(StripSingleQuotes, RemovesAnEnclosingPairOrALeadingQuote) {
    const QuoteCase cases[] = {{"'a'", "a"}, {"'a", "a"},  {"a'", "a'"}, {"''", ""},
                               {"'", "'"},   {"'''", "'"}, {"", ""},     {"\"a\"", "\"a\""}};
    for (const QuoteCase& c : cases) {
        std::string text = c.in;
        StripSingleQuotes(text);
        EXPECT_EQ(text, c.out) << c.in;
    }
}

}  // namespace
}  // namespace norvo::xml
