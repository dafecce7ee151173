#include "app/UserLanguage.h"

// The texts on Windows: the translations compiled into the program (no Qt, no files to find),
// the language from the locale variables when set, else from the user's UI language.

#include <windows.h>

#include <cstdlib>

#include "base/WideText.h"
#include "text/TextCatalogue.h"
#include "text/UserText.h"

namespace norvo {

namespace {

// Lives as long as the process: texts are shown through it until the end.
CatalogueTranslation& Texts() {
    static CatalogueTranslation& texts = *new CatalogueTranslation;
    return texts;
}

bool IsSet(const char* value) {
    return value != nullptr && value[0] != '\0';
}

}  // namespace

std::string ChooseLanguageOrUi(const EnvironmentReader& getenv, const std::string& uiLocale,
                               const TranslationFinder& hasFile) {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (IsSet(getenv(variable))) {
            return ChooseLanguage(getenv, hasFile);
        }
    }
    // An unknown UI language reads as no locale at all: the program's own texts.
    const auto withUi = [&getenv, &uiLocale](const char* name) -> const char* {
        if (std::string_view(name) == "LANG") {
            return uiLocale.empty() ? nullptr : uiLocale.c_str();
        }
        return getenv(name);
    };
    return ChooseLanguage(withUi, hasFile);
}

std::string UiLanguageLocale(unsigned short languageId) {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    if (LCIDToLocaleName(MAKELCID(languageId, SORT_DEFAULT), name, LOCALE_NAME_MAX_LENGTH, 0) <=
        0) {
        return "";
    }
    return win::FromWide(name);
}

std::string TranslationsFolder() {
    return "";
}

std::string SetUpUserLanguage(const std::string&) {
    UseTranslation(nullptr);
    const std::span<const CatalogueLanguage> languages = CompiledLanguages();
    const std::string language = ChooseLanguageOrUi(
        [](const char* name) { return std::getenv(name); },
        UiLanguageLocale(GetUserDefaultUILanguage()),
        [&languages](const std::string& name) { return FindLanguage(languages, name) != nullptr; });
    if (const CatalogueLanguage* found = FindLanguage(languages, language)) {
        Texts() = CatalogueTranslation(found->entries);
        UseTranslation(&Texts());
    }
    return language;
}

bool TranslateToolkitTexts() {
    return false;
}

}  // namespace norvo
