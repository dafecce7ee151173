#pragma once

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
// The query address for `name` (locale-encoded bytes) under `searchBase`; false when the name
// could not be converted.
bool BuildSearchAddress(const std::string& searchBase, const char* name, std::string& address);

// Finds a picture of `name` with a face: searches, detects faces in the four candidates
// (Result, Value0, Value1, Value2) and keeps the one with the largest face area, earlier
// candidates winning ties. Sends progress steps progressBase + 2 .. + 6 once the search
// request succeeded. 0: `address`, `box` and `list` describe the chosen picture; 1: failed,
// after hiding the progress window and showing the reason.
int SearchPicture(LookupContext& ctx, const char* name, std::string& address, FaceBox& box,
                  FaceBoxList& list, int progressBase);

}  // namespace norvo
