#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "services/gallery/sources/PictureSource.h"

namespace norvo {

// Which source answers a search: the sources are asked in order, and the first with a picture
// that shows (or may show) a face answers; a source with pictures but no face is kept in
// reserve; a failure counts only while no earlier source had anything. Thread-safe as far as
// the sources are.
class FirstWithAFace {
public:
    // What a search comes to.
    struct Outcome {
        std::vector<Candidate> candidates;  // best first; empty when nobody has a picture
        // Why nothing was found, when a source failed before any other had pictures; "" else.
        std::string failure;
    };

    // `beforeNetwork` runs before a source that waits on the network is asked (to get the
    // detector ready meanwhile); `log` gets each source's reason line.
    FirstWithAFace(std::vector<std::unique_ptr<PictureSource>> sources,
                   std::function<void()> beforeNetwork,
                   std::function<void(const std::string&)> log);

    Outcome Find(const std::string& name, Clock::time_point deadline) const;
    // The same, kept to one person's pictures (`person` as People lists it; "" for anyone).
    Outcome Find(const std::string& name, const std::string& person,
                 Clock::time_point deadline) const;

    // Whom a name may stand for: the first source that knows anybody answers; a failure counts
    // only while no earlier source knew anybody.
    struct PeopleOutcome {
        std::vector<PersonCandidate> people;  // at most kMaxPeople
        std::string failure;
    };
    static constexpr std::size_t kMaxPeople = 6;
    PeopleOutcome People(const std::string& name, Clock::time_point deadline) const;

private:
    void Ask(const PictureSource& source) const;

    std::vector<std::unique_ptr<PictureSource>> m_sources;
    std::function<void()> m_beforeNetwork;
    std::function<void(const std::string&)> m_log;
};

}  // namespace norvo
