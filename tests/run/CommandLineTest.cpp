// Option parsing of the command line and the terminal view's output.

#include <gtest/gtest.h>

#include <stdlib.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include "app/CommandLine.h"
#include "app/CreateRun.h"
#include "app/FaceNumbers.h"
#include "app/PortraitCredits.h"
#include "app/ServiceSetup.h"
#include "app/TerminalView.h"
#include "tests/support/PosixCompat.h"

namespace norvo {
namespace {

// The variable naming the folder of the settings file (its norvo/norvo.conf), replaced for the
// life of the object.
class ConfigHome {
public:
#ifdef _WIN32
    static constexpr const char* kVariable = "APPDATA";
#else
    static constexpr const char* kVariable = "XDG_CONFIG_HOME";
#endif
    explicit ConfigHome(const std::string& folder) {
        const char* saved = std::getenv(kVariable);
        m_saved = saved != nullptr ? std::optional<std::string>(saved) : std::nullopt;
        setenv(kVariable, folder.c_str(), 1);
    }
    ~ConfigHome() {
        if (m_saved) {
            setenv(kVariable, m_saved->c_str(), 1);
        } else {
            unsetenv(kVariable);
        }
    }

private:
    std::optional<std::string> m_saved;
};

struct ParseCase {
    std::vector<std::string> args;
    CommandLineAction action;
    const char* error = "";  // part of the error text
};

TEST(CommandLineTest, ParsesGnuStyleOptionsAndRefusesTheRest) {
    using A = CommandLineAction;
    const ParseCase cases[] = {
        {{}, A::OpenWindows},
        {{"--help"}, A::Help},
        {{"--body", "x", "--help"}, A::Help},
        {{"--version"}, A::Version},
        {{"--body", "a", "--face", "b", "--output", "o.jpg"}, A::Run},
        {{"--body=a", "--face=b", "--output=o.jpg", "--force", "--verbose"}, A::Run},
        {{"--body=a", "--face=b", "--output=o.jpg", "--no-label"}, A::Run},
        {{"--no-label=yes"}, A::Error, "takes no value"},
        {{"--body", "a", "--face", "b", "--output", "o.jpg", "--"}, A::Run},
        {{"--body", "a", "--face", "b"}, A::Error, "needs --body, --face and --output"},
        {{"--body", "a", "--face", "b", "--output", ""}, A::Error, "output file name is empty"},
        {{"--body"}, A::Error, "requires a value"},
        {{"--bogus"}, A::Error, "unrecognized option '--bogus'"},
        {{"-b", "x"}, A::Error, "unexpected argument '-b'"},
        {{"name"}, A::Error, "unexpected argument 'name'"},
        {{"--body", "a", "--body", "b"}, A::Error, "given twice"},
        {{"--force=yes"}, A::Error, "takes no value"},
        {{"--", "--body"}, A::Error, "unexpected argument '--body'"},
        {{"--body", "a", "--face", "b", "--output", "o", "--offline"}, A::Run},
        {{"--body", "a", "--face", "b", "--output", "o", "--sources=gallery"}, A::Run},
        {{"--body", "a", "--face", "b", "--output", "o", "--sources", "gallery", "--offline"},
         A::Error,
         "--sources or --offline"},
        {{"--offline=yes"}, A::Error, "takes no value"},
        {{"--body=a", "--face=b", "--output=o.jpg", "--blend=natural", "--preview", "p.png"},
         A::Run},
        {{"--body=a", "--face=b", "--output=o.jpg", "--blend", "classic"}, A::Run},
        {{"--body=a", "--face=b", "--output=o.jpg", "--blend=Natural"},
         A::Error,
         "invalid blend 'Natural' (classic or natural)"},
        {{"--body=a", "--face=b", "--output=o.jpg", "--blend="}, A::Error, "invalid blend ''"},
        {{"--body=a", "--face=b", "--output=o.jpg", "--preview="},
         A::Error,
         "preview file name is empty"},
        // The user's choices: a list needs no output file; numbers count from 1.
        {{"--body=a", "--face=b", "--candidates"}, A::Run},
        {{"--body=a", "--candidates"}, A::Error, "needs --body, --face and --output"},
        {{"--body=a", "--face=b", "--candidates=1"}, A::Error, "takes no value"},
        {{"--body=a", "--face=b", "--output=o", "--body-pick=2", "--face-pick", "10"}, A::Run},
        {{"--body=a", "--face=b", "--output=o", "--body-pick=0"}, A::Error, "number '0'"},
        {{"--body=a", "--face=b", "--output=o", "--face-pick=-1"}, A::Error, "number '-1'"},
        {{"--body=a", "--face=b", "--output=o", "--face-pick=2x"}, A::Error, "number '2x'"},
        {{"--body=a", "--face=b", "--output=o", "--face-pick=99999999999999999999999"},
         A::Error,
         "number '99999999999999999999999'"},
        {{"--body=a", "--face=b", "--output=o", "--body-person=Q42", "--face-person", "x"}, A::Run},
        {{"--body=a", "--face=b", "--output=o", "--face-person="}, A::Error, "'--face-person'"},
        {{"--body=a", "--face=b", "--output=o", "--faces", " 3, 1 ,3"}, A::Run},
        {{"--body=a", "--face=b", "--output=o", "--faces=1,,3"}, A::Error, "face list '1,,3'"},
        {{"--body=a", "--face=b", "--output=o", "--faces="}, A::Error, "face list ''"},
        {{"--body=a", "--face=b", "--output=o", "--faces=0"}, A::Error, "face list '0'"},
        {{"--body=a", "--face=b", "--output=o", "--faces=1;2"}, A::Error, "face list '1;2'"},
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const auto& a : c.args) {
            joined += a + " ";
        }
        SCOPED_TRACE(joined);
        const ParsedCommandLine parsed = ParseCommandLine(c.args);
        EXPECT_EQ(parsed.action, c.action);
        EXPECT_NE(parsed.error.find(c.error), std::string::npos) << parsed.error;
    }
}

TEST(CommandLineTest, ChoicesComeFromTheOptionsAndNoneAreSetWithoutThem) {
    const ParsedCommandLine plain = ParseCommandLine({"--body=a", "--face=b", "--output=o"});
    EXPECT_FALSE(ChoicesFrom(plain.options).Any());

    const ParsedCommandLine chosen =
        ParseCommandLine({"--body=a", "--face=b", "--candidates", "--face-pick=3",
                          "--body-person=Q42", "--faces", "3, 1 ,3"});
    ASSERT_EQ(chosen.action, CommandLineAction::Run) << chosen.error;
    const RunChoices choices = ChoicesFrom(chosen.options);
    EXPECT_EQ(choices.body.person, "Q42");
    EXPECT_FALSE(choices.body.pick);
    EXPECT_EQ(choices.face.pick, std::optional<std::size_t>(3));
    EXPECT_EQ(choices.faces, (std::vector<std::size_t>{3, 1}));
    EXPECT_TRUE(choices.listOnly);
}

TEST(FaceNumbersTest, FacesCountFromTheLeftByTheirCentresAndBoxesWithoutAreaHaveNone) {
    // Listed right, empty, left, middle; the middle box's centre lies left of the wide one's.
    const FaceBoxList list = {
        {100, 0, 140, 40}, {50, 50, 50, 90}, {0, 10, 30, 40}, {20, 60, 60, 100}, {10, 0, 190, 20}};
    EXPECT_EQ(FacesLeftToRight(list), (std::vector<std::size_t>{2, 3, 4, 0}));
    EXPECT_EQ(SelectFaces(list, {4, 1}), (FaceBoxList{list[0], list[2]}));
    EXPECT_FALSE(SelectFaces(list, {5}));
    EXPECT_EQ(SelectFaces({}, {}), FaceBoxList{});
}

TEST(FaceNumbersTest, AClickFindsTheSmallestFaceHoldingIt) {
    const FaceBoxList faces{{0, 0, 100, 100}, {40, 40, 60, 60}, {200, 0, 240, 40}};
    EXPECT_EQ(FaceAt(faces, 50, 50), 1u) << "the face inside the larger box";
    EXPECT_EQ(FaceAt(faces, 10, 10), 0u);
    EXPECT_EQ(FaceAt(faces, 239.5, 39.5), 2u);
    EXPECT_EQ(FaceAt(faces, 240, 20), std::nullopt) << "right edges are outside";
    EXPECT_EQ(FaceAt(faces, 150, 50), std::nullopt);
}

TEST(PortraitCreditsTest, PersonalityRightsAreNamedInTheCreditsAndTheLabelOnlyWhereListed) {
    PictureCredit credit;
    credit.file = "Jane.jpg";
    credit.license = "CC BY 4.0";
    credit.page = "https://c/Jane";
    EXPECT_EQ(CreditText(credit), "Jane.jpg — CC BY 4.0 — https://c/Jane");
    credit.restrictions = "personality";
    EXPECT_EQ(CreditText(credit),
              "Jane.jpg — CC BY 4.0 — personality rights may apply — https://c/Jane");
    const PortraitLabel label = MakePortraitLabel({"Body", "Face", credit, PictureCredit{}});
    EXPECT_EQ(label.credits.at(0),
              "Body picture (Body): Jane.jpg — CC BY 4.0 — personality rights may apply — "
              "https://c/Jane");
}

TEST(CommandLineTest, KeepsValuesAsGivenIncludingSpacesAndDashes) {
    const ParsedCommandLine parsed =
        ParseCommandLine({"--body", "Grace Hopper", "--face", "-dash", "--output", "out/p.jpg",
                          "--search-url", "http://s:1/", "--detect-url=http://d:2", "--force"});
    ASSERT_EQ(parsed.action, CommandLineAction::Run);
    EXPECT_EQ(parsed.options.body, "Grace Hopper");
    EXPECT_EQ(parsed.options.face, "-dash");
    EXPECT_EQ(parsed.options.output, "out/p.jpg");
    EXPECT_EQ(parsed.options.searchUrl, "http://s:1/");
    EXPECT_EQ(parsed.options.detectUrl, "http://d:2");
    EXPECT_TRUE(parsed.options.force);
    EXPECT_FALSE(parsed.options.verbose);
}

TEST(ServiceSetupTest, OptionsWinAndOneAddressServesBoth) {
    EXPECT_EQ(TrimBaseAddress("http://h:1//"), "http://h:1");
    EmbeddedGallery gallery;
    ServiceAddresses out;
    std::string why;
    ASSERT_EQ(SetUpServices("http://s:1/", "", gallery, out, why), ServiceSetupStatus::Ok);
    EXPECT_EQ(out.search, "http://s:1");
    EXPECT_EQ(out.detect, "http://s:1");
    EXPECT_STREQ(std::getenv("HTTPC_PROBE_URL"), "http://s:1");
    EXPECT_FALSE(gallery.IsRunning());
    EXPECT_EQ(SetUpServices("ftp://s", "", gallery, out, why), ServiceSetupStatus::BadAddress);
    EXPECT_NE(why.find("ftp://s"), std::string::npos);
    // Judged after the trailing slashes are gone: nothing of a host may be left over.
    EXPECT_EQ(SetUpServices("http:///", "", gallery, out, why), ServiceSetupStatus::BadAddress);
    EXPECT_EQ(SetUpServices("http://s", "https:////", gallery, out, why),
              ServiceSetupStatus::BadAddress);
}

TEST(ServiceSetupTest, PictureSourcesComeFromTheOptionTheEnvironmentOrTheSettingsFile) {
    // Each place is seen through the unusable list it holds: the service is not started.
    const std::string config =
        (std::filesystem::temp_directory_path() / ("norvo-sources-" + std::to_string(getpid())))
            .string();
    std::filesystem::create_directories(config + "/norvo");
    std::ofstream(config + "/norvo/norvo.conf") << "sources=from-file\n";
    const ConfigHome home(config);
    setenv(kSourcesVariable, "from-environment", 1);
    EmbeddedGallery gallery;
    ServiceAddresses out;
    std::string why;
    EXPECT_EQ(SetUpServices("", "", gallery, out, why, "from-option"),
              ServiceSetupStatus::BadSources);
    EXPECT_NE(why.find("'from-option'"), std::string::npos) << why;
    EXPECT_EQ(SetUpServices("", "", gallery, out, why), ServiceSetupStatus::BadSources);
    EXPECT_NE(why.find("'from-environment'"), std::string::npos) << why;
    unsetenv(kSourcesVariable);
    EXPECT_EQ(SetUpServices("", "", gallery, out, why), ServiceSetupStatus::BadSources);
    EXPECT_NE(why.find("'from-file'"), std::string::npos) << why;
    EXPECT_FALSE(gallery.IsRunning());
    // Named services need no picture sources at all.
    EXPECT_EQ(SetUpServices("http://s:1", "", gallery, out, why, "from-option"),
              ServiceSetupStatus::Ok);
    std::filesystem::remove_all(config);
}

// Captures what a TerminalView writes.
std::string Drive(bool terminal, bool verbose, void (*calls)(TerminalView&)) {
#ifdef _WIN32
    // No memory streams on Windows: a temporary file, binary so that lines end as written.
    std::FILE* out = std::tmpfile();
    {
        TerminalView view(out, terminal, verbose, "o.jpg");
        calls(view);
    }
    std::string text(static_cast<size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    text.resize(std::fread(text.data(), 1, text.size(), out));
    std::fclose(out);
    return text;
#else
    char* data = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&data, &size);
    {
        TerminalView view(out, terminal, verbose, "o.jpg");
        calls(view);
    }
    std::fclose(out);
    std::string text(data, size);
    std::free(data);
    return text;
#endif
}

void ShortRun(TerminalView& v) {
    v.EnableCreate(false);
    v.SendProgressStep(0);
    v.SendProgressStep(15);
    v.SendProgressStep(kProgressHide);
    v.BringMainWindowToFront();
    EXPECT_EQ(v.AskSavePath(), std::optional<std::string>("o.jpg"));
    v.ShowMessage("http://a\r\nBの画像", MessageKind::Warning);
    v.SendProgressStep(16);
    v.SendProgressStep(kProgressHide);
    v.EnableCreate(true);
}

TEST(TerminalViewTest, WritesPlainLinesABarOrEveryCall) {
    EXPECT_EQ(Drive(false, false, ShortRun),
              "progress 0/16\nprogress 15/16\nhttp://a\nBの画像\nprogress 16/16\n");
    EXPECT_EQ(Drive(true, false, ShortRun),
              "\r[................]  0/16\r[###############.] 15/16\n"
              "http://a\nBの画像\n\r[################] 16/16\n");
    EXPECT_EQ(Drive(true, true, ShortRun),
              "enable off\nprogress 0\nprogress 15\nhide progress\nfront\nsave path: o.jpg\n"
              "message warning: http://a\nBの画像\nprogress 16\nhide progress\nenable on\n");
}

TEST(TerminalViewTest, ControlCharactersFromTheWebReachTheTerminalDefused) {
    // A picture address comes from a search answer; its escape sequences must not drive the
    // terminal, nor a bare CR overwrite the line. CR LF still ends a line; tabs stay.
    const std::string text = Drive(true, false, [](TerminalView& v) {
        v.ShowMessage("http://a/\x1b]0;x\x07\x1b[2J\rb\x7f\tc\r\nBの画像", MessageKind::Warning);
    });
    EXPECT_EQ(text, "http://a/?]0;x??[2J?b?\tc\nBの画像\n");
}

TEST(TerminalViewTest, DetailsFollowTheMessageIndentedAndDefused) {
    const std::string text = Drive(false, false, [](TerminalView& v) {
        v.ShowMessageWithDetails("Saved.", MessageKind::Plain,
                                 "From:\nA: a.jpg — \x1b[2JEvil\r\nB: b.png");
    });
    EXPECT_EQ(text, "Saved.\n  From:\n  A: a.jpg — ?[2JEvil\n  B: b.png\n");
}

TEST(LabelSettingTest, TheOptionOrASayingNoValueLeavesTheLabelOut) {
#ifdef _WIN32
    const ConfigHome home("Z:\\nonexistent-norvo-test");  // no settings file
#else
    const ConfigHome home("/nonexistent-norvo-test");  // no settings file
#endif
    unsetenv("NORVO_LABEL");
    EXPECT_TRUE(LabelWanted(false));
    EXPECT_FALSE(LabelWanted(true));
    for (const char* no : {"no", "false", "off", "0"}) {
        setenv("NORVO_LABEL", no, 1);
        EXPECT_FALSE(LabelWanted(false)) << no;
    }
    setenv("NORVO_LABEL", "yes", 1);
    EXPECT_TRUE(LabelWanted(false));
    EXPECT_FALSE(LabelWanted(true)) << "the option beats the environment";
    unsetenv("NORVO_LABEL");
}

}  // namespace
}  // namespace norvo
