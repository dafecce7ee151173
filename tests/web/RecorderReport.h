#pragma once

// A LookupReport that records every report as one line, so tests can compare whole sequences:
//   "answered", "candidate 2", "request failed", "failed <text>".

#include <string>
#include <vector>

#include "web/LookupReport.h"

namespace norvo::testing {

class RecorderReport : public LookupReport {
public:
    void SearchAnswered() override { calls.push_back("answered"); }
    void CandidateExamined(int index) override {
        calls.push_back("candidate " + std::to_string(index));
    }
    void RequestFailed() override { calls.push_back("request failed"); }
    void Failed(const std::string& text) override { calls.push_back("failed " + text); }

    std::vector<std::string> calls;
};

}  // namespace norvo::testing
