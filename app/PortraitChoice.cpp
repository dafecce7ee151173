#include "app/PortraitChoice.h"

#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

#include "app/RunTexts.h"
#include "imaging/LandmarkModel.h"
#include "imaging/NaturalBlend.h"
#include "text/UserText.h"

namespace norvo {

namespace {

size_t Index(BlendStyle style) {
    return static_cast<size_t>(style);
}

// The pictures scaled to `height` and set side by side on white, `gap` pixels apart; nullptr
// when memory runs out.
OwnedPicture SideBySide(const std::vector<PictureHandle>& pictures, int32_t height, int32_t gap) {
    std::vector<OwnedPicture> scaled;
    int64_t width = 0;
    for (PictureHandle picture : pictures) {
        OwnedPicture copy(CopyPicture(picture));
        if (!copy || ResizePicture(copy.get(), -1, height) != 0) {
            return nullptr;
        }
        width += (width > 0 ? gap : 0) + DescribePicture(copy.get())->header->biWidth;
        scaled.push_back(std::move(copy));
    }
    OwnedPicture sheet(width > 0 && width <= kMaxPictureSide
                           ? CreatePicture(static_cast<int32_t>(width), height)
                           : nullptr);
    if (sheet) {
        const PictureDescription* to = DescribePicture(sheet.get());
        std::memset(to->bits, 0xff, to->header->biSizeImage);
        const int64_t stride = PictureStride(width);
        int64_t x = 0;
        for (const OwnedPicture& panel : scaled) {
            const PictureDescription* from = DescribePicture(panel.get());
            const int32_t w = from->header->biWidth;
            for (int32_t row = 0; row < height; ++row) {
                std::memcpy(to->bits + row * stride + 3 * x, from->bits + row * PictureStride(w),
                            3 * static_cast<size_t>(w));
            }
            x += w + gap;
        }
    }
    return sheet;
}

}  // namespace

std::string LandmarkModelProblemText(LandmarkModelStatus status, const std::string& path) {
    return ComposeText(status == LandmarkModelStatus::Missing ? kLandmarkModelMissingText
                                                              : kLandmarkModelUnreadableText,
                       {path});
}

std::string ClassicFacesText(std::size_t classicFaces, std::size_t faces) {
    return ComposeText(kClassicFacesText, {std::to_string(classicFaces), std::to_string(faces)});
}

PortraitChoice::PortraitChoice(FaceCompositor& compositor, std::shared_ptr<LandmarkModel> landmarks)
    : m_compositor(compositor), m_landmarks(std::move(landmarks)) {
    m_asked[Index(BlendStyle::Classic)] = true;
}

void PortraitChoice::Start(BlendStyle style) {
    if (Portrait(style)) {
        Choose(style);
    }
}

void PortraitChoice::Recomposed(BlendStyle style) {
    for (size_t i = 0; i < kBlendStyleCount; ++i) {
        if (!m_failed[i]) {
            m_asked[i] = false;
            m_notes[i].clear();
        }
    }
    m_asked[Index(BlendStyle::Classic)] = true;
    Start(style);
}

BlendStyle PortraitChoice::Chosen() const {
    return m_compositor.chosen();
}

void PortraitChoice::Choose(BlendStyle style) {
    m_compositor.Choose(style);
}

bool PortraitChoice::Ready(BlendStyle style) const {
    return m_asked[Index(style)];
}

PictureHandle PortraitChoice::Portrait(BlendStyle style) {
    if (!m_asked[Index(style)]) {
        // Marked only once made: Ready() turns true when the portrait is there to take.
        m_notes[Index(style)] = MakeNatural();
        m_failed[Index(style)] = !m_compositor.portrait(style);
        m_asked[Index(style)] = true;
    }
    return m_compositor.portrait(style);
}

std::string PortraitChoice::MakeNatural() {
    if (!m_landmarks) {
        return kNaturalUnavailableText;
    }
    if (const LandmarkModelStatus status = m_landmarks->Load(); status != LandmarkModelStatus::Ok) {
        return LandmarkModelProblemText(status, m_landmarks->Path());
    }
    PrepareNaturalBlend();
    NaturalBlendReport report;
    const LandmarkModel& model = *m_landmarks;
    const bool made = m_compositor.ComposeAlso(
        BlendStyle::Natural,
        [&report, &model](PictureHandle body, const FaceBoxList& bodyBoxes, PictureHandle face,
                          const FaceBox& faceBox, PictureHandle mask) {
            report = BlendFacesNatural(body, bodyBoxes, face, faceBox, mask,
                                       [&model](PictureHandle picture, const FaceBox& box) {
                                           return model.Find(picture, box);
                                       });
        });
    if (!made) {
        return kNaturalOutOfMemoryText;
    }
    return report.classicFaces > 0 ? ClassicFacesText(report.classicFaces, report.faces) : "";
}

std::string PortraitChoice::Note(BlendStyle style) const {
    return m_notes[Index(style)];
}

bool PortraitChoice::WriteComparison(const std::string& path) {
    std::vector<PictureHandle> panels;
    for (PictureHandle picture : {m_compositor.unblendedBody(), m_compositor.face(),
                                  Portrait(BlendStyle::Classic), Portrait(BlendStyle::Natural)}) {
        if (picture) {
            panels.push_back(picture);
        }
    }
    const OwnedPicture sheet = SideBySide(panels, FaceCompositor::kResultHeight, kSheetGap);
    return sheet && SavePicturePng(path, sheet.get()) == 0;
}

BlendStyle ResolveBlendStyle(const std::string& option, const UserSettings& file,
                             std::string& problem) {
    problem.clear();
    const std::string value = ResolveSetting(option, kBlendVariable, file, kBlendKey,
                                             BlendStyleName(BlendStyle::Classic));
    if (const std::optional<BlendStyle> style = ParseBlendStyle(value)) {
        return *style;
    }
    problem = ComposeText(kUnknownBlendText, {value});
    return BlendStyle::Classic;
}

void RememberBlend(const std::string& path, BlendStyle started, BlendStyle saved) {
    if (!path.empty() && saved != started) {
        UserSettings(path).SetValue(kBlendKey, BlendStyleName(saved));
    }
}

}  // namespace norvo
