#include "app/UserLanguage.h"

// How the language is chosen, the same on every system; showing the texts in it is
// UserLanguageQt.cpp (Qt's translator) or UserLanguageWin.cpp (the compiled-in catalogue).

#include <string_view>

namespace norvo {

namespace {

constexpr char kOwnLanguage[] = "ja";
constexpr char kFallbackLanguage[] = "en";

bool IsCLocale(std::string_view name) {
    return name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0;
}

// "de_AT.UTF-8@euro" -> "de_AT"; "" for anything that is no language name (it becomes part of
// a file name, so nothing but letters, digits, '_' and '-' passes).
std::string LanguageOf(std::string_view entry) {
    const std::string_view name = entry.substr(0, entry.find_first_of(".@"));
    if (name.empty() || IsCLocale(name)) {
        return "";
    }
    for (const char c : name) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!allowed) {
            return "";
        }
    }
    return std::string(name);
}

}  // namespace

std::string ChooseLanguage(const EnvironmentReader& getenv, const TranslationFinder& hasFile) {
    std::string locale;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = getenv(variable);
        if (value != nullptr && value[0] != '\0') {
            locale = value;
            break;
        }
    }
    if (locale.empty() || IsCLocale(locale)) {
        return "";
    }
    const char* wanted = getenv("LANGUAGE");
    const std::string list = wanted != nullptr && wanted[0] != '\0' ? wanted : locale;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) {
            end = list.size();
        }
        const std::string language = LanguageOf(std::string_view(list).substr(start, end - start));
        start = end + 1;
        if (language.empty()) {
            continue;
        }
        const std::string base = language.substr(0, language.find_first_of("_-"));
        if (base == kOwnLanguage) {
            return "";
        }
        if (hasFile(language)) {
            return language;
        }
        if (base != language && hasFile(base)) {
            return base;
        }
    }
    return hasFile(kFallbackLanguage) ? kFallbackLanguage : "";
}

}  // namespace norvo
