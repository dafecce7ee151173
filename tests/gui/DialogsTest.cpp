// Message boxes, the save dialog as the run reaches it, and the display check.

#include <gtest/gtest.h>

#include <ostream>

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>
#include <map>
#include <memory>

#include "GuiTestSupport.h"
#include "app/RunTexts.h"
#include "app/gui/CFileDialogTitle.h"
#include "app/gui/CMainDialog.h"
#include "app/gui/DisplayCheck.h"
#include "app/gui/MessageBox.h"
#include "app/gui/QuitOnSignal.h"
#include "app/gui/WindowTexts.h"

namespace norvo {
namespace {

class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override { MessageBox::resetTestHook(); }
    void TearDown() override { MessageBox::resetTestHook(); }
};

TEST_F(MessageBoxTest, WarningAndPlainBoxesLookAsTheyShould) {
    MessageBox::setNextAnswer(QMessageBox::Ok);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    MessageBox::Show(nullptr, testing::Shown(kNoInternetText), MessageKind::Warning);
    MessageBox::Show(nullptr, testing::Shown(kSavedText), MessageKind::Plain);
    const auto shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].caption, testing::Shown(kWarningCaptionText));
    EXPECT_EQ(shown[0].text, testing::Shown(kNoInternetText));
    EXPECT_EQ(shown[0].icon, QMessageBox::Warning);
    EXPECT_EQ(shown[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(shown[1].caption, QStringLiteral("norvo"));
    EXPECT_EQ(shown[1].text, testing::Shown(kSavedText));
    EXPECT_EQ(shown[1].icon, QMessageBox::NoIcon);
    EXPECT_EQ(shown[1].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_TRUE(MessageBox::takeShown().empty());
}

// Without a queued answer the real box opens modally, owned by its parent, and its text is
// never taken as markup (names and addresses come from outside).
TEST_F(MessageBoxTest, RealBoxIsModalToItsParentAndShowsTextLiterally) {
    QWidget owner;
    owner.show();
    const QString text = QStringLiteral("<b>http://x/</b>\r\n<i>A</i>");
    std::map<std::string, QString> seen;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen["caption"] = box->windowTitle();
        seen["text"] = box->text();
        seen["parent"] = box->parentWidget() == &owner ? "owner" : "other";
        seen["format"] = box->textFormat() == Qt::PlainText ? "plain" : "rich";
        seen["buttons"] = QString::number(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(MessageBox::Show(&owner, text, MessageKind::Warning), QMessageBox::Ok);
    EXPECT_EQ(seen["caption"], testing::Shown(kWarningCaptionText));
    EXPECT_EQ(seen["text"], text);
    EXPECT_EQ(seen["parent"], QStringLiteral("owner"));
    EXPECT_EQ(seen["format"], QStringLiteral("plain"));
    EXPECT_EQ(seen["buttons"], QStringLiteral("1"));
}

// The save dialog as a run reaches it through the main dialog's view.
class SaveDialogTest : public ::testing::Test, public QObject {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        CFileDialogTitle::resetTestHook();
        qApp->installEventFilter(this);
        dialog.show();
    }
    void TearDown() override {
        qApp->removeEventFilter(this);
        CFileDialogTitle::resetTestHook();
    }
    // Notes each save dialog as it opens, and answers the overwrite question as told.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show) {
            return false;
        }
        if (auto* file = qobject_cast<QFileDialog*>(watched)) {
            fileDialog = file;
            caption = file->windowTitle();
            filters = file->nameFilters();
            suffix = file->defaultSuffix();
            saving = file->acceptMode() == QFileDialog::AcceptSave;
            confirms = !file->testOption(QFileDialog::DontConfirmOverwrite);
        } else if (auto* box = qobject_cast<QMessageBox*>(watched)) {
            question = box->text();
            QTimer::singleShot(0, box, [this, box] {
                box->button(replace ? QMessageBox::Yes : QMessageBox::No)->click();
                if (!replace) {
                    // Declined: the file dialog is still open; the user then cancels it.
                    QTimer::singleShot(0, fileDialog, [this] { fileDialog->reject(); });
                }
            });
        }
        return false;
    }
    QString In(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
    std::string Bytes(const QString& path) const { return QFile::encodeName(path).toStdString(); }

    QTemporaryDir dir;
    CMainDialog dialog;
    QPointer<QFileDialog> fileDialog;
    QString caption;
    QStringList filters;
    QString suffix;
    bool saving = false;
    bool confirms = false;
    QString question;
    bool replace = true;
};

TEST_F(SaveDialogTest, AsksUnderItsOwnCaptionForAJpegFile) {
    CFileDialogTitle::setNextAnswer(In("portrait.jpg"));
    EXPECT_EQ(dialog.AskSavePath(), Bytes(In("portrait.jpg")));
    EXPECT_EQ(caption, testing::Shown(kSaveDialogTitleText));
    EXPECT_EQ(filters, QStringList{testing::Shown(kSaveFilterText)});
    EXPECT_EQ(suffix, QStringLiteral("jpg"));
    EXPECT_TRUE(saving);
    EXPECT_TRUE(confirms);
}

TEST_F(SaveDialogTest, ANameTypedWithoutExtensionGetsJpg) {
    CFileDialogTitle::setNextAnswer(In("山田と佐藤"));
    EXPECT_EQ(dialog.AskSavePath(), Bytes(In("山田と佐藤.jpg")));
}

TEST_F(SaveDialogTest, CancelGivesNoPath) {
    CFileDialogTitle::setNextAnswer(std::nullopt);
    EXPECT_EQ(dialog.AskSavePath(), std::nullopt);
}

TEST_F(SaveDialogTest, AnExistingFileIsReplacedOnlyAfterTheQuestion) {
    QFile existing(In("old.jpg"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();

    replace = true;
    CFileDialogTitle::setNextAnswer(In("old.jpg"));
    EXPECT_EQ(dialog.AskSavePath(), Bytes(In("old.jpg")));
    EXPECT_TRUE(question.contains(QStringLiteral("old.jpg")));

    question.clear();
    replace = false;
    CFileDialogTitle::setNextAnswer(In("old"));
    EXPECT_EQ(dialog.AskSavePath(), std::nullopt);
    EXPECT_TRUE(question.contains(QStringLiteral("old.jpg")));
}

TEST(QuitOnSignalTest, TermAndIntReachTheGuiThreadAndTheOldHandlersComeBack) {
    int quits = 0;
    {
        QuitOnSignal onSignal([&] { ++quits; });
        ASSERT_TRUE(onSignal.IsActive());
        ::raise(SIGTERM);
        EXPECT_TRUE(testing::WaitUntil([&] { return quits == 1; }));
        ::raise(SIGINT);
        EXPECT_TRUE(testing::WaitUntil([&] { return quits == 2; }));
    }
    struct sigaction current = {};
    ::sigaction(SIGTERM, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
}

struct DisplayCase {
    const char* name;
    std::map<std::string, std::string> env;
    bool expected;
};

// Tests print the case by its name, not as raw bytes.
void PrintTo(const DisplayCase& c, std::ostream* os) {
    *os << c.name;
}

class DisplayCheckTest : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(DisplayCheckTest, KnowsWhenWindowsCanOpen) {
    const auto& env = GetParam().env;
    const bool has = HasDisplay([&](const char* name) -> const char* {
        auto it = env.find(name);
        return it == env.end() ? nullptr : it->second.c_str();
    });
    EXPECT_EQ(has, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Environments, DisplayCheckTest,
    ::testing::Values(
        DisplayCase{"Nothing", {}, false}, DisplayCase{"EmptyDisplay", {{"DISPLAY", ""}}, false},
        DisplayCase{"X11", {{"DISPLAY", ":0"}}, true},
        DisplayCase{"Wayland", {{"WAYLAND_DISPLAY", "wayland-0"}}, true},
        DisplayCase{"Offscreen", {{"QT_QPA_PLATFORM", "offscreen"}}, true},
        DisplayCase{"XcbWithoutDisplay", {{"QT_QPA_PLATFORM", "xcb"}}, false},
        DisplayCase{"WaylandPluginWithoutDisplay", {{"QT_QPA_PLATFORM", "wayland-egl"}}, false},
        DisplayCase{"XcbWithDisplay", {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":1"}}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DisplayCheckMessageTest, IsOneLineNamingTheHeadlessOptions) {
    const std::string message = NoDisplayMessage("norvo");
    EXPECT_EQ(message.find('\n'), std::string::npos);
    EXPECT_EQ(message.rfind("norvo: ", 0), 0u);
    for (const char* option : {"--body", "--face", "--output", "--help"}) {
        EXPECT_NE(message.find(option), std::string::npos) << option;
    }
}

}  // namespace
}  // namespace norvo
