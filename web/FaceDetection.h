#pragma once

#include <cstdint>
#include <string>

#include "imaging/FaceBox.h"
#include "web/LookupContext.h"

namespace norvo {

// Path and query of the detection service, followed by the picture address as it stands.
inline constexpr char kDetectQuery[] = "/api/detect?m=1&f=2&url=";
// The file the module stores the detection answer in, inside the work folder. Fixed, so only
// one detection may run at a time.
inline constexpr char kDetectAnswerFile[] = "tmpfile.xml";

// (bottom - top) * (right - left) without overflow: the differences and the product are taken
// in 64 bits and the product saturates at the int64 range, so hostile boxes compare sanely.
int64_t FaceArea(const FaceBox& box);

class CXmlDocument;

// Walks a loaded detection answer: every `bounds` element becomes a box in `list` (answer
// order), and `box` becomes the last of them with a positive area (all zero when none).
void CollectFaceBoxes(CXmlDocument& document, FaceBox& box, FaceBoxList& list);

// Reads a detection answer file: every `bounds` element becomes a box in `list` (answer order),
// and `box` becomes the last of them with a positive area (all zero when none). Returns the
// reader's result; on non-zero `box` and `list` are unchanged. Does not delete the file.
int ReadFaceAnswer(const std::string& path, FaceBox& box, FaceBoxList& list);

// Asks the detection service for the faces in the picture at `url`. 0: the answer was read
// (`box`/`list` as ReadFaceAnswer); 1: the request or the reading failed, `box`/`list` are
// unchanged. A failed request hides the progress window. The answer file is deleted on every
// path. Shows no message.
int LocateFaces(LookupContext& ctx, std::string url, FaceBox& box, FaceBoxList& list);

}  // namespace norvo
