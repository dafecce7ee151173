#pragma once

#include <QImage>
#include <QWidget>
#include <array>
#include <thread>

#include "app/RunView.h"

class QCheckBox;
class QLabel;

namespace norvo {

// The save dialog's side pane: the composed portrait and the checkbox that switches it
// between the classic and the natural blend. A portrait not made yet is made on a thread of
// its own, so the dialog keeps answering meanwhile.
class CPreviewPane : public QWidget {
    Q_OBJECT
public:
    // The checkbox's label.
    static const QString& NaturalLabel();
    // The largest size the portrait is shown at.
    static constexpr int kPictureWidth = 320;
    static constexpr int kPictureHeight = 384;

    CPreviewPane(PortraitPreview& portrait, QWidget* parent = nullptr);
    // Waits for a portrait still being made.
    ~CPreviewPane() override;

    // The style of the portrait on show.
    BlendStyle Shown() const { return m_shown; }
    // True while a portrait is being made.
    bool IsBusy() const { return m_worker.joinable(); }
    // Waits for a portrait being made and shows it, so that what is chosen next is what the
    // checkbox says.
    void Finish();

signals:
    // A portrait is on show (after the pane opened or the checkbox switched it).
    void portraitShown(BlendStyle style);

private:
    void OnToggled(bool natural);
    void OnMade(BlendStyle style);
    // Shows the portrait of `style` (made already); falls back to the classic one and turns
    // the checkbox off for good when it could not be made.
    void Show(BlendStyle style);
    void ShowNote();

    PortraitPreview& m_portrait;
    QLabel* m_picture;
    QCheckBox* m_checkNatural;
    QLabel* m_note;
    std::array<QImage, kBlendStyleCount> m_images;
    BlendStyle m_shown = BlendStyle::Classic;
    std::thread m_worker;
};

}  // namespace norvo
