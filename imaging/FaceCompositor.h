#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "imaging/FaceBox.h"
#include "imaging/Picture.h"

namespace norvo {

// How the face is blended into the body picture.
enum class BlendStyle {
    Classic,  // the face box stretched over each body box through the elliptical mask
    Natural,  // eyes aligned, colour matched, edge solved seamless (imaging/NaturalBlend.h)
};
inline constexpr std::size_t kBlendStyleCount = 2;

// "classic" or "natural": the style's name on the command line and in the settings file.
const char* BlendStyleName(BlendStyle style);
// The style of that name; nullopt for any other text.
std::optional<BlendStyle> ParseBlendStyle(const std::string& name);

// Outcome of FaceCompositor::Compose.
enum class ComposeStatus {
    Ok,              // blended and resized; ready to save
    BodyUnreadable,  // the body picture could not be loaded
    FaceUnreadable,  // the face picture could not be loaded
    MaskUnreadable,  // the mask picture could not be loaded
};

const char* describe(ComposeStatus status);

// Outcome of FaceCompositor::Save.
enum class SaveStatus {
    Saved,          // the JPEG file was written completely
    NothingToSave,  // Compose did not succeed, or the pictures were already released
    WriteFailed,    // the file could not be written (bad path, no permission, disk full)
};

const char* describe(SaveStatus status);

// The face compositing of one run: load body, face and mask, blend, resize to 600 high,
// then save or not, then release body, face and mask in that order. Compose makes the classic
// portrait; the portrait of another blend can be made beside it from the same pictures, and
// the one chosen is the one saved.
//   FaceCompositor c;
//   if (c.Compose(...) != ComposeStatus::Ok) show c.failedPath()'s file name;
//   else { [c.ComposeAlso(BlendStyle::Natural, blend); c.Choose(...);]
//          ask for a path; c.Save(path) or not; }
//   c.Release();  // also done by the destructor
class FaceCompositor {
public:
    // The composed picture's height after Compose.
    static constexpr int32_t kResultHeight = 600;
    // JPEG quality of the saved result.
    static constexpr int kJpegQuality = 90;

    FaceCompositor() = default;
    ~FaceCompositor();
    FaceCompositor(const FaceCompositor&) = delete;
    FaceCompositor& operator=(const FaceCompositor&) = delete;

    // Loads the body picture, the face picture and the mask in that order, blends the face
    // box of the face picture into every body box and resizes the result to 600 high.
    // When a picture cannot be loaded nothing is blended, everything loaded so far is
    // released and failedPath()/failedReason() name the file and why.
    ComposeStatus Compose(const std::string& bodyPath, const FaceBoxList& bodyBoxes,
                          const std::string& facePath, const FaceBox& faceBox,
                          const std::string& maskPath);

    // As Compose, from pictures already loaded (LoadPicture's, any layout): copies of them are
    // blended, the originals stay the caller's. A copy that does not fit in memory fails as
    // that picture with failedReason() OutOfMemory and an empty failedPath().
    ComposeStatus ComposeCopies(PictureHandle body, const FaceBoxList& bodyBoxes,
                                PictureHandle face, const FaceBox& faceBox, PictureHandle mask);

    // Blends the face into a body picture: body, body boxes, face, face box, mask.
    using Blend = std::function<void(PictureHandle, const FaceBoxList&, PictureHandle,
                                     const FaceBox&, PictureHandle)>;

    // Makes the portrait of `style` unless it is made already: `blend` blends the face into a
    // copy of the body picture as loaded, which is then resized like the classic portrait.
    // False when Compose has not succeeded, the style is Classic (Compose makes that one), or
    // memory runs out.
    bool ComposeAlso(BlendStyle style, const Blend& blend);

    // Which portrait body() returns and Save writes: Classic after Compose. False, and the
    // choice unchanged, when that portrait has not been made.
    bool Choose(BlendStyle style);
    BlendStyle chosen() const { return m_chosen; }

    // Writes the chosen portrait as a JPEG file of quality 90 to `path`.
    SaveStatus Save(const std::string& path);

    // Releases body, face and mask in that order; safe to call repeatedly.
    void Release();

    // The path given for the picture that could not be loaded, or "" after success.
    const std::string& failedPath() const { return m_strFailedPath; }
    // Why it could not be loaded.
    PictureStatus failedReason() const { return m_failedReason; }
    // The chosen portrait after a successful Compose, else nullptr.
    PictureHandle body() const { return portrait(m_chosen); }
    // The portrait of `style`, or nullptr when it has not been made.
    PictureHandle portrait(BlendStyle style) const {
        if (!m_bComposed) {
            return nullptr;
        }
        return style == BlendStyle::Classic ? m_body.get()
                                            : m_portraits[static_cast<std::size_t>(style)].get();
    }
    // The body picture as loaded, before any blend; nullptr when it could not be kept.
    PictureHandle unblendedBody() const { return m_unblended.get(); }
    // The face picture as loaded.
    PictureHandle face() const { return m_face.get(); }
    // The mask as loaded.
    PictureHandle mask() const { return m_mask.get(); }

private:
    // The blend of the pictures just loaded into m_body, m_face and m_mask.
    void BlendLoaded(const FaceBoxList& bodyBoxes, const FaceBox& faceBox);

    OwnedPicture m_body;
    OwnedPicture m_face;
    OwnedPicture m_mask;
    // A copy of the body picture taken before the classic blend, for the other blends.
    OwnedPicture m_unblended;
    // The classic portrait is m_body itself (its slot stays empty); the others are pictures of
    // their own.
    std::array<OwnedPicture, kBlendStyleCount> m_portraits{};
    BlendStyle m_chosen = BlendStyle::Classic;
    FaceBoxList m_bodyBoxes;
    FaceBox m_faceBox;
    bool m_bComposed = false;
    std::string m_strFailedPath;
    PictureStatus m_failedReason = PictureStatus::Ok;
};

// The mask's path in the program's folder `programDir` (without trailing slash or with one).
std::string MaskPathIn(const std::string& programDir);

}  // namespace norvo
