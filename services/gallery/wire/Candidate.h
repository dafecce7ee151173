#pragma once

#include <chrono>
#include <string>

namespace norvo {

using Clock = std::chrono::steady_clock;

// One picture a source offers for a name.
struct Candidate {
    std::string path;  // "/pictures/..." or "/remote/<id>.<ext>", after the service's address
    int width = 0;     // 0 while the picture has not been looked at
    int height = 0;
    std::string title;
    // Pixels of the largest face; 0 for none, kNotLookedAt while detection has not run.
    long long largestFace = 0;

    static constexpr long long kNotLookedAt = -1;
    bool MayShowAFace() const { return largestFace != 0; }
};

// One person a name may stand for.
struct PersonCandidate {
    std::string id;  // what a search is kept to: a Wikidata id, or the gallery folder
    std::string name;
    std::string description;  // one line in the user's language, "" when the source has none
    std::string picture;      // a small picture's path at the service, "" for none
};

}  // namespace norvo
