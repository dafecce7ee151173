#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "imaging/FaceCompositor.h"
#include "imaging/Picture.h"
#include "web/ImageSearch.h"
#include "web/PictureSource.h"

namespace norvo {

// The progress window's steps, in the order a run sends them (the bar runs 0 to 16).
inline constexpr int kProgressStarted = 0;    // the module is being loaded
inline constexpr int kProgressConnected = 1;  // the connection check passed
// Each search's steps count from its base: the answer, then its four candidates examined.
inline constexpr int kProgressBodySearch = 0;
inline constexpr int kProgressFaceSearch = 7;
inline constexpr int kProgressSearchAnswered = 2;  // base + 2
inline constexpr int kProgressFirstCandidate = 3;  // base + 3 + candidate (0 to 3)
inline constexpr int kProgressBodyDownloaded = 14;
inline constexpr int kProgressFaceDownloaded = 15;
inline constexpr int kProgressComposed = 16;
// Progress code that hides and parks the progress window.
inline constexpr int kProgressHide = 256;

// How a message box looks.
enum class MessageKind {
    Warning,  // the warning caption, one OK button, exclamation icon
    Plain,    // the application's name as caption, one OK button, no icon
};

class CandidateChoices;

// The composed portrait as the save step offers it: one picture per blend style, the one the
// run starts with made already, the other made when first asked for. A view shows it, lets
// the user switch, and leaves the choice in it; the run then saves the chosen portrait. Used
// by one thread at a time.
class PortraitPreview {
public:
    virtual ~PortraitPreview() = default;

    // The style that will be saved: the run's setting (Classic when that could not be made)
    // or the last one chosen.
    virtual BlendStyle Chosen() const = 0;
    // Chooses the style to save; a style whose portrait could not be made is ignored.
    virtual void Choose(BlendStyle style) = 0;
    // True when Portrait(style) returns at once: made, or known to be impossible.
    virtual bool Ready(BlendStyle style) const = 0;
    // The portrait of `style`, made on the first call (which may wait for the landmark model:
    // keep it off the GUI thread unless Ready); nullptr when it cannot be made.
    virtual PictureHandle Portrait(BlendStyle style) = 0;
    // What the user should know about the portrait of `style` once it was asked for: why it
    // cannot be made, or that some faces were blended the classic way; "" when nothing.
    virtual std::string Note(BlendStyle style) const = 0;
    // Writes the body picture, the face picture and the portrait of each style side by side
    // as one PNG file (a style that cannot be made is left out); false when not written.
    virtual bool WriteComparison(const std::string& path) = 0;
    // The other pictures, people and faces the user may choose in the save step; nullptr when
    // the run offers none.
    virtual CandidateChoices* Choices() { return nullptr; }
};

// One side of what a run's searches found, for the user to choose from.
struct SideCandidates {
    std::string name;            // as typed
    std::vector<Person> people;  // whom the name may stand for, as the service lists them
    struct Picture {
        FoundPicture found;
        std::size_t faces = 0;  // faces in it (boxes with an area)
        PictureCredit credit;   // who is in it and where it comes from
    };
    std::vector<Picture> pictures;  // each with a face, in the search's order
    std::size_t chosen = 0;         // the picture the run takes
};

struct RunCandidates {
    SideCandidates body;
    SideCandidates face;
};

enum class RunSide { Body, Face };

// The choices a run offers in its save step: another picture or person for each side, and
// which of the body picture's faces are replaced. After each choice the portrait is made again,
// so what the preview shows next is what is saved. Used by one thread at a time; the calls that
// may reach the network belong off the GUI thread.
class CandidateChoices {
public:
    virtual ~CandidateChoices() = default;

    // What the searches found for the side; `chosen` is the picture in the portrait.
    virtual const SideCandidates& Side(RunSide side) const = 0;
    // The side's chosen picture as downloaded, for a thumbnail; nullptr when there is none.
    virtual PictureHandle Picture(RunSide side) const = 0;
    // True when ChoosePicture(side, index) needs no download.
    virtual bool Downloaded(RunSide side, std::size_t index) const = 0;
    // Takes the side's picture `index`, downloading it when needed, and makes the portrait
    // again; false, with Problem() saying why, when it could not (the portrait stays).
    virtual bool ChoosePicture(RunSide side, std::size_t index) = 0;
    // Searches the side's name again kept to person `id` (one of its people) and takes the
    // picture that search chooses; false, with Problem(), when it could not.
    virtual bool ChoosePerson(RunSide side, const std::string& id) = 0;
    // The body picture's faces left to right, in that picture's pixels, and which of them are
    // replaced.
    virtual FaceBoxList BodyFaces() const = 0;
    virtual std::vector<bool> FacesOn() const = 0;
    // Switches the replacement of body face `index` (from 0, left to right) off or on and makes
    // the portrait again; false when it is the last face on, which stays on.
    virtual bool ToggleFace(std::size_t index) = 0;
    // Why the last choice was refused or failed; "" after one that worked.
    virtual std::string Problem() const = 0;
};

// Everything a Create run asks of the windows. The run knows no toolkit: the main dialog
// implements this with synchronous calls onto the GUI thread, the command line on the
// terminal, and tests as a recorder. Every call returns only once it has taken effect.
class RunView {
public:
    virtual ~RunView() = default;

    // A progress step kProgressStarted..kProgressComposed, or kProgressHide.
    virtual void SendProgressStep(int step) = 0;
    // Shows one modal message box and returns when the user has answered it.
    virtual void ShowMessage(const std::string& text, MessageKind kind) = 0;
    // As ShowMessage, with `details` (lines) the windows let the user unfold and the terminal
    // prints after the text. Views without a place for details show the text alone.
    virtual void ShowMessageWithDetails(const std::string& text, MessageKind kind,
                                        const std::string& details) {
        (void)details;
        ShowMessage(text, kind);
    }
    // Brings the main window to the front (before the save dialog).
    virtual void BringMainWindowToFront() = 0;
    // Asks where to save the finished picture; nullopt when the user cancels.
    virtual std::optional<std::string> AskSavePath() = 0;
    // Asks where to save `portrait`, letting the user compare the blend styles first; the
    // style to save is left chosen in `portrait`. By default asks as AskSavePath does and
    // keeps the run's style.
    virtual std::optional<std::string> AskSavePathFor(PortraitPreview& /*portrait*/) {
        return AskSavePath();
    }
    // Enables or disables the Create button.
    virtual void EnableCreate(bool enabled) = 0;
    // Shows what the searches found, when the run was asked to list it instead of making a
    // portrait. Views without a place for it show nothing.
    virtual void ShowCandidates(const RunCandidates& candidates) { (void)candidates; }
    // True once the user closed the main window: the run stops at the next stage boundary,
    // quietly, after unloading the module and removing its files.
    virtual bool StopRequested() { return false; }
    // The run leaves here what ends its request in flight at once (callable from any thread),
    // and an empty action before it ends. A view that can ask for a stop calls it when it does.
    virtual void SetStopAction(std::function<void()> action) { (void)action; }
};

// A view's side of a stop asked from another thread than the run's: the flag the run reads at
// its stage boundaries and the action the run left to cut its wait short.
class RunStop {
public:
    // From any thread: marks the stop and calls the run's action, if it left one.
    void Request() {
        std::lock_guard lock(m_mutex);
        m_bRequested = true;
        if (m_action) {
            m_action();
        }
    }
    bool Requested() const { return m_bRequested.load(); }
    // The run's side. An action left after the stop was asked is called at once.
    void SetAction(std::function<void()> action) {
        std::lock_guard lock(m_mutex);
        m_action = std::move(action);
        if (m_action && m_bRequested) {
            m_action();
        }
    }
    // Before a new run.
    void Reset() { m_bRequested = false; }

private:
    std::mutex m_mutex;
    std::function<void()> m_action;
    std::atomic<bool> m_bRequested{false};
};

}  // namespace norvo
