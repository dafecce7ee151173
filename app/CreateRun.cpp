#include "app/CreateRun.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>

#include "app/FaceNumbers.h"
#include "app/PortraitChoice.h"
#include "app/RunTexts.h"
#include "imaging/FaceCompositor.h"
#include "text/UserText.h"
#include "web/FaceDetection.h"
#include "web/ImageDownload.h"
#include "web/ImageSearch.h"
#include "web/PictureSource.h"

namespace norvo {

namespace {

// The part of a path after its last '/'.
std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What the lookups report, as the run shows it: progress steps counted from the current
// search's base, failures as warnings. A stop cuts the request in flight short, which then
// fails like any other; once a stop was asked, the failure messages that follow are not shown.
class StageReport : public LookupReport {
public:
    explicit StageReport(RunView& view) : m_view(view) {}

    // The search whose steps are sent next (kProgressBodySearch or kProgressFaceSearch).
    void SetSearchBase(int base) { m_base = base; }

    void SearchAnswered() override { m_view.SendProgressStep(m_base + kProgressSearchAnswered); }
    void CandidateExamined(int index) override {
        m_view.SendProgressStep(m_base + kProgressFirstCandidate + index);
    }
    void RequestFailed() override { m_view.SendProgressStep(kProgressHide); }
    void Failed(const std::string& text) override {
        m_view.SendProgressStep(kProgressHide);
        if (!m_view.StopRequested()) {
            m_view.ShowMessage(text, MessageKind::Warning);
        }
    }

private:
    RunView& m_view;
    int m_base = kProgressBodySearch;
};

// Leaves the view the action that cancels the host's requests, for as long as a run lasts.
class StopActionLease {
public:
    StopActionLease(RunView& view, SaoriHost& host) : m_view(view) {
        m_view.SetStopAction([&host] { host.CancelRequests(); });
    }
    ~StopActionLease() { m_view.SetStopAction(nullptr); }
    StopActionLease(const StopActionLease&) = delete;
    StopActionLease& operator=(const StopActionLease&) = delete;

private:
    RunView& m_view;
};

// A lookup's report in the save step: no progress window then, and a failure is kept for the
// preview to show.
class QuietReport : public LookupReport {
public:
    void SearchAnswered() override {}
    void CandidateExamined(int) override {}
    void RequestFailed() override {}
    void Failed(const std::string& text) override { failure = text; }

    std::string failure;
};

// A search's pictures as candidates: each with its faces counted, credits not asked yet.
void TakePictures(SearchOutcome& outcome, SideCandidates& side) {
    for (FoundPicture& picture : outcome.pictures) {
        const std::size_t faces = FacesLeftToRight(picture.list).size();
        side.pictures.push_back({std::move(picture), faces, PictureCredit{}});
    }
    side.chosen = outcome.chosen;
}

void LookUpCredits(LookupContext& ctx, SideCandidates& side) {
    for (SideCandidates::Picture& picture : side.pictures) {
        picture.credit = LookupPictureCredit(ctx, picture.found.address);
    }
}

}  // namespace

std::string DownloadFailedText(const std::string& address, const std::string& name) {
    return ComposeText(kDownloadFailedText, {address, name});
}

std::string UnreadableText(const std::string& fileName) {
    return ComposeText(kUnreadableText, {fileName});
}

const char* describe(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::NotRun:
            return "no run yet";
        case RunOutcome::Saved:
            return "the portrait was saved";
        case RunOutcome::NotSaved:
            return "the portrait was not saved";
        case RunOutcome::Failed:
            return "the run failed";
        case RunOutcome::Stopped:
            return "the run was stopped";
        case RunOutcome::Listed:
            return "the candidates were listed";
        case RunOutcome::BadChoice:
            return "a choice named what the searches did not find";
    }
    return "unknown outcome";
}

CreateRun::CreateRun(RunView& view, RunSettings settings)
    : m_view(view),
      m_settings(std::move(settings)),
      m_saori(m_settings.modulePath, m_settings.workFolder) {}

void CreateRun::Run(const std::string& body, const std::string& face) {
    const StopActionLease stopAction(m_view, m_saori);
    m_outcome = RunOutcome::Failed;
    m_view.EnableCreate(false);
    m_view.SendProgressStep(kProgressStarted);
    m_strBody = body;
    m_strFace = face;

    if (m_saori.LoadSaori() != 0) {
        m_view.SendProgressStep(kProgressHide);
        m_view.ShowMessage(kLoadFailedText, MessageKind::Warning);
        m_view.EnableCreate(true);
        return;
    }

    HeaderTable connection;
    const int check = m_saori.SaoriRequest(0, "", "", "", connection);
    if (check != 0 || connection["Result"] != "1") {
        if (m_view.StopRequested()) {
            CloseStopped(true, "", "");
            return;
        }
        m_view.SendProgressStep(kProgressHide);
        m_view.ShowMessage(check != 0 ? SaoriRequestFailureText(check) : kNoInternetText,
                           MessageKind::Warning);
        m_saori.UnloadSaori();
        m_view.EnableCreate(true);
        return;
    }
    m_view.SendProgressStep(kProgressConnected);

    if (!RunStages()) {
        return;
    }
    m_view.EnableCreate(true);
    m_view.SendProgressStep(kProgressHide);
}

void CreateRun::CloseStopped(bool unload, const std::string& file1, const std::string& file2) {
    if (unload) {
        m_saori.UnloadSaori();
    }
    if (!file1.empty()) {
        DeleteRunFile(file1);
    }
    if (!file2.empty()) {
        DeleteRunFile(file2);
    }
    m_view.SendProgressStep(kProgressHide);
    m_view.EnableCreate(true);
    m_outcome = RunOutcome::Stopped;
}

void CreateRun::CloseFailedSearch() {
    if (m_view.StopRequested()) {
        CloseStopped(true, "", "");
        return;
    }
    m_saori.UnloadSaori();
    m_view.EnableCreate(true);
    m_view.SendProgressStep(kProgressHide);
}

void CreateRun::CloseFailedDownload(const std::string& address, const std::string& name,
                                    const std::string& storedBefore) {
    if (m_view.StopRequested()) {
        CloseStopped(true, storedBefore, "");
        return;
    }
    m_view.SendProgressStep(kProgressHide);
    m_view.ShowMessage(DownloadFailedText(address, name), MessageKind::Warning);
    m_saori.UnloadSaori();
    m_view.EnableCreate(true);
    if (!storedBefore.empty()) {
        DeleteRunFile(storedBefore);
    }
}

void CreateRun::CloseBadChoice(const std::string& text) {
    m_view.SendProgressStep(kProgressHide);
    m_view.ShowMessage(text, MessageKind::Warning);
    m_saori.UnloadSaori();
    m_view.EnableCreate(true);
    m_outcome = RunOutcome::BadChoice;
}

bool CreateRun::CheckPerson(LookupContext& ctx, const std::string& name, const SideChoice& choice,
                            SideCandidates& side) {
    if (choice.person.empty() && !m_settings.choices.listOnly && !m_settings.offerChoices) {
        return true;
    }
    side.people = LookupPeople(ctx, name.c_str());
    // A service that cannot tell whom a name stands for still keeps its search to the person.
    if (choice.person.empty() || side.people.empty()) {
        return true;
    }
    std::string ids;
    for (const Person& person : side.people) {
        if (person.id == choice.person) {
            return true;
        }
        ids += (ids.empty() ? "" : ", ") + person.id;
    }
    CloseBadChoice(ComposeText(kNoSuchPersonText, {name, choice.person, ids}));
    return false;
}

bool CreateRun::ApplyPick(const std::string& name, const SideChoice& choice, SideCandidates& side) {
    if (!choice.pick) {
        return true;
    }
    if (*choice.pick == 0 || *choice.pick > side.pictures.size()) {
        CloseBadChoice(ComposeText(kNoSuchPictureText, {name, std::to_string(*choice.pick),
                                                        std::to_string(side.pictures.size())}));
        return false;
    }
    side.chosen = *choice.pick - 1;
    return true;
}

bool CreateRun::RunStages() {
    StageReport report(m_view);
    LookupContext ctx{m_saori, report, m_settings.searchBase, m_settings.detectBase,
                      m_settings.workFolder};
    m_outcome = RunOutcome::Failed;
    const RunChoices& choices = m_settings.choices;

    m_found = RunCandidates{};
    RunCandidates& found = m_found;
    auto chosen = [](const SideCandidates& side) -> const FoundPicture& {
        return side.pictures[side.chosen].found;
    };
    FaceBoxList bodyFaces;  // the body picture's boxes the face is blended into
    std::string bodyFile;
    std::string faceFile;
    auto search = [&](SideCandidates& side, const std::string& name, const SideChoice& choice,
                      int base) {
        side.name = name;
        if (!CheckPerson(ctx, name, choice, side)) {
            return false;
        }
        report.SetSearchBase(base);
        std::optional<SearchOutcome> outcome = SearchPicture(ctx, name.c_str(), choice.person);
        if (!outcome) {
            CloseFailedSearch();
            return false;
        }
        TakePictures(*outcome, side);
        return ApplyPick(name, choice, side);
    };
    // Each stage closes the run itself when it fails; a stop asked meanwhile is found at the
    // boundary before the next one, and the run closes without a message.
    const std::function<bool()> stages[] = {
        [&] {
            if (!search(found.body, m_strBody, choices.body, kProgressBodySearch)) {
                return false;
            }
            bodyFaces = chosen(found.body).list;
            m_facesOn = FacesOnFor(bodyFaces, choices.faces);
            if (choices.faces.empty() || choices.listOnly) {
                return true;
            }
            std::optional<FaceBoxList> selected = SelectFaces(bodyFaces, choices.faces);
            if (!selected) {
                const std::size_t most =
                    *std::max_element(choices.faces.begin(), choices.faces.end());
                CloseBadChoice(ComposeText(
                    kNoSuchFaceText,
                    {std::to_string(most), std::to_string(FacesLeftToRight(bodyFaces).size())}));
                return false;
            }
            bodyFaces = std::move(*selected);
            return true;
        },
        [&] { return search(found.face, m_strFace, choices.face, kProgressFaceSearch); },
        [&] {
            if (!choices.listOnly && !m_settings.offerChoices) {
                return true;
            }
            LookUpCredits(ctx, found.body);
            LookUpCredits(ctx, found.face);
            if (!choices.listOnly) {
                return true;
            }
            m_saori.UnloadSaori();
            m_view.SendProgressStep(kProgressHide);
            m_view.ShowCandidates(found);
            m_view.EnableCreate(true);
            m_outcome = RunOutcome::Listed;
            return false;
        },
        [&] {
            // Asked before the downloads, so the answer file can never meet a stored
            // picture's name.
            m_bodyCredit = PictureCredit{};
            m_faceCredit = PictureCredit{};
            if (m_settings.labelPortrait && m_settings.offerChoices) {
                m_bodyCredit = found.body.pictures[found.body.chosen].credit;
                m_faceCredit = found.face.pictures[found.face.chosen].credit;
            } else if (m_settings.labelPortrait) {
                m_bodyCredit = LookupPictureCredit(ctx, chosen(found.body).address);
                m_faceCredit = LookupPictureCredit(ctx, chosen(found.face).address);
            }
            return true;
        },
        [&] {
            const std::string& address = chosen(found.body).address;
            std::optional<std::string> stored = DownloadPicture(ctx, address);
            if (!stored) {
                CloseFailedDownload(address, m_strBody, "");
                return false;
            }
            bodyFile = std::move(*stored);
            m_view.SendProgressStep(kProgressBodyDownloaded);
            return true;
        },
        [&] {
            // Two addresses ending in the same name would share one file; the face picture
            // then gets a name of its own so that both pictures are used.
            const std::string& address = chosen(found.face).address;
            std::string faceName = PictureFileName(address);
            if (faceName == BaseName(bodyFile)) {
                faceName = "face-" + faceName;
            }
            std::optional<std::string> stored = DownloadPictureAs(ctx, address, faceName);
            if (!stored) {
                CloseFailedDownload(address, m_strFace, bodyFile);
                return false;
            }
            faceFile = std::move(*stored);
            m_view.SendProgressStep(kProgressFaceDownloaded);
            return true;
        },
        [&] {
            m_saori.UnloadSaori();
            ComposeFaces(bodyFile, bodyFaces, faceFile, chosen(found.face).box);
            m_view.SendProgressStep(kProgressComposed);
            DeleteRunFile(bodyFile);
            DeleteRunFile(faceFile);
            return true;
        },
    };
    for (const std::function<bool()>& stage : stages) {
        if (m_view.StopRequested()) {
            CloseStopped(true, bodyFile, faceFile);
            return false;
        }
        if (!stage()) {
            return false;
        }
    }
    return true;
}

void CreateRun::ComposeFaces(const std::string& bodyFile, const FaceBoxList& bodyBoxes,
                             const std::string& faceFile, const FaceBox& faceBox) {
    m_outcome = RunOutcome::Failed;
    FaceCompositor compositor;
    if (compositor.Compose(bodyFile, bodyBoxes, faceFile, faceBox, m_settings.maskPath) !=
        ComposeStatus::Ok) {
        m_view.SendProgressStep(kProgressHide);
        m_view.ShowMessage(UnreadableText(BaseName(compositor.failedPath())), MessageKind::Warning);
        compositor.Release();
        return;
    }

    // Pictures nobody asked the service about are credited by their file names.
    for (auto [credit, file] : {std::pair{&m_bodyCredit, &bodyFile}, {&m_faceCredit, &faceFile}}) {
        if (credit->file.empty()) {
            credit->file = BaseName(*file);
        }
    }

    // The portrait of the run's blend style is made while the progress window still shows.
    PortraitChoice portrait(compositor, m_settings.landmarks);
    portrait.Start(m_settings.blend);
    std::optional<CandidateChoice> choices;
    if (m_settings.offerChoices && !m_found.body.pictures.empty() &&
        !m_found.face.pictures.empty()) {
        choices.emplace(compositor, portrait, m_found, m_facesOn, ChoiceFetch());
        portrait.Offer(&*choices);
    }

    m_view.SendProgressStep(kProgressHide);
    m_view.BringMainWindowToFront();
    const std::optional<std::string> path = m_view.AskSavePathFor(portrait);
    m_chosenBlend = compositor.chosen();
    if (choices) {
        // The credits follow the pictures chosen.
        for (auto [credit, side] :
             {std::pair{&m_bodyCredit, RunSide::Body}, {&m_faceCredit, RunSide::Face}}) {
            const SideCandidates& candidates = choices->Side(side);
            *credit = m_settings.labelPortrait ? candidates.pictures[candidates.chosen].credit
                                               : PictureCredit{};
            if (credit->file.empty()) {
                credit->file = choices->FileName(side);
            }
        }
    }
    if (!path) {
        m_view.ShowMessage(kNotSavedText, MessageKind::Warning);
        m_outcome = RunOutcome::NotSaved;
    } else if (std::string details; WritePortrait(compositor, *path, details)) {
        RememberBlend(m_settings.blendSettingsPath, m_settings.blend, m_chosenBlend);
        if (details.empty()) {
            m_view.ShowMessage(kSavedText, MessageKind::Plain);
        } else {
            m_view.ShowMessageWithDetails(kSavedText, MessageKind::Plain, details);
        }
        m_outcome = RunOutcome::Saved;
    } else {
        m_view.ShowMessage(kWriteFailedText, MessageKind::Warning);
    }
    compositor.Release();
}

CandidateFetch CreateRun::ChoiceFetch() {
    CandidateFetch fetch;
    fetch.download = [this](const std::string& address, const std::string& name,
                            std::string& problem) {
        std::optional<std::string> stored;
        if (!WithModule(problem,
                        [&](LookupContext& ctx) {
                            stored = DownloadPicture(ctx, address);
                            return stored.has_value();
                        }) &&
            problem.empty()) {
            problem = DownloadFailedText(address, name);
        }
        return stored;
    };
    fetch.search = [this](const std::string& name, const std::string& person,
                          std::string& problem) {
        std::optional<SideCandidates> side;
        WithModule(problem, [&](LookupContext& ctx) {
            std::optional<SearchOutcome> outcome = SearchPicture(ctx, name.c_str(), person);
            if (!outcome) {
                return false;
            }
            side.emplace();
            side->name = name;
            TakePictures(*outcome, *side);
            LookUpCredits(ctx, *side);
            return true;
        });
        return side;
    };
    return fetch;
}

bool CreateRun::WithModule(std::string& problem, const std::function<bool(LookupContext&)>& job) {
    problem.clear();
    if (m_saori.LoadSaori() != 0) {
        problem = kLoadFailedText;
        return false;
    }
    QuietReport report;
    LookupContext ctx{m_saori, report, m_settings.searchBase, m_settings.detectBase,
                      m_settings.workFolder};
    const bool done = job(ctx);
    m_saori.UnloadSaori();
    if (!done) {
        problem = report.failure;
    }
    return done;
}

bool CreateRun::WritePortrait(FaceCompositor& compositor, const std::string& path,
                              std::string& details) {
    details.clear();
    if (compositor.Save(path) != SaveStatus::Saved) {
        return false;
    }
    if (!m_settings.labelPortrait) {
        return true;
    }
    const PortraitSources sources{m_strBody, m_strFace, m_bodyCredit, m_faceCredit};
    // The picture is saved either way; a label that could not be written is told, not
    // passed off as there.
    if (WritePortraitLabel(path, MakePortraitLabel(sources)) != LabelStatus::Written) {
        details = UserText(kLabelFailedText) + "\n";
    }
    details += CreditsDetails(sources);
    return true;
}

}  // namespace norvo
