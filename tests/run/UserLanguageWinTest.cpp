// The language on Windows: chosen from the locale variables when one is set, else from the
// user's UI language; the English texts come from the catalogue compiled in at build time.
// ctest runs the UI language's test under Wine with LC_ALL=en_US.UTF-8 and with
// LC_ALL=ja_JP.UTF-8, which set Wine's UI language; NORVO_TEST_UI_LANGUAGE tells the test which
// one it should be.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "app/RunTexts.h"
#include "app/TerminalTexts.h"
#include "app/UserLanguage.h"
#include "app/gui/WindowTexts.h"
#include "tests/support/PosixCompat.h"
#include "text/TextCatalogue.h"
#include "text/UserText.h"

namespace norvo {
namespace {

TEST(WindowsLanguageChoiceTest, LocaleVariablesBeatTheUiLanguage) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> env;
        std::string uiLocale;
        std::string expected;  // "" is the program's own language
    };
    const std::set<std::string> languages = {"en", "de"};
    const Case cases[] = {
        {"Japanese UI", {}, "ja-JP", ""},
        {"English UI", {}, "en-US", "en"},
        {"a UI language with a translation", {}, "de-AT", "de"},
        {"a UI language without one", {}, "fr-FR", "en"},
        {"a script in the UI locale", {}, "sr-Latn-RS", "en"},
        {"unknown UI language", {}, "", ""},
        {"LANG beats the UI", {{"LANG", "en_US.UTF-8"}}, "ja-JP", "en"},
        {"LANG=C beats the UI", {{"LANG", "C"}}, "en-US", ""},
        {"LC_ALL beats the UI", {{"LC_ALL", "ja_JP.UTF-8"}}, "de-DE", ""},
        {"LC_MESSAGES beats the UI", {{"LC_MESSAGES", "de_DE"}}, "ja-JP", "de"},
        {"an empty LANG is unset", {{"LANG", ""}}, "de-DE", "de"},
        {"LANGUAGE alone does not beat the UI", {{"LANGUAGE", "ja"}}, "ja-JP", ""},
        {"LANGUAGE lists wishes over the UI", {{"LANGUAGE", "fr:de"}}, "en-US", "de"},
    };
    for (const Case& c : cases) {
        const auto getenv = [&c](const char* name) -> const char* {
            const auto found = c.env.find(name);
            return found == c.env.end() ? nullptr : found->second.c_str();
        };
        const auto has = [&languages](const std::string& l) { return languages.count(l) != 0; };
        EXPECT_EQ(ChooseLanguageOrUi(getenv, c.uiLocale, has), c.expected) << c.name;
    }
    EXPECT_EQ(UiLanguageLocale(0x0411), "ja-JP");
    EXPECT_EQ(UiLanguageLocale(0x0409), "en-US");
}

TEST(WindowsLanguageChoiceTest, WithoutLocaleVariablesTheUiLanguageDecides) {
    const char* expected = std::getenv("NORVO_TEST_UI_LANGUAGE");
    ASSERT_NE(expected, nullptr) << "run by ctest, which names the UI language";
    const bool japanese = std::string(expected) == "ja";
    EXPECT_EQ(PRIMARYLANGID(GetUserDefaultUILanguage()), japanese ? LANG_JAPANESE : LANG_ENGLISH);
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"}) {
        unsetenv(variable);
    }
    EXPECT_EQ(SetUpUserLanguage(), japanese ? "" : "en");
    EXPECT_EQ(UserText(kSavedText), japanese ? "保存しました。" : "Saved.");
    // LANG, set, beats the UI language either way.
    setenv("LANG", japanese ? "en_US.UTF-8" : "ja_JP.UTF-8", 1);
    EXPECT_EQ(SetUpUserLanguage(), japanese ? "en" : "");
    unsetenv("LANG");
}

TEST(CompiledCatalogueTest, GivesTheEnglishTexts) {
    setenv("LANG", "en_US.UTF-8", 1);
    ASSERT_EQ(SetUpUserLanguage(), "en");
    const struct {
        const char* name;
        std::string shown;
        std::string expected;
    } cases[] = {
        {"a window title", UserText(kMainTitleText), "norvo v1"},
        {"an ampersand", UserText(kBodyLabelText), "&Body:"},
        {"a CR LF kept as the byte element", ComposeText(kDownloadFailedText, {"http://p", "Ada"}),
         "http://p\r\nCould not download the picture of Ada."},
        {"apostrophes and a second line",
         ComposeText(kUsageErrorText, {"norvo", UserText(kNoRunAskedText)}),
         "norvo: no run asked for\nTry 'norvo --help' for more information."},
        {"a semicolon", ComposeText(kOutputExistsText, {"norvo", "p.jpg"}),
         "norvo: p.jpg exists; use --force to replace it"},
        {"the help's first line", ComposeText(kHelpText, {"norvo"}).substr(0, 25),
         "Usage: norvo [OPTION]...\n"},
        {"a text without a translation stays", UserText("未翻訳"), "未翻訳"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.shown, c.expected) << c.name;
    }
    // Every text of the table, none empty, none left in the program's own language by mistake.
    const CatalogueLanguage* english = FindLanguage(CompiledLanguages(), "en");
    ASSERT_NE(english, nullptr);
    EXPECT_GT(english->entries.size(), 50u);
    for (const CatalogueEntry& entry : english->entries) {
        EXPECT_FALSE(entry.translation.empty()) << entry.source;
        EXPECT_EQ(UserText(entry.source), entry.translation);
    }
    EXPECT_EQ(FindLanguage(CompiledLanguages(), "ja"), nullptr);
    unsetenv("LANG");
}

}  // namespace
}  // namespace norvo
