#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <utility>

#include "app/RunView.h"

namespace norvo {

// The run's view on a terminal: progress on stderr (a bar on a terminal, plain lines
// otherwise), message texts on stderr, the save path fixed in advance.
// The candidate list, one line each: for each side (body, then face) the people its name may
// stand for, then its pictures numbered from 1, the one the run would take marked.
std::vector<std::string> CandidateLines(const RunCandidates& candidates);

class TerminalView : public RunView {
public:
    // `out` receives everything; `isTerminal` selects the bar; `verbose` prints every call.
    TerminalView(std::FILE* out, bool isTerminal, bool verbose, std::string savePath);

    void SendProgressStep(int step) override;
    void ShowMessage(const std::string& text, MessageKind kind) override;
    // The text, then each line of `details` indented below it.
    void ShowMessageWithDetails(const std::string& text, MessageKind kind,
                                const std::string& details) override;
    void BringMainWindowToFront() override;
    std::optional<std::string> AskSavePath() override;
    // Writes the comparison sheet when a path for it was set, and tells what the user should
    // know about the natural portrait; then as AskSavePath.
    std::optional<std::string> AskSavePathFor(PortraitPreview& portrait) override;
    void EnableCreate(bool enabled) override;
    // Prints the candidate list (CandidateLines) on standard output: it is what was asked for.
    void ShowCandidates(const RunCandidates& candidates) override;
    bool StopRequested() override { return m_stop.Requested(); }
    void SetStopAction(std::function<void()> action) override;

    // From any thread (e.g. after Ctrl-C): the run stops quietly, its request in flight at once.
    void RequestStop() { m_stop.Request(); }
    // Where the side-by-side comparison of the blends goes; "" for none.
    void SetComparisonPath(std::string path) { m_strComparisonPath = std::move(path); }

    // Width of the bar in characters: one per step.
    static constexpr int kBarSteps = kProgressComposed;

private:
    void EndBar();

    std::FILE* m_out;
    bool m_bTerminal;
    bool m_bVerbose;
    bool m_bBarShown = false;
    std::string m_strSavePath;
    std::string m_strComparisonPath;
    RunStop m_stop;
};

// The terminal's message when the comparison sheet could not be written to `path`.
std::string ComparisonFailedText(const std::string& path);

}  // namespace norvo
