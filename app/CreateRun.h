#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CandidateChoice.h"
#include "app/PortraitCredits.h"
#include "app/RunView.h"
#include "imaging/FaceBox.h"
#include "imaging/FaceCompositor.h"
#include "saori/SaoriHost.h"
#include "web/LookupContext.h"

namespace norvo {

class LandmarkModel;

// The user's choice for one side in place of the run's own.
struct SideChoice {
    std::string person;               // the service's id of the person; "" for whoever is found
    std::optional<std::size_t> pick;  // from 1, among the pictures with a face; else the largest
};

// What the user chose in place of the run's own choices; each part left unset keeps them, and
// with none set the run is exactly the run without choices.
struct RunChoices {
    SideChoice body;
    SideChoice face;
    std::vector<std::size_t> faces;  // body faces to replace, from 1 left to right; empty: all
    bool listOnly = false;           // show the candidates (RunView::ShowCandidates) and stop

    bool Any() const {
        return !body.person.empty() || body.pick || !face.person.empty() || face.pick ||
               !faces.empty() || listOnly;
    }
};

// Where one program's runs find their module, folders and services, and how they blend.
struct RunSettings {
    std::string modulePath;  // the SAORI module file (httpc.so)
    std::string workFolder;  // private folder handed to the module; ends with '/'
    std::string searchBase;  // image search base address, without a trailing '/'
    std::string detectBase;  // face detection base address, without a trailing '/'
    std::string maskPath;    // share/norvo/mask.png
    // Label the saved portrait (metadata and credits of its source pictures, asked from the
    // detection service). Off here, so a run made of bare settings stays the classic run;
    // the program turns it on unless the user said no.
    bool labelPortrait = false;
    BlendStyle blend = BlendStyle::Classic;  // the portrait made first, saved unless changed
    // The face landmark model the natural blend needs, shared by the program's runs so it is
    // read once; without one only the classic blend can be made.
    std::shared_ptr<LandmarkModel> landmarks = nullptr;
    // The settings file where a style the user switched to in the save step and then saved
    // is kept for the next runs; "" keeps nothing (the command line's choice is for one run).
    std::string blendSettingsPath = "";
    RunChoices choices;
    // Offer the other pictures, people and faces in the save step. Off here, so a run made of
    // bare settings sends exactly the classic requests; the windows turn it on.
    bool offerChoices = false;
};

// How the last run ended.
enum class RunOutcome {
    NotRun,     // no run yet
    Saved,      // the portrait was written
    NotSaved,   // composed, but the user cancelled the save
    Failed,     // a stage failed, or the portrait could not be composed or written
    Stopped,    // the windows or the terminal asked the run to stop
    Listed,     // the searches' candidates were shown, as asked; no portrait
    BadChoice,  // a choice named a person, picture or face the searches did not find
};

const char* describe(RunOutcome outcome);

// One Create run from two names to the saved portrait: the frame (module load, connection
// check, closing) and the stage sequence (two searches, two downloads, compositing and
// saving). Knows no toolkit; all it shows goes through the RunView. One run at a time.
class CreateRun {
public:
    CreateRun(RunView& view, RunSettings settings);
    CreateRun(const CreateRun&) = delete;
    CreateRun& operator=(const CreateRun&) = delete;

    // Runs the whole job for the two names; every path re-enables Create, leaves the progress
    // window hidden, unloads a loaded module once and leaves no file of the run behind. While
    // it runs, the view holds the action that cancels the module's requests; once a stop is
    // asked the run ends as Stopped without any failure message.
    void Run(const std::string& body, const std::string& face);

    // The middle of a run, after the connection check: true ran to its end, false a stage
    // failed (or a stop was asked) and the run has been closed here.
    bool RunStages();

    // Blends the face picture's `faceBox` into every box of `bodyBoxes`, asks for the save path
    // and writes the portrait, reporting the outcome to the user. The files stay on disk.
    void ComposeFaces(const std::string& bodyFile, const FaceBoxList& bodyBoxes,
                      const std::string& faceFile, const FaceBox& faceBox);

    RunOutcome LastOutcome() const { return m_outcome; }
    // The blend style of the portrait last saved or offered for saving.
    BlendStyle ChosenBlend() const { return m_chosenBlend; }
    const RunSettings& Settings() const { return m_settings; }
    SaoriHost& Saori() { return m_saori; }

private:
    // Closing after a stop was asked at a stage boundary: unload, delete, hide, enable.
    void CloseStopped(bool unload, const std::string& file1, const std::string& file2);
    // Closing after a failed search, which has shown its own message: unload, enable, hide.
    void CloseFailedSearch();
    // Closing after a failed download: hide, message, unload, enable; then `storedBefore`
    // (the picture stored before it) goes, so that no run leaves a file behind.
    void CloseFailedDownload(const std::string& address, const std::string& name,
                             const std::string& storedBefore);
    // Closing after a choice named what the searches did not find: hide, the message, unload,
    // enable.
    void CloseBadChoice(const std::string& text);
    // The people `name` may stand for, asked only when a choice needs them; false after
    // closing the run when `choice` pins a person who is not among them.
    bool CheckPerson(LookupContext& ctx, const std::string& name, const SideChoice& choice,
                     SideCandidates& side);
    // The picture `choice` picks among the search's, into side.chosen; false after closing the
    // run when there is no such picture.
    bool ApplyPick(const std::string& name, const SideChoice& choice, SideCandidates& side);
    // The save step's way to the services: each download or search loads the module for
    // itself, reporting quietly.
    CandidateFetch ChoiceFetch();
    // Runs `job` with the module loaded; false, with `problem` saying why, when it failed.
    bool WithModule(std::string& problem, const std::function<bool(LookupContext&)>& job);
    // The one place a portrait is written: the composed picture as a JPEG file at `path`, then
    // its label when labelling is on. Returns what to show under the saved message ("" for
    // nothing); false when the picture itself could not be written.
    bool WritePortrait(FaceCompositor& compositor, const std::string& path, std::string& details);

    RunView& m_view;
    RunSettings m_settings;
    SaoriHost m_saori;
    std::string m_strBody;
    std::string m_strFace;
    // Credits of this run's pictures, asked for before the downloads when labelling is on.
    PictureCredit m_bodyCredit;
    PictureCredit m_faceCredit;
    // What this run's searches found, and the body faces (left to right) it replaces.
    RunCandidates m_found;
    std::vector<bool> m_facesOn;
    RunOutcome m_outcome = RunOutcome::NotRun;
    BlendStyle m_chosenBlend = BlendStyle::Classic;
};

}  // namespace norvo
