// The main dialog: controls, layout, keys, Swap, and the run thread's life as seen from the
// window (driven by fake runs that talk to it through the view from their own thread).

#include <gtest/gtest.h>

#include <ostream>

#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <memory>
#include <stdexcept>
#include <vector>

#include "GuiTestSupport.h"
#include "app/gui/CMainDialog.h"
#include "app/gui/CProgressDialog.h"
#include "app/gui/DialogUnits.h"
#include "app/gui/MessageBox.h"
#include "app/gui/WindowTexts.h"

namespace norvo {
namespace {

using testing::Gate;
using testing::WaitUntil;

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        MessageBox::resetTestHook();
        dialog = std::make_unique<CMainDialog>();
        progress = std::make_unique<CProgressDialog>();
        progress->SetMainWindow(dialog.get());
        dialog->SetProgressWindow(progress.get());
        dialog->SetRunJob([this](RunView&, const std::string& body, const std::string& face) {
            ++runs;
            lastBody = body;
            lastFace = face;
        });
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }
    void TearDown() override {
        dialog.reset();
        progress.reset();
        MessageBox::resetTestHook();
    }

    template <typename T>
    T* Child(const char* name) {
        T* child = dialog->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    QLineEdit* Body() { return Child<QLineEdit>("editBody"); }
    QLineEdit* Face() { return Child<QLineEdit>("editFace"); }
    QPushButton* Swap() { return Child<QPushButton>("buttonSwap"); }
    QPushButton* Create() { return Child<QPushButton>("buttonCreate"); }

    std::unique_ptr<CMainDialog> dialog;
    std::unique_ptr<CProgressDialog> progress;
    std::atomic<int> runs{0};
    std::string lastBody;
    std::string lastFace;
};

TEST_F(MainDialogTest, ShowsItsTitleControlsAndTabOrder) {
    EXPECT_EQ(dialog->windowTitle(), testing::Shown(kMainTitleText));
    EXPECT_FALSE(dialog->windowIcon().isNull());
    EXPECT_EQ(Child<QLabel>("labelBody")->text(), testing::Shown(kBodyLabelText));
    EXPECT_EQ(Child<QLabel>("labelFace")->text(), testing::Shown(kFaceLabelText));
    EXPECT_EQ(Swap()->text(), testing::Shown(kSwapButtonText));
    EXPECT_EQ(Create()->text(), testing::Shown(kCreateButtonText));
    EXPECT_TRUE(Body()->text().isEmpty());
    EXPECT_TRUE(Face()->text().isEmpty());
    for (QPushButton* button : {Swap(), Create()}) {
        EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
        EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
    }
    // Tab visits the edits, then Swap, then Create.
    std::vector<QWidget*> tabStops;
    for (QWidget* w = Body(); tabStops.size() < 4; w = w->nextInFocusChain()) {
        if (w->focusPolicy() & Qt::TabFocus) {
            tabStops.push_back(w);
        }
    }
    EXPECT_EQ(tabStops, (std::vector<QWidget*>{Body(), Face(), Swap(), Create()}));
}

TEST_F(MainDialogTest, LaysOutItsControlsInDialogUnitsOfItsFont) {
    if (QFontDatabase::families().contains(QStringLiteral("Noto Sans CJK JP"))) {
        EXPECT_EQ(dialog->font().family(), QStringLiteral("Noto Sans CJK JP"));
    }
    EXPECT_EQ(dialog->font().pointSize(), 9);
    const DialogUnits du = DialogUnits::ForFont(dialog->font());
    EXPECT_EQ(dialog->size(), QSize(du.X(179), du.Y(101)));
    EXPECT_EQ(Body()->geometry(), du.Rect(35, 7, 138, 14));
    EXPECT_EQ(Face()->geometry(), du.Rect(35, 42, 138, 14));
    EXPECT_EQ(Swap()->geometry(), du.Rect(94, 24, 23, 14));
    EXPECT_EQ(Create()->geometry(), du.Rect(7, 74, 165, 20));
    // Labels keep their place and grow only as far as their text needs.
    const QRect body = Child<QLabel>("labelBody")->geometry();
    EXPECT_EQ(body.topLeft(), du.Rect(7, 9, 25, 8).topLeft());
    EXPECT_LE(body.right(), Body()->geometry().left());
}

TEST(DialogUnitsTest, MapsUnitsWithRoundingAndSharedEdges) {
    const DialogUnits du(7, 12);
    EXPECT_EQ(du.X(179), 313);  // 313.25
    EXPECT_EQ(du.Y(101), 152);  // 151.5 rounds up
    EXPECT_EQ(du.X(2), 4);      // 3.5 rounds up
    EXPECT_EQ(du.X(0), 0);
    EXPECT_EQ(du.Rect(35, 7, 138, 14), QRect(61, 11, 242, 21));
    // Neighbouring rectangles meet without gap or overlap whatever the rounding.
    EXPECT_EQ(du.Rect(7, 0, 1, 1).right() + 1, du.Rect(8, 0, 1, 1).left());
    // A font too small to measure still maps to something.
    EXPECT_EQ(DialogUnits(0, 0).X(4), 1);
}

// Return, Enter and Escape, on the dialog and on each control: nothing closes, nothing runs.
TEST_F(MainDialogTest, ReturnAndEscapeAreSwallowedEverywhere) {
    QSignalSpy finished(dialog.get(), &QDialog::finished);
    Body()->setText(QStringLiteral("山田"));
    Face()->setText(QStringLiteral("佐藤"));
    QWidget* targets[] = {dialog.get(), Body(), Face(), Swap(), Create()};
    for (QWidget* target : targets) {
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            SCOPED_TRACE(target->objectName().toStdString() + " key " + std::to_string(key));
            target->setFocus();
            QTest::keyClick(target, key);
            QCoreApplication::processEvents();
            EXPECT_TRUE(dialog->isVisible());
            EXPECT_EQ(finished.count(), 0);
            EXPECT_EQ(runs.load(), 0);
            EXPECT_FALSE(dialog->IsRunning());
            EXPECT_EQ(Body()->text(), QStringLiteral("山田"));
            EXPECT_EQ(Face()->text(), QStringLiteral("佐藤"));
        }
    }
}

TEST_F(MainDialogTest, MnemonicsFocusTheEditsAndPressCreate) {
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    Create()->setFocus();
    QTest::keyClick(dialog.get(), Qt::Key_B, Qt::AltModifier);
    EXPECT_TRUE(Body()->hasFocus());
    QTest::keyClick(dialog.get(), Qt::Key_F, Qt::AltModifier);
    EXPECT_TRUE(Face()->hasFocus());
    QSignalSpy done(dialog.get(), &CMainDialog::runFinished);
    QTest::keyClick(dialog.get(), Qt::Key_C, Qt::AltModifier);
    ASSERT_TRUE(WaitUntil([&] { return done.count() == 1; }));
    EXPECT_EQ(runs.load(), 1);
}

struct SwapCase {
    const char* name;
    const char* body;
    const char* face;
};

// Tests print the case by its name, not as raw bytes.
void PrintTo(const SwapCase& c, std::ostream* os) {
    *os << c.name;
}

class SwapTest : public MainDialogTest, public ::testing::WithParamInterface<SwapCase> {};

TEST_P(SwapTest, SwapsWhatIsTypedAndTwiceRestores) {
    const QString body = QString::fromUtf8(GetParam().body);
    const QString face = QString::fromUtf8(GetParam().face);
    Body()->setText(body);
    Face()->setText(face);
    QTest::mouseClick(Swap(), Qt::LeftButton);
    EXPECT_EQ(Body()->text(), face);
    EXPECT_EQ(Face()->text(), body);
    // The fields hold what the edits show, in the locale's bytes.
    EXPECT_EQ(dialog->m_strBody, face.toLocal8Bit().toStdString());
    EXPECT_EQ(dialog->m_strFace, body.toLocal8Bit().toStdString());
    QTest::mouseClick(Swap(), Qt::LeftButton);
    EXPECT_EQ(Body()->text(), body);
    EXPECT_EQ(Face()->text(), face);
}

INSTANTIATE_TEST_SUITE_P(Names, SwapTest,
                         ::testing::Values(SwapCase{"BothEmpty", "", ""},
                                           SwapCase{"FaceEmpty", "山田 太郎", ""},
                                           SwapCase{"BodyEmpty", "", "Grace Hopper"},
                                           SwapCase{"OutsideTheBmp", "𠮷田", "髙橋"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainDialogTest, SwapTakesTypedTextNotTheLastStoredFields) {
    dialog->m_strBody = "stored body";
    dialog->m_strFace = "stored face";
    dialog->UpdateData(false);
    Body()->clear();
    QTest::keyClicks(Body(), QStringLiteral("typed"));
    QTest::mouseClick(Swap(), Qt::LeftButton);
    EXPECT_EQ(Body()->text(), QStringLiteral("stored face"));
    EXPECT_EQ(Face()->text(), QStringLiteral("typed"));
}

TEST_F(MainDialogTest, CreateHandsTheTypedNamesToTheRun) {
    Body()->setText(QStringLiteral("山田"));
    Face()->setText(QStringLiteral("佐藤"));
    QSignalSpy done(dialog.get(), &CMainDialog::runFinished);
    QTest::mouseClick(Create(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return done.count() == 1; }));
    EXPECT_EQ(lastBody, QStringLiteral("山田").toLocal8Bit().toStdString());
    EXPECT_EQ(lastFace, QStringLiteral("佐藤").toLocal8Bit().toStdString());
    EXPECT_TRUE(Create()->isEnabled());
}

TEST_F(MainDialogTest, ARunThatThrowsEndsWithAWarningInsteadOfAbortingTheProgram) {
    dialog->SetRunJob([](RunView& view, const std::string&, const std::string&) {
        view.SendProgressStep(5);
        throw std::runtime_error("out of memory");
    });
    MessageBox::setNextAnswer(QMessageBox::Ok);
    QSignalSpy done(dialog.get(), &CMainDialog::runFinished);
    QTest::mouseClick(Create(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return done.count() == 1; }));
    const auto shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].icon, QMessageBox::Warning);
    EXPECT_FALSE(progress->isVisible());
    EXPECT_TRUE(Create()->isEnabled());
}

// Create stays disabled until the run thread has ended, whatever the run asks for meanwhile,
// and the window keeps working while the run waits.
TEST_F(MainDialogTest, CreateStaysDisabledFromPressToTheRunsLastMoment) {
    Gate gate;
    std::atomic<int> jobs{0};
    dialog->SetRunJob([&](RunView& view, const std::string&, const std::string&) {
        ++jobs;
        view.EnableCreate(false);
        view.SendProgressStep(0);
        view.EnableCreate(true);  // a run re-enables Create a moment before it returns
        gate.Wait();
        view.SendProgressStep(kProgressHide);
    });
    QSignalSpy done(dialog.get(), &CMainDialog::runFinished);
    QTest::mouseClick(Create(), Qt::LeftButton);
    EXPECT_FALSE(Create()->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return gate.Arrived(); }));
    EXPECT_FALSE(Create()->isEnabled());
    EXPECT_TRUE(dialog->IsRunning());
    EXPECT_TRUE(progress->isVisible());
    // A second press (Alt+C or a queued click) starts nothing.
    dialog->OnCreateButton();
    QTest::mouseClick(Swap(), Qt::LeftButton);  // the window still answers
    gate.Open();
    ASSERT_TRUE(WaitUntil([&] { return done.count() == 1; }));
    EXPECT_EQ(jobs.load(), 1);
    EXPECT_TRUE(Create()->isEnabled());
    EXPECT_FALSE(dialog->IsRunning());
    EXPECT_FALSE(progress->isVisible());
}

// Closing during a run: the window goes, the run is told to stop, its later calls reach no
// window, and the dialog finishes only once the run thread has ended.
TEST_F(MainDialogTest, ClosingDuringARunStopsItBeforeTheDialogFinishes) {
    Gate gate;
    std::atomic<bool> sawStop{false};
    std::atomic<bool> askedPath{true};
    dialog->SetRunJob([&](RunView& view, const std::string&, const std::string&) {
        view.SendProgressStep(3);
        gate.Wait();
        sawStop = view.StopRequested();
        view.SendProgressStep(4);
        view.ShowMessage("not to be shown", MessageKind::Warning);
        askedPath = view.AskSavePath().has_value();
        view.EnableCreate(true);
    });
    MessageBox::setNextAnswer(QMessageBox::Ok);
    QSignalSpy finished(dialog.get(), &QDialog::finished);
    QTest::mouseClick(Create(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return gate.Arrived(); }));
    ASSERT_TRUE(progress->isVisible());

    EXPECT_FALSE(dialog->close());
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(progress->isVisible());
    EXPECT_TRUE(dialog->StopRequested());
    EXPECT_EQ(finished.count(), 0);

    gate.Open();
    ASSERT_TRUE(WaitUntil([&] { return finished.count() == 1; }));
    EXPECT_TRUE(sawStop.load());
    EXPECT_FALSE(askedPath.load());
    EXPECT_EQ(progress->Position(), 0);
    EXPECT_FALSE(progress->isVisible());
    EXPECT_TRUE(MessageBox::takeShown().empty());
}

// Destroying the dialog while the run thread waits on it must not dead-lock: the pending call
// is let through and the thread joined.
TEST_F(MainDialogTest, DestroyingTheDialogMidRunJoinsTheRunThread) {
    std::atomic<int> steps{0};
    std::atomic<bool> started{false};
    dialog->SetRunJob([&](RunView& view, const std::string&, const std::string&) {
        started = true;
        for (int i = 0; i < 100000 && !view.StopRequested(); ++i) {
            view.SendProgressStep(i % 16);
            ++steps;
        }
    });
    QTest::mouseClick(Create(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return steps.load() > 3; }));
    dialog.reset();  // returns only when the thread is gone
    EXPECT_TRUE(started.load());
}

TEST_F(MainDialogTest, ClosingWhenIdleFinishesAtOnce) {
    QSignalSpy finished(dialog.get(), &QDialog::finished);
    EXPECT_TRUE(dialog->close());
    EXPECT_EQ(finished.count(), 1);
}

TEST(MainDialogStartTest, TakesTheFrontAfterStartUp) {
    CMainDialog dialog;
    CProgressDialog other;
    other.SetMainWindow(&dialog);
    dialog.show();
    // Another window takes the activation while the main window starts...
    other.OnProgressStep(0);
    QCoreApplication::processEvents();
    // ...and the one-shot timer gives it back.
    EXPECT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == &dialog; }));
    other.OnProgressStep(kProgressHide);
    EXPECT_EQ(QApplication::activeWindow(), &dialog);
}

}  // namespace
}  // namespace norvo
