#pragma once

#include <QDialog>
#include <QPoint>
#include <QPointer>

#include "app/RunView.h"

class QLabel;
class QProgressBar;

namespace norvo {

// The progress window: a borderless, always-on-top tool window with a bar of 16 steps. It is
// parked hidden above the screen between runs; a step centres it on the main window and shows
// it, the hide code parks it again. Lives on the GUI thread; runs reach it through the view.
class CProgressDialog : public QDialog {
    Q_OBJECT
public:
    // Where the window waits between runs, above the top edge of the screen.
    static constexpr QPoint kParkPosition{0, -256};
    // The window size the centring assumes, whatever the real size (pixels).
    static constexpr int kAssumedWidth = 329;
    static constexpr int kAssumedHeight = 113;
    // Steps that move the bar and show the window.
    static constexpr int kFirstStep = 0;
    static constexpr int kLastShownStep = 15;
    // The bar's maximum; this step fills the bar without showing a hidden window.
    static constexpr int kFullStep = kProgressComposed;

    explicit CProgressDialog(QWidget* parent = nullptr);

    // The window to centre on; without one the window shows where it is.
    void SetMainWindow(QWidget* mainWindow);

    // Acts on one progress step: 0..15 set the bar, centre, show and raise the window; 16 fills
    // the bar; kProgressHide empties the bar, hides and parks; any other value does nothing.
    void OnProgressStep(int step);

    // The bar's current value.
    int Position() const;

signals:
    // A step has been acted on (or ignored); the window shows its outcome.
    void stepHandled(int step);

private:
    void Apply(int step);
    void Park();

    QProgressBar* m_progress;
    QLabel* m_labelBusy;
    QPointer<QWidget> m_mainWindow;
};

}  // namespace norvo
