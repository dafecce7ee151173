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
    if (!(m_hBody = LoadPicture(bodyPath, &why))) {
        failure = ComposeStatus::BodyUnreadable;
        failedPath = &bodyPath;
    } else if (!(m_hFace = LoadPicture(facePath, &why))) {
        failure = ComposeStatus::FaceUnreadable;
        failedPath = &facePath;
    } else {
        MakeBottomUp24(m_hBody);
        MakeBottomUp24(m_hFace);
        if (!(m_hMask = LoadPicture(maskPath, &why))) {
            failure = ComposeStatus::MaskUnreadable;
            failedPath = &maskPath;
        } else {
            MakeBottomUp24(m_hMask);
        }
    }
    if (failure != ComposeStatus::Ok) {
        m_strFailedPath = *failedPath;
        m_failedReason = why;
        Release();
        return failure;
    }

    BlendFaces(m_hBody, bodyBoxes, m_hFace, faceBox, m_hMask);
    // A picture that cannot be scaled (out of memory) is still saved at its own size.
    ResizePicture(m_hBody, -1, kResultHeight);
    m_bComposed = true;
    return ComposeStatus::Ok;
}

SaveStatus FaceCompositor::Save(const std::string& path) {
    if (!m_bComposed || !m_hBody) {
        return SaveStatus::NothingToSave;
    }
    return SavePictureJpeg(path, m_hBody, kJpegQuality, 0) == 0 ? SaveStatus::Saved
                                                                : SaveStatus::WriteFailed;
}

void FaceCompositor::Release() {
    ReleasePicture(m_hBody);
    m_hBody = nullptr;
    ReleasePicture(m_hFace);
    m_hFace = nullptr;
    ReleasePicture(m_hMask);
    m_hMask = nullptr;
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
