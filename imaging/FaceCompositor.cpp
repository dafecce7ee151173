#include "imaging/FaceCompositor.h"

#include "imaging/FaceBlend.h"

namespace norvo {

const char* describe(ComposeStatus status) {
    switch (status) {
        case ComposeStatus::Ok:
            return "composed";
        case ComposeStatus::BodyUnreadable:
            return "the body picture could not be loaded";
        case ComposeStatus::FaceUnreadable:
            return "the face picture could not be loaded";
        case ComposeStatus::MaskUnreadable:
            return "the mask picture could not be loaded";
    }
    return "unknown compose status";
}

const char* describe(SaveStatus status) {
    switch (status) {
        case SaveStatus::Saved:
            return "saved";
        case SaveStatus::NothingToSave:
            return "there is no composed picture to save";
        case SaveStatus::WriteFailed:
            return "the picture file could not be written";
    }
    return "unknown save status";
}

const char* BlendStyleName(BlendStyle style) {
    switch (style) {
        case BlendStyle::Classic:
            return "classic";
        case BlendStyle::Natural:
            return "natural";
    }
    return "classic";
}

std::optional<BlendStyle> ParseBlendStyle(const std::string& name) {
    for (BlendStyle style : {BlendStyle::Classic, BlendStyle::Natural}) {
        if (name == BlendStyleName(style)) {
            return style;
        }
    }
    return std::nullopt;
}

FaceCompositor::~FaceCompositor() {
    Release();
}

ComposeStatus FaceCompositor::Compose(const std::string& bodyPath, const FaceBoxList& bodyBoxes,
                                      const std::string& facePath, const FaceBox& faceBox,
                                      const std::string& maskPath) {
    Release();
    m_strFailedPath.clear();
    m_failedReason = PictureStatus::Ok;

    // Body, then face, then mask: the first file that fails is the one reported, and nothing
    // is blended into a picture that is not all there.
    ComposeStatus failure = ComposeStatus::Ok;
    const std::string* failedPath = nullptr;
    PictureStatus why = PictureStatus::Ok;
    if (m_body.reset(LoadPicture(bodyPath, &why)); !m_body) {
        failure = ComposeStatus::BodyUnreadable;
        failedPath = &bodyPath;
    } else if (m_face.reset(LoadPicture(facePath, &why)); !m_face) {
        failure = ComposeStatus::FaceUnreadable;
        failedPath = &facePath;
    } else if (m_mask.reset(LoadPicture(maskPath, &why)); !m_mask) {
        failure = ComposeStatus::MaskUnreadable;
        failedPath = &maskPath;
    }
    if (failure != ComposeStatus::Ok) {
        m_strFailedPath = *failedPath;
        m_failedReason = why;
        Release();
        return failure;
    }
    BlendLoaded(bodyBoxes, faceBox);
    return ComposeStatus::Ok;
}

ComposeStatus FaceCompositor::ComposeCopies(PictureHandle body, const FaceBoxList& bodyBoxes,
                                            PictureHandle face, const FaceBox& faceBox,
                                            PictureHandle mask) {
    Release();
    m_strFailedPath.clear();
    m_failedReason = PictureStatus::Ok;
    ComposeStatus failure = ComposeStatus::Ok;
    if (m_body.reset(CopyPicture(body)); !m_body) {
        failure = ComposeStatus::BodyUnreadable;
    } else if (m_face.reset(CopyPicture(face)); !m_face) {
        failure = ComposeStatus::FaceUnreadable;
    } else if (m_mask.reset(CopyPicture(mask)); !m_mask) {
        failure = ComposeStatus::MaskUnreadable;
    }
    if (failure != ComposeStatus::Ok) {
        m_failedReason = PictureStatus::OutOfMemory;
        Release();
        return failure;
    }
    BlendLoaded(bodyBoxes, faceBox);
    return ComposeStatus::Ok;
}

void FaceCompositor::BlendLoaded(const FaceBoxList& bodyBoxes, const FaceBox& faceBox) {
    MakeBottomUp24(m_body.get());
    MakeBottomUp24(m_face.get());
    MakeBottomUp24(m_mask.get());
    // Kept for the other blends; without memory for it only the classic one can be made.
    m_unblended.reset(CopyPicture(m_body.get()));
    m_bodyBoxes = bodyBoxes;
    m_faceBox = faceBox;
    BlendFaces(m_body.get(), bodyBoxes, m_face.get(), faceBox, m_mask.get());
    // A picture that cannot be scaled (out of memory) is still saved at its own size.
    ResizePicture(m_body.get(), -1, kResultHeight);
    m_bComposed = true;
}

bool FaceCompositor::ComposeAlso(BlendStyle style, const Blend& blend) {
    if (!m_bComposed || style == BlendStyle::Classic || !blend) {
        return false;
    }
    OwnedPicture& portrait = m_portraits[static_cast<size_t>(style)];
    if (portrait) {
        return true;
    }
    OwnedPicture made(CopyPicture(m_unblended.get()));
    if (!made) {
        return false;
    }
    blend(made.get(), m_bodyBoxes, m_face.get(), m_faceBox, m_mask.get());
    // As for the classic portrait: one that cannot be scaled keeps its own size.
    ResizePicture(made.get(), -1, kResultHeight);
    portrait = std::move(made);
    return true;
}

bool FaceCompositor::Choose(BlendStyle style) {
    if (!portrait(style)) {
        return false;
    }
    m_chosen = style;
    return true;
}

SaveStatus FaceCompositor::Save(const std::string& path) {
    PictureHandle chosen = body();
    if (!chosen) {
        return SaveStatus::NothingToSave;
    }
    return SavePictureJpeg(path, chosen, kJpegQuality, 0) == 0 ? SaveStatus::Saved
                                                               : SaveStatus::WriteFailed;
}

void FaceCompositor::Release() {
    m_body.reset();
    m_face.reset();
    m_mask.reset();
    for (OwnedPicture& portrait : m_portraits) {
        portrait.reset();
    }
    m_unblended.reset();
    m_chosen = BlendStyle::Classic;
    m_bComposed = false;
}

std::string MaskPathIn(const std::string& programDir) {
    std::string path = programDir;
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    return path + "data/mask.png";
}

}  // namespace norvo
