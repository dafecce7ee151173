#include "app/UserLanguage.h"

// The texts on Linux: Qt's translator reads norvo_<language>.qm from the translations folder.

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

std::string FilePath(const std::string& folder, const std::string& language) {
    return folder + kFilePrefix + language + kFileSuffix;
}

}  // namespace

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
