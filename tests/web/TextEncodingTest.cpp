#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>

#include "web/TextEncoding.h"

namespace norvo {
namespace {

struct FreeDeleter {
    void operator()(void* block) const { std::free(block); }
};
using WideBlock = std::unique_ptr<char16_t, FreeDeleter>;
using Utf8Block = std::unique_ptr<char, FreeDeleter>;

std::u16string Wide(const char* text, const char* charset, size_t* size = nullptr) {
    size_t ignored = 0;
    WideBlock wide(ConvertToWide(text, size ? size : &ignored, charset));
    return wide ? std::u16string(wide.get()) : u"<null>";
}

std::string Utf8(const std::u16string& units) {
    std::string out(3 * units.size() + 4, '\xAA');
    out.resize(EncodeUtf8(out.data(), units.data(), units.size()));
    return out;
}

// The whole chain the image search runs for one name.
std::string EncodeName(const char* text, const char* charset) {
    size_t size = 0;
    WideBlock wide(ConvertToWide(text, &size, charset));
    if (!wide) {
        return "<null>";
    }
    size_t length = 0;
    Utf8Block utf8(ConvertToUtf8(wide.get(), &length));
    EXPECT_EQ(length, std::strlen(utf8.get()));
    return PercentEncode(utf8.get());
}

struct NameCase {
    const char* label;
    const char* text;
    const char* charset;
    const char* encoded;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.label;
}

class NameEncoding : public testing::TestWithParam<NameCase> {};

TEST_P(NameEncoding, GivesPercentEncodedUtf8) {
    EXPECT_EQ(EncodeName(GetParam().text, GetParam().charset), GetParam().encoded);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameEncoding,
    testing::Values(NameCase{"Letters", "abc", "UTF-8", "%61%62%63"},
                    NameCase{"SpaceAndHyphen", "a b-c", "UTF-8", "%61%20%62%2D%63"},
                    NameCase{"Empty", "", "UTF-8", ""},
                    NameCase{"HiraganaFromUtf8", "\xE3\x81\x82", "UTF-8", "%E3%81%82"},
                    NameCase{"HiraganaFromCp932", "\x82\xA0", "CP932", "%E3%81%82"},
#ifdef _WIN32
                    // No character set: the ANSI code page, 1252 under C.UTF-8 in Wine.
                    NameCase{"LocaleDefaultIsTheAnsiCodePage", "\xE9", nullptr, "%C3%A9"},
#else
                    NameCase{"LocaleDefaultIsUtf8Here", "\xC3\xA9", nullptr, "%C3%A9"},
#endif
                    NameCase{"OutsideSixteenBits", "\xF0\xA0\xAE\xB7", "UTF-8", "%F0%A0%AE%B7"},
                    NameCase{"Delete", "\x7F", "UTF-8", "%7F"},
                    NameCase{"UnknownCharset", "abc", "NO-SUCH-SET", "<null>"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ConvertToWide, ReportsTwiceTheByteLengthAndEndsInZero) {
    size_t size = 99;
    EXPECT_EQ(Wide("\x82\xA0\x82\xA2", "CP932", &size), u"\u3042\u3044");
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(Wide("", "UTF-8", &size), u"");
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(ConvertToWide(nullptr, &size, "UTF-8"), nullptr);
}

TEST(ConvertToWide, MarksInvalidBytesAndKeepsTheRest) {
    EXPECT_EQ(Wide("a\xFF"
                   "b",
                   "UTF-8"),
              u"a\uFFFDb");
#ifdef _WIN32
    // Windows marks a cut-off sequence once, and a lone Shift-JIS lead byte with its own
    // default character.
    EXPECT_EQ(Wide("a\xE3\x81", "UTF-8"), u"a\uFFFD");
    EXPECT_EQ(Wide("\x82", "CP932"), u"\u30FB");
#else
    // A cut-off sequence at the end: one mark per byte, never more units than bytes.
    EXPECT_EQ(Wide("a\xE3\x81", "UTF-8"), u"a\uFFFD\uFFFD");
    EXPECT_EQ(Wide("\x82", "CP932"), u"\uFFFD");
#endif
    EXPECT_EQ(Wide("\xF0\xA0\xAE\xB7", "UTF-8"), u"\xD842\xDFB7");
}

struct UnitCase {
    const char* label;
    std::u16string units;
    std::string bytes;
};

void PrintTo(const UnitCase& c, std::ostream* os) {
    *os << c.label;
}

class Utf8Encoding : public testing::TestWithParam<UnitCase> {};

TEST_P(Utf8Encoding, WritesTheBytes) {
    EXPECT_EQ(Utf8(GetParam().units), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Units, Utf8Encoding,
    testing::Values(
        UnitCase{"Ascii", u"A\x7F", "A\x7F"},
        UnitCase{"TwoBytes", u"\x80\xE9\x7FF", "\xC2\x80\xC3\xA9\xDF\xBF"},
        UnitCase{"ThreeBytes", u"\x800\x3042\xFFFF", "\xE0\xA0\x80\xE3\x81\x82\xEF\xBF\xBF"},
        UnitCase{"PairIsOneCharacter", u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
        UnitCase{"HighestPair", u"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF"},
        UnitCase{"LoneHigh", u"\xD83D", "\xEF\xBF\xBD"},
        UnitCase{"LoneLow", u"\xDE00", "\xEF\xBF\xBD"},
        UnitCase{"ReversedPair", u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        UnitCase{"HighBeforeLetter",
                 u"\xD83D"
                 u"A",
                 "\xEF\xBF\xBD"
                 "A"},
        UnitCase{"TwoHighsThenLow", u"\xD83D\xD83D\xDE00", "\xEF\xBF\xBD\xF0\x9F\x98\x80"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(EncodeUtf8, ReadsNoUnitPastTheCount) {
    const char16_t units[] = {0xD83D, 0xDE00, 0};
    char out[8] = {};
    EXPECT_EQ(EncodeUtf8(out, units, 1), 3u);
    EXPECT_STREQ(out, "\xEF\xBF\xBD");
}

TEST(ConvertToUtf8, FitsTheWorstCaseIntoItsBlock) {
    // Lone surrogates take three bytes each, the most any unit can; under ASan an overrun of
    // the 3n+4 block would fail here.
    const std::u16string lone(1000, u'\xDC00');
    size_t length = 0;
    Utf8Block utf8(ConvertToUtf8(lone.c_str(), &length));
    ASSERT_NE(utf8, nullptr);
    EXPECT_EQ(length, 3000u);
    EXPECT_EQ(std::strlen(utf8.get()), 3000u);
    EXPECT_EQ(ConvertToUtf8(nullptr, &length), nullptr);
}

TEST(PercentEncode, EscapesEveryByteInUpperCase) {
    EXPECT_EQ(PercentEncode("\xFF\x01"
                            "Az9~"),
              "%FF%01%41%7A%39%7E");
    EXPECT_EQ(PercentEncode(""), "");
    EXPECT_EQ(PercentEncode(nullptr), "");
}

TEST(LanguageNames, MapPrimaryIdentifiers) {
    EXPECT_STREQ(LanguageNameForId(0x11), "Japanese");
    EXPECT_STREQ(LanguageNameForId(0x22), "English");
    EXPECT_STREQ(LanguageNameForId(0x00), "Neutral");
    EXPECT_STREQ(LanguageNameForId(0x2F), "Macedonian");
    EXPECT_STREQ(LanguageNameForId(0x61), "Nepali");
    EXPECT_STREQ(LanguageNameForId(0x62), "English");
    EXPECT_STREQ(LanguageNameForId(0x3FF), "English");
}

TEST(LanguageNames, HaveExactlyTheListedGaps) {
    // The identifiers below 0x62 without a name of their own; 0x09 is English by its entry.
    const unsigned gaps[] = {0x17, 0x22, 0x28, 0x2E, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35,
                             0x3A, 0x3B, 0x3C, 0x3D, 0x40, 0x42, 0x50, 0x51, 0x52, 0x53,
                             0x54, 0x55, 0x56, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F};
    int named = 0;
    for (unsigned id = 0; id <= 0x3FF; ++id) {
        const bool isGap = std::find(std::begin(gaps), std::end(gaps), id) != std::end(gaps);
        const bool english = std::strcmp(LanguageNameForId(id), "English") == 0;
        if (id == 0x09 || id > 0x61 || isGap) {
            EXPECT_TRUE(english) << id;
        } else {
            EXPECT_FALSE(english) << id;
            ++named;
        }
    }
    EXPECT_EQ(named + 1, 69);  // plus the English entry itself
}

TEST(SelectSystemLocale, TakesTheEnvironmentsLocale) {
    const char* name = SelectSystemLocale(LC_CTYPE);
    ASSERT_NE(name, nullptr);
#ifdef _WIN32
    // The system's language (English under C.UTF-8 in Wine) names the C runtime's locale.
    EXPECT_STREQ(name, "English_United States.1252");
#else
    EXPECT_STREQ(name, "C.UTF-8");
#endif
}

}  // namespace
}  // namespace norvo
