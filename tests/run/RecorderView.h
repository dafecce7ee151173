#pragma once

// A RunView that records every call as one line, so tests can compare whole sequences:
//   "step 3", "hide", "warning <text>", "plain <text>", "front", "ask", "enable 0", "enable 1",
//   "candidates".

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/RunView.h"

namespace norvo::testing {

class RecorderView : public RunView {
public:
    void SendProgressStep(int step) override {
        calls.push_back(step == kProgressHide ? "hide" : "step " + std::to_string(step));
    }
    void ShowMessage(const std::string& text, MessageKind kind) override {
        calls.push_back((kind == MessageKind::Warning ? "warning " : "plain ") + text);
    }
    // Recorded as ShowMessage, with the details kept apart.
    void ShowMessageWithDetails(const std::string& text, MessageKind kind,
                                const std::string& shownDetails) override {
        ShowMessage(text, kind);
        details = shownDetails;
    }
    void BringMainWindowToFront() override { calls.push_back("front"); }
    std::optional<std::string> AskSavePath() override {
        calls.push_back("ask");
        return savePath;
    }
    // The save step: `choose` (when set) acts on the portrait's choices before the path is asked.
    std::optional<std::string> AskSavePathFor(PortraitPreview& portrait) override {
        if (choose) {
            choose(portrait);
        }
        return AskSavePath();
    }
    void EnableCreate(bool enabled) override { calls.push_back(enabled ? "enable 1" : "enable 0"); }
    void ShowCandidates(const RunCandidates& shown) override {
        calls.push_back("candidates");
        candidates = shown;
    }
    bool StopRequested() override { return (stopWhen && stopWhen(calls)) || stop.Requested(); }
    void SetStopAction(std::function<void()> action) override { stop.SetAction(std::move(action)); }

    // Only the calls other than progress steps: the closing actions and messages.
    std::vector<std::string> Closing() const {
        std::vector<std::string> out;
        for (const auto& c : calls) {
            if (c.rfind("step ", 0) != 0) {
                out.push_back(c);
            }
        }
        return out;
    }
    // Only the progress step numbers.
    std::vector<int> Steps() const {
        std::vector<int> out;
        for (const auto& c : calls) {
            if (c.rfind("step ", 0) == 0) {
                out.push_back(std::stoi(c.substr(5)));
            }
        }
        return out;
    }

    std::vector<std::string> calls;
    std::string details;  // of the last message shown with details
    std::optional<std::string> savePath;
    std::optional<RunCandidates> candidates;  // the last list shown
    std::function<void(PortraitPreview&)> choose;
    // Consulted at each stage boundary with the calls so far.
    std::function<bool(const std::vector<std::string>&)> stopWhen;
    // A stop asked from another thread, as the windows and the terminal ask it.
    RunStop stop;
};

}  // namespace norvo::testing
