#include "app/TerminalView.h"

#include <utility>

#include "app/RunTexts.h"
#include "app/TerminalTexts.h"
#include "text/UserText.h"
#include "web/ImageDownload.h"

namespace norvo {

namespace {

// Message texts carry CR LF between lines; a terminal wants LF. They may also carry parts of
// web answers (picture addresses), so every other control character is shown as '?' rather
// than handed to the terminal, which would act on escape sequences and bare CRs.
std::string ForTerminal(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        const bool control =
            (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') || c == '\x7f';
        out.push_back(control ? '?' : c);
    }
    return out;
}

// A person as the candidate list names them: the name, the id where it says more than the name,
// and the description where it says more than the name (a gallery folder is all three).
std::string Who(const std::string& name, const std::string& id, const std::string& description) {
    const std::string named =
        id.empty() || id == name ? name : ComposeText(kPersonText, {name, id});
    return description.empty() || description == name
               ? named
               : ComposeText(kNameDescribedText, {named, description});
}

}  // namespace

TerminalView::TerminalView(std::FILE* out, bool isTerminal, bool verbose, std::string savePath)
    : m_out(out),
      m_bTerminal(isTerminal),
      m_bVerbose(verbose),
      m_strSavePath(std::move(savePath)) {}

void TerminalView::EndBar() {
    if (m_bBarShown) {
        std::fputc('\n', m_out);
        m_bBarShown = false;
    }
}

void TerminalView::SendProgressStep(int step) {
    if (m_bVerbose) {
        const std::string line = step == kProgressHide
                                     ? std::string(kTraceHideText)
                                     : ComposeText(kTraceProgressText, {std::to_string(step)});
        std::fprintf(m_out, "%s\n", line.c_str());
        std::fflush(m_out);
        return;
    }
    if (step == kProgressHide) {
        EndBar();
        return;
    }
    if (step < 0 || step > kBarSteps) {
        return;
    }
    if (m_bTerminal) {
        std::string bar(static_cast<size_t>(step), '#');
        bar.append(static_cast<size_t>(kBarSteps - step), '.');
        std::fprintf(m_out, "\r[%s] %2d/%d", bar.c_str(), step, kBarSteps);
        m_bBarShown = true;
    } else {
        std::fprintf(
            m_out, "%s\n",
            ComposeText(kProgressLineText, {std::to_string(step), std::to_string(kBarSteps)})
                .c_str());
    }
    std::fflush(m_out);
}

void TerminalView::ShowMessage(const std::string& text, MessageKind kind) {
    EndBar();
    const std::string shown = ForTerminal(UserText(text));
    if (m_bVerbose) {
        const char* pattern = kind == MessageKind::Warning ? kTraceWarningText : kTracePlainText;
        std::fprintf(m_out, "%s\n", ComposeText(pattern, {shown}).c_str());
    } else {
        std::fprintf(m_out, "%s\n", shown.c_str());
    }
    std::fflush(m_out);
}

void TerminalView::ShowMessageWithDetails(const std::string& text, MessageKind kind,
                                          const std::string& details) {
    ShowMessage(text, kind);
    // Details may carry web texts (credits) too: the same care as the message.
    const std::string shown = ForTerminal(details);
    size_t start = 0;
    while (start < shown.size()) {
        size_t end = shown.find('\n', start);
        if (end == std::string::npos) {
            end = shown.size();
        }
        std::fprintf(m_out, "  %s\n", shown.substr(start, end - start).c_str());
        start = end + 1;
    }
    std::fflush(m_out);
}

void TerminalView::BringMainWindowToFront() {
    if (m_bVerbose) {
        std::fprintf(m_out, "%s\n", kTraceFrontText);
        std::fflush(m_out);
    }
}

std::optional<std::string> TerminalView::AskSavePath() {
    if (m_bVerbose) {
        std::fprintf(m_out, "%s\n", ComposeText(kTraceSavePathText, {m_strSavePath}).c_str());
        std::fflush(m_out);
    }
    return m_strSavePath;
}

std::string ComparisonFailedText(const std::string& path) {
    return ComposeText(kComparisonFailedText, {path});
}

std::optional<std::string> TerminalView::AskSavePathFor(PortraitPreview& portrait) {
    if (!m_strComparisonPath.empty() && !portrait.WriteComparison(m_strComparisonPath)) {
        ShowMessage(ComparisonFailedText(m_strComparisonPath), MessageKind::Warning);
    }
    if (portrait.Ready(BlendStyle::Natural)) {
        if (const std::string note = portrait.Note(BlendStyle::Natural); !note.empty()) {
            ShowMessage(note, MessageKind::Warning);
        }
    }
    if (m_bVerbose) {
        std::fprintf(m_out, "%s\n",
                     ComposeText(kTraceBlendText, {BlendStyleName(portrait.Chosen())}).c_str());
        std::fflush(m_out);
    }
    return AskSavePath();
}

std::vector<std::string> CandidateLines(const RunCandidates& candidates) {
    std::vector<std::string> lines;
    struct Side {
        const SideCandidates* candidates;
        const char* personLine;
        const char* pictureLine;
    };
    for (const Side& side : {Side{&candidates.body, kBodyPersonLineText, kBodyPictureLineText},
                             Side{&candidates.face, kFacePersonLineText, kFacePictureLineText}}) {
        for (const Person& person : side.candidates->people) {
            lines.push_back(ComposeText(side.personLine,
                                        {person.id, Who(person.name, "", person.description)}));
        }
        for (std::size_t i = 0; i < side.candidates->pictures.size(); ++i) {
            const SideCandidates::Picture& picture = side.candidates->pictures[i];
            const PictureCredit& credit = picture.credit;
            const std::string file =
                credit.file.empty() ? PictureFileName(picture.found.address) : credit.file;
            const std::string who = credit.person.empty()
                                        ? UserText(kUnknownPersonText)
                                        : Who(credit.person, credit.personId, credit.description);
            std::string line = ComposeText(side.pictureLine, {std::to_string(i + 1), file,
                                                              std::to_string(picture.faces), who});
            if (i == side.candidates->chosen) {
                line = ComposeText(kChosenCandidateText, {line});
            }
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

void TerminalView::ShowCandidates(const RunCandidates& candidates) {
    EndBar();
    for (const std::string& line : CandidateLines(candidates)) {
        // Web texts (names, descriptions) are shown with the same care as the messages.
        std::printf("%s\n", ForTerminal(line).c_str());
    }
    std::fflush(stdout);
}

void TerminalView::EnableCreate(bool enabled) {
    if (m_bVerbose) {
        std::fprintf(m_out, "%s\n", enabled ? kTraceEnableOnText : kTraceEnableOffText);
        std::fflush(m_out);
    }
}

void TerminalView::SetStopAction(std::function<void()> action) {
    m_stop.SetAction(std::move(action));
}

}  // namespace norvo
