#pragma once

#include <string>

#include "imaging/FaceBox.h"
#include "imaging/Picture.h"

namespace norvo {

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
// then save or not, then release body, face and mask in that order.
//   FaceCompositor c;
//   if (c.Compose(...) != ComposeStatus::Ok) show c.failedPath()'s file name;
//   else { ask for a path; c.Save(path) or not; }
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

    // Writes the composed picture as a JPEG file of quality 90 to `path`.
    SaveStatus Save(const std::string& path);

    // Releases body, face and mask in that order; safe to call repeatedly.
    void Release();

    // The path given for the picture that could not be loaded, or "" after success.
    const std::string& failedPath() const { return m_strFailedPath; }
    // Why it could not be loaded.
    PictureStatus failedReason() const { return m_failedReason; }
    // The composed body picture after a successful Compose, else nullptr.
    PictureHandle body() const { return m_hBody; }

private:
    PictureHandle m_hBody = nullptr;
    PictureHandle m_hFace = nullptr;
    PictureHandle m_hMask = nullptr;
    bool m_bComposed = false;
    std::string m_strFailedPath;
    PictureStatus m_failedReason = PictureStatus::Ok;
};

// The mask's path in the program's folder `programDir` (without trailing slash or with one).
std::string MaskPathIn(const std::string& programDir);

}  // namespace norvo
