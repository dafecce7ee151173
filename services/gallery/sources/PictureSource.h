#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "services/gallery/wire/Candidate.h"

namespace norvo {

// What one source answered for a name.
struct SourceAnswer {
    std::vector<Candidate> candidates;  // best first
    bool failed = false;                // the source could not be asked, or kept failing
    // One line for the log: why it failed, or what went wrong on the way to what it found.
    std::string reason;
};

// Whom one source knows a name to stand for.
struct PeopleAnswer {
    std::vector<PersonCandidate> people;  // best first
    bool failed = false;
    std::string reason;
};

// A place pictures of people come from: the picture folder or a web source. Find may be
// called from several request threads at once.
class PictureSource {
public:
    virtual ~PictureSource() = default;
    // "gallery", "wikimedia", "searxng".
    virtual const char* Name() const = 0;
    // True for a source that waits on the network before its pictures need the detector, which
    // can then get ready meanwhile.
    virtual bool WaitsOnTheNetwork() const = 0;
    // Candidates for the name, best first; gives up on anything not done by `deadline`.
    virtual SourceAnswer Find(const std::string& name, Clock::time_point deadline) = 0;
    // Candidates of the one person `id` (as People lists it) only; none for an id the source
    // does not know, which by default is every id (a source that knows no people).
    virtual SourceAnswer FindPerson(const std::string& /*name*/, const std::string& /*id*/,
                                    Clock::time_point /*deadline*/) {
        return {};
    }
    // The people the name may stand for, best first; none when the source does not know it.
    virtual PeopleAnswer People(const std::string& /*name*/, Clock::time_point /*deadline*/) {
        return {};
    }
};

}  // namespace norvo
