#include "app/CreateRun.h"

#include <utility>

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

// The view as the stages see it. A stop cuts the request in flight short, which then fails
// like any other; once a stop was asked, the failure messages that follow are not shown.
class QuietAfterStop : public RunView {
public:
    explicit QuietAfterStop(RunView& view) : m_view(view) {}

    void SendProgressStep(int step) override { m_view.SendProgressStep(step); }
    void ShowMessage(const std::string& text, MessageKind kind) override {
        if (!m_view.StopRequested()) {
            m_view.ShowMessage(text, kind);
        }
    }
    void BringMainWindowToFront() override { m_view.BringMainWindowToFront(); }
    std::optional<std::string> AskSavePath() override { return m_view.AskSavePath(); }
    std::optional<std::string> AskSavePathFor(PortraitPreview& portrait) override {
        return m_view.AskSavePathFor(portrait);
    }
    void EnableCreate(bool enabled) override { m_view.EnableCreate(enabled); }
    bool StopRequested() override { return m_view.StopRequested(); }
    void SetStopAction(std::function<void()> action) override {
        m_view.SetStopAction(std::move(action));
    }

private:
    RunView& m_view;
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
    }
    return "unknown outcome";
}

CreateRun::CreateRun(RunView& view, RunSettings settings)
    : m_view(view),
      m_settings(std::move(settings)),
      m_hSaori(m_settings.modulePath, m_settings.workFolder) {}

void CreateRun::OnCreateButton(const std::string& body, const std::string& face) {
    const StopActionLease stopAction(m_view, m_hSaori);
    m_outcome = RunOutcome::Failed;
    m_view.EnableCreate(false);
    m_view.SendProgressStep(0);
    m_strBody = body;
    m_strFace = face;

    if (m_hSaori.LoadSaori() != 0) {
        m_view.SendProgressStep(kProgressHide);
        m_view.ShowMessage(kLoadFailedText, MessageKind::Warning);
        m_view.EnableCreate(true);
        return;
    }

    HeaderTable connection;
    const int check = m_hSaori.SaoriRequest(0, "", "", "", connection);
    if (check != 0 || connection["Result"] != "1") {
        if (m_view.StopRequested()) {
            CloseStopped(true, "", "");
            return;
        }
        m_view.SendProgressStep(kProgressHide);
        m_view.ShowMessage(check != 0 ? SaoriRequestFailureText(check) : kNoInternetText,
                           MessageKind::Warning);
        m_hSaori.UnloadSaori();
        m_view.EnableCreate(true);
        return;
    }
    m_view.SendProgressStep(1);

    if (RunStages() != 0) {
        return;
    }
    m_view.EnableCreate(true);
    m_view.SendProgressStep(kProgressHide);
}

void CreateRun::CloseStopped(bool unload, const std::string& file1, const std::string& file2) {
    if (unload) {
        m_hSaori.UnloadSaori();
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

int CreateRun::RunStages() {
    QuietAfterStop stageView(m_view);
    LookupContext ctx{m_hSaori, stageView, m_settings.searchBase, m_settings.detectBase,
                      m_settings.workFolder};
    m_outcome = RunOutcome::Failed;

    // A failed search has shown its own message; the closing order here is U, E, H.
    auto closeSearch = [this] {
        if (m_view.StopRequested()) {
            CloseStopped(true, "", "");
            return 1;
        }
        m_hSaori.UnloadSaori();
        m_view.EnableCreate(true);
        m_view.SendProgressStep(kProgressHide);
        return 1;
    };
    // A failed download: H, M, U, E; then the picture stored before it goes, so that no run
    // leaves a file behind.
    auto closeDownload = [this](const std::string& address, const std::string& name,
                                const std::string& storedBefore) {
        if (m_view.StopRequested()) {
            CloseStopped(true, storedBefore, "");
            return 1;
        }
        m_view.SendProgressStep(kProgressHide);
        m_view.ShowMessage(DownloadFailedText(address, name), MessageKind::Warning);
        m_hSaori.UnloadSaori();
        m_view.EnableCreate(true);
        if (!storedBefore.empty()) {
            DeleteRunFile(storedBefore);
        }
        return 1;
    };

    if (m_view.StopRequested()) {
        CloseStopped(true, "", "");
        return 1;
    }
    std::string bodyAddress;
    FaceBox bodyBox;
    FaceBoxList bodyBoxes;
    if (SearchPicture(ctx, m_strBody.c_str(), bodyAddress, bodyBox, bodyBoxes, 0) != 0) {
        return closeSearch();
    }
    if (m_view.StopRequested()) {
        CloseStopped(true, "", "");
        return 1;
    }
    std::string faceAddress;
    FaceBox faceBox;
    FaceBoxList faceBoxes;
    if (SearchPicture(ctx, m_strFace.c_str(), faceAddress, faceBox, faceBoxes, 7) != 0) {
        return closeSearch();
    }
    if (m_view.StopRequested()) {
        CloseStopped(true, "", "");
        return 1;
    }
    // Asked before the downloads, so the answer file can never meet a stored picture's name.
    m_bodyCredit = PictureCredit{};
    m_faceCredit = PictureCredit{};
    if (m_settings.labelPortrait) {
        m_bodyCredit = LookupPictureCredit(ctx, bodyAddress);
        m_faceCredit = LookupPictureCredit(ctx, faceAddress);
        if (m_view.StopRequested()) {
            CloseStopped(true, "", "");
            return 1;
        }
    }

    std::string bodyFile;
    if (DownloadPicture(ctx, bodyAddress, bodyFile) != 0) {
        return closeDownload(bodyAddress, m_strBody, "");
    }
    m_view.SendProgressStep(14);
    if (m_view.StopRequested()) {
        CloseStopped(true, bodyFile, "");
        return 1;
    }

    // Two addresses ending in the same name would share one file; the face picture then gets
    // a name of its own so that both pictures are used.
    std::string faceName = PictureFileName(faceAddress);
    if (!bodyFile.empty() && faceName == BaseName(bodyFile)) {
        faceName = "face-" + faceName;
    }
    std::string faceFile;
    if (DownloadPictureAs(ctx, faceAddress, faceName, faceFile) != 0) {
        return closeDownload(faceAddress, m_strFace, bodyFile);
    }
    m_view.SendProgressStep(15);
    if (m_view.StopRequested()) {
        CloseStopped(true, bodyFile, faceFile);
        return 1;
    }

    m_hSaori.UnloadSaori();
    ComposeFaces(bodyFile, bodyBoxes, faceFile, faceBox);
    m_view.SendProgressStep(16);
    DeleteRunFile(bodyFile);
    DeleteRunFile(faceFile);
    return 0;
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

    m_view.SendProgressStep(kProgressHide);
    m_view.BringMainWindowToFront();
    const std::optional<std::string> path = m_view.AskSavePathFor(portrait);
    m_chosenBlend = compositor.chosen();
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
