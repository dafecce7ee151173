// The language texts are shown in: how it is chosen, the translation files against the texts
// the program marks, and every message of a run in English. ctest runs this binary under
// LANG=en_US.UTF-8, ja_JP.UTF-8 and C (see CMakeLists.txt); no locale needs to be installed.

#include <gtest/gtest.h>

#include <QFile>
#include <QXmlStreamReader>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/EmbeddedGallery.h"
#include "app/PortraitChoice.h"
#include "app/PortraitCredits.h"
#include "app/RunTexts.h"
#include "app/ServiceSetup.h"
#include "app/TerminalTexts.h"
#include "app/TerminalView.h"
#include "app/UserLanguage.h"
#include "imaging/LandmarkModel.h"
#include "text/UserText.h"
#include "web/LookupTexts.h"
#ifdef NORVO_HAVE_WINDOW_TEXTS
#include "app/gui/WindowTexts.h"
#endif

namespace norvo {
namespace {

TEST(LanguageChoiceTest, FollowsTheLocaleVariablesAndFallsBackToEnglish) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> env;
        std::string expected;  // "" is the program's own language
    };
    // Files exist for English, German and Brazilian Portuguese.
    const std::set<std::string> files = {"en", "de", "pt_BR"};
    const Case cases[] = {
        {"no variables", {}, ""},
        {"C", {{"LANG", "C"}}, ""},
        {"C.UTF-8", {{"LANG", "C.UTF-8"}}, ""},
        {"POSIX", {{"LANG", "POSIX"}}, ""},
        {"Japanese", {{"LANG", "ja_JP.UTF-8"}}, ""},
        {"English", {{"LANG", "en_US.UTF-8"}}, "en"},
        {"a language without a file", {{"LANG", "fr_FR.UTF-8"}}, "en"},
        {"a language with a file", {{"LANG", "de_AT.UTF-8@euro"}}, "de"},
        {"a country's own file", {{"LANG", "pt_BR.UTF-8"}}, "pt_BR"},
        {"LC_ALL before the rest", {{"LC_ALL", "ja_JP.UTF-8"}, {"LANG", "de_DE.UTF-8"}}, ""},
        {"LC_MESSAGES before LANG",
         {{"LC_MESSAGES", "de_DE.UTF-8"}, {"LANG", "ja_JP.UTF-8"}},
         "de"},
        {"an empty LC_ALL is unset", {{"LC_ALL", ""}, {"LANG", "de_DE.UTF-8"}}, "de"},
        {"LANGUAGE lists the wishes", {{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "fr:ja:de"}}, ""},
        {"LANGUAGE to the first with a file",
         {{"LANG", "ja_JP.UTF-8"}, {"LANGUAGE", "fr:de"}},
         "de"},
        {"LANGUAGE does not count under C", {{"LANG", "C"}, {"LANGUAGE", "de"}}, ""},
        {"no path in a language name", {{"LANG", "de_DE"}, {"LANGUAGE", "de/../x:de"}}, "de"},
    };
    // The language becomes part of a file name: only names are ever looked for.
    std::set<std::string> lookedFor;
    for (const Case& c : cases) {
        const auto getenv = [&c](const char* name) -> const char* {
            const auto found = c.env.find(name);
            return found == c.env.end() ? nullptr : found->second.c_str();
        };
        const auto hasFile = [&files, &lookedFor](const std::string& language) {
            lookedFor.insert(language);
            return files.count(language) != 0;
        };
        EXPECT_EQ(ChooseLanguage(getenv, hasFile), c.expected) << c.name;
    }
    for (const std::string& language : lookedFor) {
        EXPECT_EQ(language.find_first_of("/."), std::string::npos) << language;
    }
    // Without any translation file every language keeps the program's own texts.
    EXPECT_EQ(ChooseLanguage([](const char*) { return "en_US.UTF-8"; },
                             [](const std::string&) { return false; }),
              "");
}

// One message of a translation file.
struct CatalogueEntry {
    std::string context;
    std::string source;
    std::string translation;
    bool finished = true;
};

// The text of the element the reader is on, with the file format's <byte value="xd"/> for
// characters XML cannot hold.
std::string ElementText(QXmlStreamReader& xml) {
    std::string text;
    const QString element = xml.name().toString();
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isCharacters()) {
            text += xml.text().toString().toStdString();
        } else if (xml.isStartElement() && xml.name() == QLatin1String("byte")) {
            QString value = xml.attributes().value(QLatin1String("value")).toString();
            const bool hex = value.startsWith(QLatin1Char('x'));
            text += static_cast<char>(value.mid(hex ? 1 : 0).toInt(nullptr, hex ? 16 : 10));
        } else if (xml.isEndElement() && xml.name() == element) {
            break;
        }
    }
    return text;
}

std::vector<CatalogueEntry> ReadCatalogue(const std::string& path) {
    std::vector<CatalogueEntry> entries;
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path;
        return entries;
    }
    QXmlStreamReader xml(&file);
    std::string context;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        if (xml.name() == QLatin1String("name")) {
            context = ElementText(xml);
        } else if (xml.name() == QLatin1String("message")) {
            entries.push_back({context, "", "", true});
        } else if (xml.name() == QLatin1String("source") && !entries.empty()) {
            entries.back().source = ElementText(xml);
        } else if (xml.name() == QLatin1String("translation") && !entries.empty()) {
            // unfinished, vanished or obsolete
            entries.back().finished = !xml.attributes().hasAttribute(QLatin1String("type"));
            entries.back().translation = ElementText(xml);
        }
    }
    EXPECT_FALSE(xml.hasError()) << path << ": " << xml.errorString().toStdString();
    return entries;
}

// The pieces a pattern takes: "%2 of %1" -> {1, 2}.
std::set<char> Pieces(const std::string& pattern) {
    std::set<char> pieces;
    for (size_t i = 0; i + 1 < pattern.size(); ++i) {
        if (pattern[i] == '%' && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
            pieces.insert(pattern[i + 1]);
        }
    }
    return pieces;
}

TEST(TranslationFilesTest, EachTranslatesEveryTextOfTheProgramAndKeepsItsPieces) {
    const std::vector<CatalogueEntry> texts = ReadCatalogue(NORVO_TEXTS_FILE);
    ASSERT_GT(texts.size(), 50u) << "the build collects the marked texts into " NORVO_TEXTS_FILE;
    std::set<std::string> sources;
    for (const CatalogueEntry& text : texts) {
        // The program looks texts up under its namespace alone.
        EXPECT_EQ(text.context, "norvo") << "marked inside a class: " << text.source;
        sources.insert(text.source);
    }

    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(NORVO_TRANSLATIONS_SOURCE)) {
        if (entry.path().extension() == ".ts") {
            files.push_back(entry.path());
        }
    }
    ASSERT_FALSE(files.empty());
    for (const std::filesystem::path& file : files) {
        const std::string name = file.filename().string();
        std::map<std::string, CatalogueEntry> bySource;
        for (const CatalogueEntry& entry : ReadCatalogue(file.string())) {
            EXPECT_TRUE(sources.count(entry.source))
                << name << " translates a text the program no longer has: " << entry.source;
            bySource[entry.source] = entry;
        }
        for (const std::string& source : sources) {
            const auto found = bySource.find(source);
            if (found == bySource.end() || !found->second.finished ||
                found->second.translation.empty()) {
                ADD_FAILURE() << name << " has no finished translation of: " << source;
                continue;
            }
            EXPECT_EQ(Pieces(found->second.translation), Pieces(source))
                << name << " changes the pieces of: " << source;
        }
    }
}

// What a view shows for a message the run hands it.
std::string Shown(const std::string& message) {
    return UserText(message);
}

struct EnglishCase {
    const char* name;
    std::string shown;
    std::string expected;
};

TEST(InEnglish, EveryMessageOfTheRunAndEveryWindowText) {
    ASSERT_EQ(SetUpUserLanguage(), "en") << "runs under LANG=en_US.UTF-8";
    PortraitSources sources{"Ada", "Bob", {}, {}};
    sources.bodyCredit.file = "a.jpg";
    sources.faceCredit.file = "b.jpg";
    const EnglishCase cases[] = {
#ifdef NORVO_HAVE_WINDOW_TEXTS
        {"main title", Shown(kMainTitleText), "norvo v1"},
        {"body label", Shown(kBodyLabelText), "&Body:"},
        {"face label", Shown(kFaceLabelText), "&Face:"},
        {"create button", Shown(kCreateButtonText), "&Create"},
        {"busy label", Shown(kBusyLabelText), "Working..."},
        {"save dialog title", Shown(kSaveDialogTitleText), "Save Picture"},
        {"save filter", Shown(kSaveFilterText), "JPEG images (*.jpg)"},
        {"natural check", Shown(kNaturalCheckText), "&Natural blend"},
        {"warning caption", Shown(kWarningCaptionText), "norvo"},
        {"unexpected failure", Shown(kUnexpectedFailureText),
         "Stopped because of an unexpected error."},
#endif
        {"load failed", Shown(kLoadFailedText), "httpc.dll load failed."},
        {"no internet", Shown(kNoInternetText), "Could not connect to the internet."},
        {"download failed", Shown(DownloadFailedText("http://p/a.png", "Ada")),
         "http://p/a.png\r\nCould not download the picture of Ada."},
        {"unreadable", Shown(UnreadableText("a.png")), "Could not read the picture a.png."},
        {"saved", Shown(kSavedText), "Saved."},
        {"not saved", Shown(kNotSavedText), "Finished without saving the result."},
        {"write failed", Shown(kWriteFailedText), "Could not save the picture."},
        {"credits", CreditsDetails(sources), "Sources:\nBody (Ada): a.jpg\nFace (Bob): b.jpg"},
        {"label failed", UserText(kLabelFailedText), "Could not write the label into the picture."},
        {"model missing", Shown(LandmarkModelProblemText(LandmarkModelStatus::Missing, "/m.dat")),
         "The face landmark model “/m.dat” was not found. Without it there is no natural blend, "
         "so the classic blend is used."},
        {"model unreadable",
         Shown(LandmarkModelProblemText(LandmarkModelStatus::Unreadable, "/m.dat")),
         "Could not read the face landmark model “/m.dat”. Without it there is no natural blend, "
         "so the classic blend is used."},
        {"classic faces, pieces in the other order", Shown(ClassicFacesText(1, 3)),
         "No landmarks were found on 1 of the 3 faces, so those were blended the classic way."},
        {"natural unavailable", Shown(kNaturalUnavailableText),
         "The natural blend is not available. Using the classic blend."},
        {"natural out of memory", Shown(kNaturalOutOfMemoryText),
         "Not enough memory to make the natural blend."},
        {"request result 1", Shown(SaoriRequestFailureText(1)), "httpc.dll request failed."},
        {"request result 2", Shown(SaoriRequestFailureText(2)),
         "httpc.dll request gave a malformed answer."},
        {"request result 4", Shown(SaoriRequestFailureText(4)),
         "httpc.dll request did not end normally."},
        {"search message with a text in it", Shown(SearchMessageText(kRequestNotEndedText)),
         "httpc.dll request did not end normally. (Google image search)"},
        {"encode failed", Shown(SearchMessageText(kEncodeFailedText)),
         "Could not URL-encode the search text. (Google image search)"},
        {"no detection", Shown(NoDetectionText("Ada")), "Could not recognize a face for Ada. (0)"},
        {"no face", Shown(NoFaceText("Ada")), "Could not recognize a face for Ada. (1)"},
        {"comparison failed", ComparisonFailedText("/p.png"),
         "Could not write the comparison picture: /p.png"},
        // The terminal's own lines were English already and stay as they were.
        {"usage error with a text in it",
         ComposeText(kUsageErrorText, {"norvo", UserText(kNoRunAskedText)}),
         "norvo: no run asked for\nTry 'norvo --help' for more information."},
        {"gallery failed",
         ComposeText(
             kGalleryStartFailedText,
             {UserText(EmbeddedGallery::describe(EmbeddedGallery::Status::NoProgram)), "/g"}),
         "the bundled gallery service (norvo-gallery) is missing (/g)"},
        {"help", HelpText("norvo").substr(0, 32), "Usage: norvo [OPTION]...\nMake a "},
    };
    for (const EnglishCase& c : cases) {
        EXPECT_EQ(c.shown, c.expected) << c.name;
    }
}

TEST(InTheProgramsOwnLanguage, NoTranslationIsChosen) {
    // Under ja_* and C the texts are the program's own (the texts table pins them byte for
    // byte in this same process).
    EXPECT_EQ(SetUpUserLanguage(), "");
    EXPECT_EQ(UserText(kSavedText), kSavedText);
}

}  // namespace
}  // namespace norvo
