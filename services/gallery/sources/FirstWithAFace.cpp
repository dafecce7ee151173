#include "services/gallery/sources/FirstWithAFace.h"

#include <algorithm>
#include <optional>

namespace norvo {

FirstWithAFace::FirstWithAFace(std::vector<std::unique_ptr<PictureSource>> sources,
                               std::function<void()> beforeNetwork,
                               std::function<void(const std::string&)> log)
    : m_sources(std::move(sources)),
      m_beforeNetwork(std::move(beforeNetwork)),
      m_log(std::move(log)) {}

void FirstWithAFace::Ask(const PictureSource& source) const {
    if (source.WaitsOnTheNetwork() && m_beforeNetwork)
        m_beforeNetwork();
}

FirstWithAFace::Outcome FirstWithAFace::Find(const std::string& name,
                                             Clock::time_point deadline) const {
    return Find(name, "", deadline);
}

FirstWithAFace::Outcome FirstWithAFace::Find(const std::string& name, const std::string& person,
                                             Clock::time_point deadline) const {
    std::optional<SourceAnswer> reserve;
    std::string failure;
    for (const auto& source : m_sources) {
        Ask(*source);
        SourceAnswer answer = person.empty() ? source->Find(name, deadline)
                                             : source->FindPerson(name, person, deadline);
        if (!answer.reason.empty() && m_log)
            m_log(answer.reason);
        if (std::any_of(answer.candidates.begin(), answer.candidates.end(),
                        [](const Candidate& c) { return c.MayShowAFace(); })) {
            return {std::move(answer.candidates), {}};
        }
        if (!answer.candidates.empty() && !reserve)
            reserve = std::move(answer);
        else if (answer.failed && !reserve && failure.empty())
            failure = answer.reason;
    }
    if (reserve)
        return {std::move(reserve->candidates), {}};
    return {{}, failure};
}

FirstWithAFace::PeopleOutcome FirstWithAFace::People(const std::string& name,
                                                     Clock::time_point deadline) const {
    std::string failure;
    for (const auto& source : m_sources) {
        Ask(*source);
        PeopleAnswer answer = source->People(name, deadline);
        if (!answer.reason.empty() && m_log)
            m_log(answer.reason);
        if (!answer.people.empty()) {
            if (answer.people.size() > kMaxPeople)
                answer.people.resize(kMaxPeople);
            return {std::move(answer.people), {}};
        }
        if (answer.failed && failure.empty())
            failure = answer.reason;
    }
    return {{}, failure};
}

}  // namespace norvo
