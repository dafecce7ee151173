#include "app/UserLanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "saori/Platform.h"
#include "text/UserText.h"

namespace norvo {

namespace {

constexpr char kOwnLanguage[] = "ja";
constexpr char kFallbackLanguage[] = "en";
constexpr char kFilePrefix[] = "norvo_";
constexpr char kFileSuffix[] = ".qm";
// The tools file every text marked with NORVO_TEXT under the namespace it stands in.
constexpr char kTextContext[] = "norvo";

class QtTextTranslation : public TextTranslation {
public:
    bool Load(const std::string& path) { return m_translator.load(QString::fromStdString(path)); }

    std::string Translate(std::string_view text) const override {
        const std::string source(text);
        return m_translator.translate(kTextContext, source.c_str()).toStdString();
    }

private:
    QTranslator m_translator;
};

// Lives as long as the process: the texts are shown through it until the end, so it is never
// destroyed (its translators are Qt objects, which must not outlive Qt's own globals).
struct LanguageState {
    QtTextTranslation texts;
    QTranslator toolkitTexts;
    std::string language;
};

LanguageState& State() {
    static LanguageState& state = *new LanguageState;
    return state;
}

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

std::string FilePath(const std::string& folder, const std::string& language) {
    return folder + kFilePrefix + language + kFileSuffix;
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

std::string TranslationsFolder() {
    const std::string data = platform::DataFolder();
    return data.empty() ? "" : data + "translations/";
}

std::string SetUpUserLanguage(const std::string& folder) {
    LanguageState& state = State();
    UseTranslation(nullptr);
    const auto hasFile = [&folder](const std::string& language) {
        std::error_code ec;
        return !folder.empty() && std::filesystem::is_regular_file(FilePath(folder, language), ec);
    };
    std::string language =
        ChooseLanguage([](const char* name) { return std::getenv(name); }, hasFile);
    if (!language.empty() && !state.texts.Load(FilePath(folder, language))) {
        language.clear();
    }
    UseTranslation(language.empty() ? nullptr : &state.texts);
    state.language = language;
    return language;
}

bool TranslateToolkitTexts() {
    LanguageState& state = State();
    const QLocale language(
        QString::fromStdString(state.language.empty() ? kOwnLanguage : state.language));
    if (!state.toolkitTexts.load(language, QStringLiteral("qtbase"), QStringLiteral("_"),
                                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        return false;
    }
    return QCoreApplication::installTranslator(&state.toolkitTexts);
}

}  // namespace norvo
