// The built program with its bundled service and the web sources, against the loopback fake
// of Wikipedia, Wikidata and Commons: names the gallery does not know, and every failure shape.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImageReader>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "FakeWeb.h"
#include "saori/Platform.h"

namespace norvo {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string messages;  // standard error
};

class WebPortraitTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/norvo-web-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        fs::create_directories(m_dir / "config");
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Runs the program with the fake's addresses in its environment (which the bundled
    // service inherits), a cache of its own and no user settings.
    Outcome Run(const std::string& args, const std::string& cache) {
        const fs::path err = m_dir / "stderr";
        const std::string command =
            "env -u NORVO_SOURCES -u NORVO_SEARCH_URL -u NORVO_DETECT_URL LC_ALL=C.UTF-8"
            " XDG_CONFIG_HOME='" +
            (m_dir / "config").string() + "' XDG_CACHE_HOME='" + (m_dir / cache).string() +
            "' NORVO_WIKIPEDIA_API='" + fake.WikipediaApi() + "' NORVO_COMMONS_API='" +
            fake.CommonsApi() + "' NORVO_WIKIDATA_API='" + fake.WikidataApi() +
            "' NORVO_ALLOW_PRIVATE_FETCH='" + fake.Endpoint() + "' " + platform::ProgramFolder() +
            "norvo " + args + " >/dev/null 2>'" + err.string() + "'";
        const int status = std::system(command.c_str());
        std::ifstream in(err);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                std::string(std::istreambuf_iterator<char>(in), {})};
    }
    std::string Output(const char* name) const { return (m_dir / name).string(); }

    fs::path m_dir;
    test::FakeWeb fake{NORVO_GALLERY_SOURCE};
};

TEST_F(WebPortraitTest, TwoNamesTheGalleryDoesNotKnowOneOfThemJapanese) {
    // 山田花子
    const Outcome made =
        Run("--sources gallery,wikimedia --body 'Ada Example' --face "
            "'\xE5\xB1\xB1\xE7\x94\xB0\xE8\x8A\xB1\xE5\xAD\x90' --output '" +
                Output("web.jpg") + "'",
            "cache");
    ASSERT_EQ(made.status, 0) << made.messages;
    QImageReader reader(QString::fromStdString(Output("web.jpg")));
    EXPECT_EQ(reader.format(), "jpeg");
    EXPECT_EQ(reader.size().height(), 600);
    EXPECT_GT(fake.ApiRequests(), 0);
}

TEST_F(WebPortraitTest, EveryFailureEndsWithItsMessageAndNoFile) {
    // Nobody by that name: the run's "(0)" as for any unknown name.
    Outcome run =
        Run("--body 'Nobody Known' --face 'Ada Example' --output '" + Output("unknown.jpg") + "'",
            "unknown");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.messages.find("Nobody Known\xE3\x81\xAE"), std::string::npos) << run.messages;
    EXPECT_NE(run.messages.find("(0)"), std::string::npos) << run.messages;
    EXPECT_FALSE(fs::exists(Output("unknown.jpg")));

    // Offline: the same name stays on this machine.
    fake.ClearLog();
    run = Run("--offline --body 'Ada Example' --face 'Grace Hopper' --output '" +
                  Output("offline.jpg") + "'",
              "offline");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.messages.find("(0)"), std::string::npos) << run.messages;
    EXPECT_TRUE(fake.Log().empty());
    EXPECT_FALSE(fs::exists(Output("offline.jpg")));

    // The web source refuses: the search did not end normally, and --verbose says why.
    fake.html429 = true;
    run = Run("--verbose --body 'Ada Example' --face 'Grace Hopper' --output '" +
                  Output("refused.jpg") + "'",
              "refused");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.messages.find("\xE6\xAD\xA3\xE5\xB8\xB8\xE7\xB5\x82\xE4\xBA\x86"),  // 正常終了
              std::string::npos)
        << run.messages;
    EXPECT_NE(run.messages.find("429"), std::string::npos) << run.messages;
    EXPECT_FALSE(fs::exists(Output("refused.jpg")));
}

}  // namespace
}  // namespace norvo
