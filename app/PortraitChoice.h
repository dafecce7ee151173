#pragma once

#include <array>
#include <memory>
#include <string>

#include "app/RunView.h"
#include "app/UserSettings.h"
#include "imaging/FaceCompositor.h"

namespace norvo {

class LandmarkModel;
enum class LandmarkModelStatus;

// Environment variable naming the blend style of the runs.
inline constexpr char kBlendVariable[] = "NORVO_BLEND";

// The portraits of one run's save step, made by a compositor that has composed the classic
// one: the natural one is made with the landmark model when first asked for.
class PortraitChoice : public PortraitPreview {
public:
    // `landmarks` may be null: the natural portrait then cannot be made.
    PortraitChoice(FaceCompositor& compositor, std::shared_ptr<LandmarkModel> landmarks);

    // Makes the portrait of `style` and chooses it; when it cannot be made the classic one
    // stays chosen and Note(style) says why.
    void Start(BlendStyle style);

    BlendStyle Chosen() const override;
    void Choose(BlendStyle style) override;
    bool Ready(BlendStyle style) const override;
    PictureHandle Portrait(BlendStyle style) override;
    std::string Note(BlendStyle style) const override;
    bool WriteComparison(const std::string& path) override;
    CandidateChoices* Choices() override { return m_choices; }

    // Offers `choices` (which outlive this) in the save step.
    void Offer(CandidateChoices* choices) { m_choices = choices; }
    // After the compositor composed other pictures: the portraits of the other styles are made
    // again when asked for, and `style` is made at once and chosen when it can be.
    void Recomposed(BlendStyle style);

    // Gap between the pictures of the comparison sheet, in pixels.
    static constexpr int32_t kSheetGap = 8;

private:
    // Makes the natural portrait; returns the note on it.
    std::string MakeNatural();

    FaceCompositor& m_compositor;
    std::shared_ptr<LandmarkModel> m_landmarks;
    std::array<bool, kBlendStyleCount> m_asked{};
    // Styles that could not be made (no landmark model, no memory): not tried again.
    std::array<bool, kBlendStyleCount> m_failed{};
    std::array<std::string, kBlendStyleCount> m_notes;
    CandidateChoices* m_choices = nullptr;
};

// Why the natural portrait cannot be made when the landmark model at `path` did not load.
std::string LandmarkModelProblemText(LandmarkModelStatus status, const std::string& path);
// That `classicFaces` of the `faces` faces had no landmarks and were blended the classic way.
std::string ClassicFacesText(std::size_t classicFaces, std::size_t faces);

// The blend style of a run: `option` when given (already checked), else $NORVO_BLEND, else
// the settings file's `blend`, else classic. A value there that names no style is passed over
// for classic and `problem` says so; otherwise `problem` is left empty.
BlendStyle ResolveBlendStyle(const std::string& option, const UserSettings& file,
                             std::string& problem);

// After a portrait of style `saved` was saved, keeps it in the settings file at `path` when
// it is not the `started` style the run began with; nothing when `path` is "".
void RememberBlend(const std::string& path, BlendStyle started, BlendStyle saved);

}  // namespace norvo
