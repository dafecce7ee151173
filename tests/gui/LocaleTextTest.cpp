// Names leave the edits in the locale's character set and come back unchanged.

#include <gtest/gtest.h>

#include "app/gui/LocaleText.h"

namespace norvo {
namespace {

TEST(LocaleText, NamesTakeTheBytesOfTheGivenCharacterSet) {
    const struct {
        const char* charset;
        QString text;
        std::string bytes;
    } cases[] = {
        {"UTF-8", QString::fromUtf8("山田 é"), "\xE5\xB1\xB1\xE7\x94\xB0 \xC3\xA9"},
        {"UTF-8", QString::fromUtf8("\xF0\xA0\xAE\xB7田"), "\xF0\xA0\xAE\xB7\xE7\x94\xB0"},
        {"ISO-8859-1", QString::fromUtf8("José"), "Jos\xE9"},
        {"CP932", QString::fromUtf8("山田あ"), "\x8E\x52\x93\x63\x82\xA0"},
        {"ISO-8859-1", QString(), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.charset);
        EXPECT_EQ(ToLocaleBytes(c.text, c.charset), c.bytes);
        EXPECT_EQ(FromLocaleBytes(c.bytes, c.charset), c.text);
    }
}

TEST(LocaleText, CharactersTheSetCannotHoldBecomeQuestionMarks) {
    EXPECT_EQ(ToLocaleBytes(QString::fromUtf8("aあb😀c"), "ISO-8859-1"), "a?b?c");
}

}  // namespace
}  // namespace norvo
