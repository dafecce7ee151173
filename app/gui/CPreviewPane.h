#pragma once

#include <QImage>
#include <QWidget>
#include <array>
#include <functional>
#include <thread>

#include "app/RunView.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QToolButton;

namespace norvo {

// The save dialog's side pane: the composed portrait and the checkbox that switches it
// between the classic and the natural blend. When the run offers choices, also per side the
// picture taken (a thumbnail, who is in it, previous/next among the pictures found, the
// people an ambiguous name stands for), and the body's faces outlined, each switched off and
// on by a click. A portrait not made yet is made on a thread of its own, so the dialog keeps
// answering meanwhile.
class CPreviewPane : public QWidget {
    Q_OBJECT
public:
    // The checkbox's label.
    static const QString& NaturalLabel();
    // The largest size the portrait is shown at.
    static constexpr int kPictureWidth = 320;
    static constexpr int kPictureHeight = 384;
    static constexpr int kThumbnailSide = 56;

    CPreviewPane(PortraitPreview& portrait, QWidget* parent = nullptr);
    // Waits for a portrait still being made.
    ~CPreviewPane() override;

    // The style of the portrait on show.
    BlendStyle Shown() const { return m_shown; }
    // True while a portrait is being made.
    bool IsBusy() const { return m_worker.joinable(); }
    // Waits for a portrait being made and shows it, so that what is chosen next is what the
    // pane says.
    void Finish();
    // Where body face `index` (from 0, left to right) is on show in the portrait's label;
    // empty when the pane offers no faces.
    QRect FaceRect(std::size_t index) const;

signals:
    // A portrait is on show (after the pane opened, the checkbox switched it or a choice
    // made it again).
    void portraitShown(BlendStyle style);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct SidePanel {
        QLabel* thumbnail = nullptr;
        QLabel* who = nullptr;
        QComboBox* people = nullptr;
        QToolButton* previous = nullptr;
        QLabel* count = nullptr;
        QToolButton* next = nullptr;
    };

    void OnToggled(bool natural);
    // Shows the portrait of `style` (made already); falls back to the classic one and turns
    // the checkbox off for good when it could not be made.
    void Show(BlendStyle style);
    void ShowNote();
    QWidget* MakeSidePanel(RunSide side);
    void RefreshSide(RunSide side);
    // After a choice for `side` was made or refused: the side's panel and the portrait.
    void ShowChoice(RunSide side);
    // Runs `job` on the worker thread with the controls off, then `done` with its result on
    // the GUI thread.
    void RunInBackground(std::function<bool()> job, std::function<void(bool)> done);
    void OnWorkDone();
    void SetControlsEnabled(bool enabled);
    void OnPictureClicked(QPoint at);
    // The portrait label's pixels per body picture pixel, and where the picture starts in it.
    bool BodyToLabel(double& scaleX, double& scaleY, QPoint& origin) const;

    PortraitPreview& m_portrait;
    CandidateChoices* m_choices;
    QLabel* m_picture;
    QLabel* m_hint = nullptr;
    QCheckBox* m_checkNatural;
    QLabel* m_note;
    std::array<SidePanel, 2> m_sides;
    std::array<QImage, kBlendStyleCount> m_images;
    BlendStyle m_shown = BlendStyle::Classic;
    bool m_naturalFailed = false;
    QString m_problem;  // why the last choice could not be made
    std::thread m_worker;
    bool m_workResult = false;  // written by the worker, read after joining it
    std::function<void(bool)> m_whenDone;
};

}  // namespace norvo
