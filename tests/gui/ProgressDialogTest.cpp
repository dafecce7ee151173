// The progress window: parking, the step protocol, centring on the main window, and keys.

#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <climits>
#include <memory>

#include "GuiTestSupport.h"
#include "app/RunView.h"
#include "app/gui/CProgressDialog.h"
#include "app/gui/WindowTexts.h"

namespace norvo {
namespace {

using testing::WaitUntil;

const QPoint kParked(0, -256);

class ProgressDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        main.setWindowTitle(QStringLiteral("main"));
        main.setGeometry(100, 200, 300, 150);
        main.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
        progress.SetMainWindow(&main);
    }
    // Where a step must put the window: centred for 329 x 113 on the main window's frame.
    QPoint Centre() const {
        const QRect f = main.frameGeometry();
        return QPoint((f.x() + f.x() + f.width() - 329) / 2,
                      (f.y() + f.y() + f.height() - 113) / 2);
    }

    QWidget main;
    CProgressDialog progress;
};

TEST_F(ProgressDialogTest, StartsParkedHiddenAndOutOfTheTaskBar) {
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(progress.pos(), kParked);
    EXPECT_EQ(progress.windowTitle(), QStringLiteral("norvo_progress"));
    EXPECT_EQ(progress.objectName(), QStringLiteral("norvo_progress"));
    const Qt::WindowFlags flags = progress.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(flags & Qt::FramelessWindowHint);
    auto* bar = progress.findChild<QProgressBar*>(QStringLiteral("progressBar"));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 16);
    EXPECT_EQ(bar->value(), 0);
    auto* busy = progress.findChild<QLabel*>(QStringLiteral("labelBusy"));
    ASSERT_NE(busy, nullptr);
    EXPECT_EQ(busy->text(), testing::Shown(kBusyLabelText));
    // The text is never clipped.
    EXPECT_GE(busy->width(), busy->sizeHint().width());
}

TEST_F(ProgressDialogTest, EveryShownStepMovesTheBarAndCentresOnTheMainWindow) {
    for (int step = 0; step <= 15; ++step) {
        SCOPED_TRACE(step);
        progress.OnProgressStep(step);
        EXPECT_TRUE(progress.isVisible());
        EXPECT_EQ(progress.Position(), step);
        EXPECT_EQ(progress.pos(), Centre());
    }
    EXPECT_EQ(progress.pos(), QPoint((100 + 400 - 329) / 2, (200 + 350 - 113) / 2));
}

TEST_F(ProgressDialogTest, FollowsAMovedMainWindowAndTruncatesTowardZero) {
    progress.OnProgressStep(1);
    // Above and left of the screen the halves truncate toward zero:
    // (-400 + -300 - 329) / 2 = -514.5 -> -514 and (-50 + 2 - 113) / 2 = -80.5 -> -80.
    // The frame the platform adds decides the client size that gives this outer rectangle.
    const QMargins frame(main.geometry().left() - main.frameGeometry().left(),
                         main.geometry().top() - main.frameGeometry().top(),
                         main.frameGeometry().right() - main.geometry().right(),
                         main.frameGeometry().bottom() - main.geometry().bottom());
    main.move(-400, -50);
    main.resize(100 - frame.left() - frame.right(), 52 - frame.top() - frame.bottom());
    WaitUntil([&] { return main.frameGeometry() == QRect(-400, -50, 100, 52); }, 2000);
    ASSERT_EQ(main.frameGeometry(), QRect(-400, -50, 100, 52));
    progress.OnProgressStep(2);
    EXPECT_EQ(progress.pos(), QPoint(-514, -80));
}

// Values outside the protocol change nothing, whether the window is parked or showing.
TEST_F(ProgressDialogTest, OtherValuesChangeNothing) {
    const int ignored[] = {-1, 17, 255, 257, 300, INT_MIN, INT_MAX};
    for (int value : ignored) {
        SCOPED_TRACE(value);
        progress.OnProgressStep(value);
        EXPECT_FALSE(progress.isVisible());
        EXPECT_EQ(progress.pos(), kParked);
        EXPECT_EQ(progress.Position(), 0);
    }
    progress.OnProgressStep(5);
    const QPoint shownAt = progress.pos();
    for (int value : ignored) {
        SCOPED_TRACE(value);
        progress.OnProgressStep(value);
        EXPECT_TRUE(progress.isVisible());
        EXPECT_EQ(progress.pos(), shownAt);
        EXPECT_EQ(progress.Position(), 5);
    }
}

TEST_F(ProgressDialogTest, HideCodeResetsHidesAndParksAndTheNextStepShowsAgain) {
    progress.OnProgressStep(kProgressHide);  // harmless while parked
    EXPECT_FALSE(progress.isVisible());
    progress.OnProgressStep(9);
    progress.OnProgressStep(kProgressHide);
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(progress.Position(), 0);
    EXPECT_EQ(progress.pos(), kParked);
    progress.OnProgressStep(10);
    EXPECT_TRUE(progress.isVisible());
    EXPECT_EQ(progress.Position(), 10);
    EXPECT_EQ(progress.pos(), Centre());
}

TEST_F(ProgressDialogTest, StepSixteenFillsTheBarWithoutShowingAHiddenWindow) {
    progress.OnProgressStep(16);
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(progress.Position(), 16);
    EXPECT_EQ(progress.pos(), kParked);
    progress.OnProgressStep(15);
    progress.OnProgressStep(16);
    EXPECT_TRUE(progress.isVisible());
    EXPECT_EQ(progress.Position(), 16);
}

TEST_F(ProgressDialogTest, ShowsInPlaceWithoutAMainWindow) {
    progress.SetMainWindow(nullptr);
    progress.OnProgressStep(0);
    EXPECT_TRUE(progress.isVisible());
    EXPECT_EQ(progress.pos(), kParked);
}

TEST_F(ProgressDialogTest, ReturnAndEscapeDoNotCloseIt) {
    progress.OnProgressStep(4);
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QTest::keyClick(&progress, key);
        EXPECT_TRUE(progress.isVisible()) << key;
        EXPECT_EQ(progress.result(), 0);
    }
}

}  // namespace
}  // namespace norvo
