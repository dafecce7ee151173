#pragma once

#include <optional>
#include <string>

#include "imaging/FaceBox.h"
#include "web/LookupContext.h"
#include "web/LookupTexts.h"

namespace norvo {

// Path and query of the image search; the percent-encoded name follows, then kSearchVersion.
inline constexpr char kSearchQuery[] = "/ajax/services/search/images?q=";
inline constexpr char kSearchVersion[] = "&v=1.0";
// The module cuts each picture address out of the answer between these two markers.
inline constexpr char kSearchStartMarker[] = "\"url\":\"";
inline constexpr char kSearchEndMarker[] = "\",\"";
// The query address for `name` (locale-encoded bytes) under `searchBase`; nullopt when the
// name could not be converted.
std::optional<std::string> BuildSearchAddress(const std::string& searchBase, const char* name);

// The picture a search chose: its address and the faces found in it.
struct FoundPicture {
    std::string address;
    FaceBox box;       // the face that is pasted (or pasted over)
    FaceBoxList list;  // every box of the detection answer, in its order
};

// Finds a picture of `name` with a face: searches, detects faces in the four candidates
// (Result, Value0, Value1, Value2) and keeps the one with the largest face area, earlier
// candidates winning ties. Reports the search's answer and each candidate examined once the
// search request succeeded; nullopt after reporting the failure with its reason.
std::optional<FoundPicture> SearchPicture(LookupContext& ctx, const char* name);

}  // namespace norvo
