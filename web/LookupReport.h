#pragma once

#include <string>

namespace norvo {

// What the web lookups tell the run as they go. The lookups know no windows: the run turns
// these into progress steps and messages.
class LookupReport {
public:
    virtual ~LookupReport() = default;

    // The image search answered with its candidates.
    virtual void SearchAnswered() = 0;
    // The faces of candidate `index` (0 to 3) were asked for, whatever the answer.
    virtual void CandidateExamined(int index) = 0;
    // A request to a service failed; the lookup goes on or fails after this.
    virtual void RequestFailed() = 0;
    // The lookup failed; `text` (one of the program's texts, composed) tells the user why.
    virtual void Failed(const std::string& text) = 0;
};

}  // namespace norvo
