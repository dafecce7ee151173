#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

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
// Asks the search for one person's pictures only; the service's person id follows,
// percent-encoded.
inline constexpr char kSearchPerson[] = "&person=";
// The query address for `name` (locale-encoded bytes) under `searchBase`, kept to `person`
// when that is not ""; nullopt when the name could not be converted.
std::optional<std::string> BuildSearchAddress(const std::string& searchBase, const char* name,
                                              const std::string& person = "");

// A picture a search found: its address and the faces found in it.
struct FoundPicture {
    std::string address;
    FaceBox box;       // the face that is pasted (or pasted over): the last with a positive area
    FaceBoxList list;  // every box of the detection answer, in its order
};

// What a search found: every candidate that shows a face, and the one chosen of them.
struct SearchOutcome {
    std::vector<FoundPicture> pictures;  // in the answer's order
    std::size_t chosen = 0;              // the largest face, earlier candidates winning ties
    const FoundPicture& Chosen() const { return pictures[chosen]; }
};

// Finds pictures of `name` with a face: searches, detects faces in the four candidates
// (Result, Value0, Value1, Value2) and chooses the one with the largest face area, earlier
// candidates winning ties. `person` (an id the service gave, "" for none) keeps the search to
// that person's pictures. Reports the search's answer and each candidate examined once the
// search request succeeded; nullopt after reporting the failure with its reason.
std::optional<SearchOutcome> SearchPicture(LookupContext& ctx, const char* name,
                                           const std::string& person = "");

}  // namespace norvo
