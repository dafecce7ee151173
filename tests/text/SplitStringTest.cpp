#include <gtest/gtest.h>

#include "text/StringList.h"

using norvo::SplitString;
using norvo::StringList;

namespace {

StringList Split(const std::string& text, const std::string& delim, char quote, bool keepEmpty) {
    StringList list;
    SplitString(text, list, delim, quote, keepEmpty);
    return list;
}

TEST(SplitString, EmptyTextOrDelimiterAppendsNothing) {
    EXPECT_TRUE(Split("", "\r\n", 0, true).empty());
    EXPECT_TRUE(Split("abc", "", 0, true).empty());
}

TEST(SplitString, TextEqualToDelimiter) {
    EXPECT_EQ(Split("/", "/", 0, true), (StringList{"", ""}));
    EXPECT_TRUE(Split("/", "/", 0, false).empty());
}

TEST(SplitString, KeepsOrDropsEmptyPieces) {
    EXPECT_EQ(Split("A\r\nB\r\n", "\r\n", 0, true), (StringList{"A", "B", ""}));
    EXPECT_EQ(Split("A\r\nB\r\n", "\r\n", 0, false), (StringList{"A", "B"}));
    EXPECT_EQ(Split("http://host/a/b.jpg", "/", 0, false),
              (StringList{"http:", "host", "a", "b.jpg"}));
}

TEST(SplitString, AppendsWithoutClearing) {
    StringList list{"x"};
    SplitString("a b", list, " ", 0, false);
    EXPECT_EQ(list, (StringList{"x", "a", "b"}));
}

TEST(SplitString, DelimiterInsideQuotesDoesNotCut) {
    EXPECT_EQ(Split("a href='x y' b", " ", '\'', false), (StringList{"a", "href='x y'", "b"}));
    // An unbalanced quote keeps the rest as one piece.
    EXPECT_EQ(Split("a 'b c d", " ", '\'', false), (StringList{"a", "'b c d"}));
}

TEST(SplitString, LeadByteHidesTheQuoteAfterIt) {
    // 0x82 is a lead byte, so the quote after it is the second byte of a character and does not
    // open a quoted stretch: the space cuts.
    EXPECT_EQ(Split("\x82' b", " ", '\'', false), (StringList{"\x82'", "b"}));
    // 0x41 is no lead byte: the quote opens, the space does not cut.
    EXPECT_EQ(Split("A' b", " ", '\'', false), (StringList{"A' b"}));
}

TEST(SplitString, ManyQuotedDelimitersStayLinear) {
    std::string text = "'" + std::string(2'000'000, ' ') + "' x";
    const StringList list = Split(text, " ", '\'', false);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1], "x");
}

}  // namespace
