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

FirstWithAFace::Outcome FirstWithAFace::Find(const std::string& name,
                                             Clock::time_point deadline) const {
    std::optional<SourceAnswer> reserve;
    std::string failure;
    for (const auto& source : m_sources) {
        if (source->WaitsOnTheNetwork() && m_beforeNetwork)
            m_beforeNetwork();
        SourceAnswer answer = source->Find(name, deadline);
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

}  // namespace norvo
