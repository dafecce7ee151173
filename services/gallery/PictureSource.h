#pragma once

#include <chrono>
#include <string>
#include <vector>

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

// What one source answered for a name.
struct SourceAnswer {
    std::vector<Candidate> candidates;  // best first
    bool failed = false;                // the source could not be asked, or kept failing
    // One line for the log: why it failed, or what went wrong on the way to what it found.
    std::string reason;
};

// A place pictures of people come from: the picture folder or a web source. Find may be
// called from several request threads at once.
class PictureSource {
public:
    virtual ~PictureSource() = default;
    // "gallery", "wikimedia", "searxng".
    virtual const char* Name() const = 0;
    // Candidates for the name, best first; gives up on anything not done by `deadline`.
    virtual SourceAnswer Find(const std::string& name, Clock::time_point deadline) = 0;
};

}  // namespace norvo
