// The windows in the language the program chooses at start-up, as a user with that environment
// sees them: ctest runs this binary under LANG=en_US.UTF-8 and under ja_JP.UTF-8.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "app/RunTexts.h"
#include "app/UserLanguage.h"
#include "app/gui/CFileDialogTitle.h"
#include "app/gui/CMainDialog.h"
#include "app/gui/CProgressDialog.h"
#include "app/gui/MessageBox.h"
#include "app/gui/WindowTexts.h"
#include "tests/gui/OffscreenToolkit.h"

namespace norvo {
namespace {

// What the save dialog shows once it is open: its caption, filter and Cancel button.
struct SaveDialogSeen {
    QString title;
    QStringList filters;
    QString cancel;
};

// Opens the save dialog as a run does and reads it while it is on screen; it is then cancelled.
SaveDialogSeen OpenSaveDialog(CMainDialog& dialog) {
    SaveDialogSeen seen;
    QTimer::singleShot(0, [&seen] {
        auto* open = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (open == nullptr) {
            return;
        }
        seen.title = open->windowTitle();
        seen.filters = open->nameFilters();
        if (auto* buttons = open->findChild<QDialogButtonBox*>()) {
            if (QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel)) {
                seen.cancel = cancel->text();
            }
        }
    });
    CFileDialogTitle::setNextAnswer(std::nullopt);
    EXPECT_EQ(dialog.AskSavePath(), std::nullopt);
    return seen;
}

class WindowLanguageTest : public ::testing::Test {
protected:
    void SetUp() override {
        MessageBox::resetTestHook();
        CFileDialogTitle::resetTestHook();
        progress.SetMainWindow(&dialog);
        dialog.SetProgressWindow(&progress);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }

    QString Text(QWidget& window, const char* name) {
        if (auto* label = window.findChild<QLabel*>(QString::fromLatin1(name))) {
            return label->text();
        }
        if (auto* button = window.findChild<QPushButton*>(QString::fromLatin1(name))) {
            return button->text();
        }
        ADD_FAILURE() << name;
        return {};
    }

    CMainDialog dialog;
    CProgressDialog progress;
};

TEST_F(WindowLanguageTest, InEnglishTheWindowsTheirBoxesAndQtsOwnButtons) {
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("norvo v1"));
    EXPECT_EQ(Text(dialog, "labelBody"), QStringLiteral("&Body:"));
    EXPECT_EQ(Text(dialog, "labelFace"), QStringLiteral("&Face:"));
    EXPECT_EQ(Text(dialog, "buttonCreate"), QStringLiteral("&Create"));
    EXPECT_EQ(Text(progress, "labelBusy"), QStringLiteral("Working..."));
    // The English labels still end before their edits begin.
    for (const auto& [label, edit] :
         {std::pair{"labelBody", "editBody"}, {"labelFace", "editFace"}}) {
        EXPECT_LT(dialog.findChild<QLabel*>(QString::fromLatin1(label))->geometry().right(),
                  dialog.findChild<QLineEdit*>(QString::fromLatin1(edit))->geometry().left())
            << label;
    }

    // A run's message as the run hands it to the window.
    MessageBox::setNextAnswer(QMessageBox::Ok);
    dialog.ShowMessage(kNoInternetText, MessageKind::Warning);
    const std::vector<MessageBox::Shown> shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, QStringLiteral("norvo"));
    EXPECT_EQ(shown[0].text, QStringLiteral("Could not connect to the internet."));

    const SaveDialogSeen save = OpenSaveDialog(dialog);
    EXPECT_EQ(save.title, QStringLiteral("Save Picture"));
    EXPECT_EQ(save.filters, QStringList{QStringLiteral("JPEG images (*.jpg)")});
    EXPECT_EQ(save.cancel, QStringLiteral("Cancel"));
}

TEST_F(WindowLanguageTest, InJapaneseTheProgramsOwnTextsAndQtsButtonsInJapanese) {
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8(kMainTitleText));
    EXPECT_EQ(Text(dialog, "labelBody"), QString::fromUtf8(kBodyLabelText));
    EXPECT_EQ(Text(progress, "labelBusy"), QString::fromUtf8(kBusyLabelText));
    MessageBox::setNextAnswer(QMessageBox::Ok);
    dialog.ShowMessage(kNoInternetText, MessageKind::Warning);
    EXPECT_EQ(MessageBox::takeShown().at(0).text, QString::fromUtf8(kNoInternetText));

    const SaveDialogSeen save = OpenSaveDialog(dialog);
    EXPECT_EQ(save.title, QString::fromUtf8(kSaveDialogTitleText));
    EXPECT_EQ(save.filters, QStringList{QString::fromUtf8(kSaveFilterText)});
    // Qt's own button, from Qt's Japanese translation.
    EXPECT_EQ(save.cancel, QString::fromUtf8("キャンセル"));
}

}  // namespace
}  // namespace norvo

// Started as the program starts: the language first, then the application and Qt's own texts.
int main(int argc, char** argv) {
    norvo::SetUpUserLanguage();
    const auto runtime = norvo::testing::PrepareOffscreenToolkit();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("norvo"));
    if (!norvo::TranslateToolkitTexts()) {
        std::fprintf(stderr, "Qt has no translation for this language\n");
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
