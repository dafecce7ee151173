// The save step's choice of blend: where the style comes from, what a missing landmark model
// leaves, and what the terminal shows and writes.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QImage>
#include <QTemporaryDir>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/PortraitChoice.h"
#include "app/TerminalView.h"
#include "imaging/LandmarkModel.h"

namespace norvo {
namespace {

class PortraitChoiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        QImage body(300, 400, QImage::Format_RGB32);
        body.fill(Qt::darkBlue);
        QImage face(120, 100, QImage::Format_RGB32);
        face.fill(Qt::yellow);
        QImage mask(8, 8, QImage::Format_Grayscale8);
        mask.fill(255);
        ASSERT_TRUE(body.save(QString::fromStdString(Path("body.png"))));
        ASSERT_TRUE(face.save(QString::fromStdString(Path("face.png"))));
        ASSERT_TRUE(mask.save(QString::fromStdString(Path("mask.png"))));
        ASSERT_EQ(m_compositor.Compose(Path("body.png"), {{100, 100, 200, 200}}, Path("face.png"),
                                       {10, 10, 60, 60}, Path("mask.png")),
                  ComposeStatus::Ok);
        unsetenv(kBlendVariable);
    }
    void TearDown() override { unsetenv(kBlendVariable); }

    std::string Path(const char* name) const {
        return m_dir.filePath(QString::fromLatin1(name)).toStdString();
    }

    QTemporaryDir m_dir;
    FaceCompositor m_compositor;
};

TEST_F(PortraitChoiceTest, OptionBeatsEnvironmentBeatsFileAndUnknownStylesMeanClassic) {
    const std::string conf = Path("norvo.conf");
    const UserSettings file(conf);
    std::string problem;
    EXPECT_EQ(ResolveBlendStyle("", file, problem), BlendStyle::Classic);
    EXPECT_EQ(problem, "");
    std::ofstream(conf) << "blend=natural\n";
    EXPECT_EQ(ResolveBlendStyle("", file, problem), BlendStyle::Natural);
    setenv(kBlendVariable, "classic", 1);
    EXPECT_EQ(ResolveBlendStyle("", file, problem), BlendStyle::Classic);
    EXPECT_EQ(ResolveBlendStyle("natural", file, problem), BlendStyle::Natural);
    setenv(kBlendVariable, "seamless", 1);
    EXPECT_EQ(ResolveBlendStyle("", file, problem), BlendStyle::Classic);
    EXPECT_NE(problem.find("'seamless'"), std::string::npos) << problem;

    // Only a style switched to and saved is kept, and only where a file is named.
    const std::string kept = Path("kept/norvo.conf");
    RememberBlend(kept, BlendStyle::Classic, BlendStyle::Classic);
    EXPECT_FALSE(std::filesystem::exists(kept));
    RememberBlend("", BlendStyle::Classic, BlendStyle::Natural);
    RememberBlend(kept, BlendStyle::Classic, BlendStyle::Natural);
    EXPECT_EQ(UserSettings(kept).Value(kBlendKey), "natural");
}

TEST_F(PortraitChoiceTest, AMissingModelIsNamedAndTheClassicPortraitStays) {
    const std::string missing = Path("no-model.dat");
    PortraitChoice choice(m_compositor, std::make_shared<LandmarkModel>(missing));
    EXPECT_FALSE(choice.Ready(BlendStyle::Natural));
    choice.Start(BlendStyle::Natural);
    EXPECT_EQ(choice.Chosen(), BlendStyle::Classic);
    EXPECT_TRUE(choice.Ready(BlendStyle::Natural));
    EXPECT_EQ(choice.Portrait(BlendStyle::Natural), nullptr);
    EXPECT_EQ(choice.Note(BlendStyle::Natural),
              LandmarkModelProblemText(LandmarkModelStatus::Missing, missing));
    EXPECT_NE(choice.Note(BlendStyle::Natural).find(missing), std::string::npos);
    choice.Choose(BlendStyle::Natural);
    EXPECT_EQ(choice.Chosen(), BlendStyle::Classic);
    EXPECT_EQ(m_compositor.body(), m_compositor.portrait(BlendStyle::Classic));

    // Body, face and classic portrait side by side, each 600 high.
    ASSERT_TRUE(choice.WriteComparison(Path("sheet.png")));
    const QImage sheet(QString::fromStdString(Path("sheet.png")));
    EXPECT_EQ(sheet.height(), 600);
    EXPECT_EQ(sheet.width(), 450 + 720 + 450 + 2 * PortraitChoice::kSheetGap);
    EXPECT_EQ(sheet.pixel(450 + PortraitChoice::kSheetGap / 2, 300), qRgb(255, 255, 255));
    EXPECT_EQ(sheet.pixel(450 + PortraitChoice::kSheetGap + 360, 300), qRgb(255, 255, 0));
}

// What a terminal run prints in its save step.
std::string TerminalSaveStep(PortraitPreview& portrait, const std::string& comparison) {
    char* data = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&data, &size);
    {
        TerminalView view(out, false, false, "o.jpg");
        view.SetComparisonPath(comparison);
        EXPECT_EQ(view.AskSavePathFor(portrait), std::optional<std::string>("o.jpg"));
    }
    std::fclose(out);
    std::string text(data, size);
    std::free(data);
    return text;
}

TEST_F(PortraitChoiceTest, TheTerminalTellsWhyTheNaturalBlendIsMissingAndWritesTheSheet) {
    const std::string missing = Path("no-model.dat");
    PortraitChoice untouched(m_compositor, std::make_shared<LandmarkModel>(missing));
    EXPECT_EQ(TerminalSaveStep(untouched, ""), "");  // classic asked for, nothing to say

    PortraitChoice asked(m_compositor, std::make_shared<LandmarkModel>(missing));
    const std::string note = LandmarkModelProblemText(LandmarkModelStatus::Missing, missing);
    EXPECT_EQ(TerminalSaveStep(asked, Path("sheet.png")), note + "\n");
    EXPECT_TRUE(std::filesystem::is_regular_file(Path("sheet.png")));

    const std::string unwritable = Path("no-folder/sheet.png");
    EXPECT_EQ(TerminalSaveStep(asked, unwritable),
              ComparisonFailedText(unwritable) + "\n" + note + "\n");
}

}  // namespace
}  // namespace norvo
