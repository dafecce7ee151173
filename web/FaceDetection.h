#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "imaging/FaceBox.h"
#include "web/LookupContext.h"
#include "xml/XmlDocument.h"

namespace norvo {

// Path and query of the detection service, followed by the picture address as it stands.
inline constexpr char kDetectQuery[] = "/api/detect?m=1&f=2&url=";
// The file the module stores the detection answer in, inside the work folder. Fixed, so only
// one detection may run at a time.
inline constexpr char kDetectAnswerFile[] = "tmpfile.xml";

// (bottom - top) * (right - left) without overflow: the differences and the product are taken
// in 64 bits and the product saturates at the int64 range, so hostile boxes compare sanely.
int64_t FaceArea(const FaceBox& box);

// The faces of one detection answer.
struct DetectedFaces {
    FaceBox box;       // the last box with a positive area; all zero when there is none
    FaceBoxList list;  // every `bounds` element as a box, in answer order
};

// A detection answer file as read: the reader's result, and the faces when it is XML_OK.
struct FaceAnswer {
    XmlResult result = XML_OK;
    DetectedFaces faces;
};

// Walks a loaded detection answer from its start.
DetectedFaces CollectFaceBoxes(CXmlDocument& document);

// Reads a detection answer file. Does not delete the file.
FaceAnswer ReadFaceAnswer(const std::string& path);

// Asks the detection service for the faces in the picture at `url`; nullopt when the request
// or the reading failed (a failed request is reported). The answer file is deleted on every
// path.
std::optional<DetectedFaces> LocateFaces(LookupContext& ctx, const std::string& url);

}  // namespace norvo
