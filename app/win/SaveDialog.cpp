#include "app/win/SaveDialog.h"

#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include "app/CandidateChoice.h"
#include "app/FaceNumbers.h"
#include "app/PortraitCredits.h"
#include "app/gui/WindowTexts.h"
#include "app/win/resource.h"
#include "base/WideText.h"
#include "text/UserText.h"

namespace norvo::win {

namespace {

// The preview's worker has finished its job.
constexpr UINT kWorkDoneMessage = WM_APP + 7;
// Posted once the dialog is placed: it is moved into its monitor's work area.
constexpr UINT kKeepOnScreenMessage = WM_APP + 8;
constexpr int kSideIdStep = IDC_FACE_GROUP - IDC_BODY_GROUP;
constexpr int kThumbnailHeight = 96;

int SideId(RunSide side, int bodyId) {
    return bodyId + (side == RunSide::Face ? kSideIdStep : 0);
}

size_t Index(RunSide side) {
    return static_cast<size_t>(side);
}

// A copy of `picture` as 24-bit bottom-up rows, `height` pixels high at most; nullptr when
// memory runs out.
OwnedPicture ShownCopy(PictureHandle picture, int32_t height) {
    OwnedPicture copy(picture ? CopyPicture(picture) : nullptr);
    if (copy && MakeBottomUp24(copy.get()) == 0) {
        if (DescribePicture(copy.get())->header->biHeight > height) {
            ResizePicture(copy.get(), -1, height);
        }
        return copy;
    }
    return nullptr;
}

// Draws `picture` into `box` keeping its proportions, centred; returns where it went.
RECT DrawPicture(HDC dc, const RECT& box, PictureHandle picture) {
    const PictureDescription* description = DescribePicture(picture);
    const int width = description->header->biWidth;
    const int height = description->header->biHeight;
    const int boxWidth = box.right - box.left;
    const int boxHeight = box.bottom - box.top;
    const double scale = std::min(double(boxWidth) / width, double(boxHeight) / height);
    const int w = std::max(1, int(width * scale));
    const int h = std::max(1, int(height * scale));
    const RECT to{box.left + (boxWidth - w) / 2, box.top + (boxHeight - h) / 2,
                  box.left + (boxWidth - w) / 2 + w, box.top + (boxHeight - h) / 2 + h};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchDIBits(dc, to.left, to.top, w, h, 0, 0, width, height, description->bits, &info,
                  DIB_RGB_COLORS, SRCCOPY);
    return to;
}

// Moves `window` so that it lies inside its monitor's work area where it fits: the preview
// makes the save dialog wider than the system places it for.
void KeepOnScreen(HWND window) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    RECT r{};
    if (!GetWindowRect(window, &r) ||
        !GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
        return;
    }
    const RECT& area = monitor.rcWork;
    const LONG x = std::max(area.left, std::min(r.left, area.right - (r.right - r.left)));
    const LONG y = std::max(area.top, std::min(r.top, area.bottom - (r.bottom - r.top)));
    if (x != r.left || y != r.top) {
        SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// The save dialog's preview: the child dialog's state, its worker and its drawing. What it
// draws are its own copies, so a portrait being made again on the worker is never read.
class Preview {
public:
    explicit Preview(PortraitPreview& portrait)
        : m_portrait(portrait),
          m_choices(portrait.Choices()),
          m_shown(portrait.Chosen()),
          m_wanted(m_shown) {}
    ~Preview() {
        if (m_worker.joinable()) {
            m_worker.join();
        }
    }

    void Init(HWND dialog);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // After the dialog: waits for a job still running, then chooses what the switch says.
    void Finish();

private:
    void Show(BlendStyle style);
    void ShowNote();
    void RefreshSide(RunSide side);
    void SetControlsEnabled(bool enabled);
    void RunInBackground(std::function<bool()> job, std::function<void(bool)> done);
    void OnWorkDone();
    void OnPictureClicked();
    void OnCommand(int id, int code);
    void Draw(const DRAWITEMSTRUCT& item);
    // Body face `index` where the portrait is drawn, in the picture control's pixels.
    RECT FaceRect(size_t index) const;
    bool Busy() const { return m_worker.joinable(); }
    void SetText(int id, const std::string& text) {
        SetDlgItemTextW(m_dialog, id, ToWide(text).c_str());
    }

    PortraitPreview& m_portrait;
    CandidateChoices* m_choices;
    HWND m_dialog = nullptr;
    BlendStyle m_shown;
    BlendStyle m_wanted;  // what the switch says
    bool m_naturalFailed = false;
    std::string m_problem;
    OwnedPicture m_shownPicture;
    std::array<OwnedPicture, 2> m_thumbnails;
    std::array<std::vector<std::string>, 2> m_peopleIds;
    FaceBoxList m_faces;
    std::vector<bool> m_facesOn;
    int m_bodyWidth = 0;
    int m_bodyHeight = 0;
    RECT m_drawn{};  // where the portrait was last drawn
    std::thread m_worker;
    bool m_workResult = false;  // written by the worker, read after joining it
    std::function<void(bool)> m_whenDone;
};

void Preview::Init(HWND dialog) {
    m_dialog = dialog;
    PostMessageW(m_dialog, kKeepOnScreenMessage, 0, 0);
    SetText(IDC_NATURAL, UserText(kNaturalCheckText));
    CheckDlgButton(m_dialog, IDC_NATURAL, m_shown == BlendStyle::Natural);
    for (RunSide side : {RunSide::Body, RunSide::Face}) {
        for (int id = IDC_BODY_GROUP; id <= IDC_BODY_NEXT; ++id) {
            ShowWindow(GetDlgItem(m_dialog, SideId(side, id)), m_choices ? SW_SHOW : SW_HIDE);
        }
    }
    if (m_choices) {
        SetText(IDC_FACE_HINT, UserText(kFaceClickHintText));
        for (RunSide side : {RunSide::Body, RunSide::Face}) {
            SetText(SideId(side, IDC_BODY_GROUP),
                    UserText(side == RunSide::Body ? kBodyRoleText : kFaceRoleText));
            RefreshSide(side);
        }
    }
    Show(m_shown);
    // The run asked for the natural portrait and could not make it: say why from the start.
    if (m_portrait.Ready(BlendStyle::Natural) && !m_portrait.Portrait(BlendStyle::Natural)) {
        Show(BlendStyle::Natural);
    }
}

void Preview::Finish() {
    if (m_worker.joinable()) {
        m_worker.join();
        m_whenDone = nullptr;
    }
    // What the switch says is what is saved, once it could be made.
    m_portrait.Choose(m_portrait.Ready(m_wanted) ? m_wanted : m_shown);
}

INT_PTR Preview::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return FALSE;
        case WM_DRAWITEM:
            Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case kWorkDoneMessage:
            OnWorkDone();
            return TRUE;
        case kKeepOnScreenMessage:
            KeepOnScreen(GetParent(m_dialog));
            return TRUE;
        case WM_DESTROY:
            // A job still running is waited for by Finish, without the windows.
            m_whenDone = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

void Preview::OnCommand(int id, int code) {
    if (id == IDC_NATURAL && code == BN_CLICKED) {
        const BlendStyle style = IsDlgButtonChecked(m_dialog, IDC_NATURAL) == BST_CHECKED
                                     ? BlendStyle::Natural
                                     : BlendStyle::Classic;
        if (Busy()) {
            return;
        }
        m_wanted = style;
        if (m_portrait.Ready(style)) {
            Show(style);
            return;
        }
        RunInBackground(
            [this, style] {
                m_portrait.Portrait(style);
                return true;
            },
            [this, style](bool) { Show(style); });
        return;
    }
    if (!m_choices || Busy()) {
        return;
    }
    if (id == IDC_PREVIEW_PICTURE && code == STN_CLICKED) {
        OnPictureClicked();
        return;
    }
    for (RunSide side : {RunSide::Body, RunSide::Face}) {
        const SideCandidates& candidates = m_choices->Side(side);
        auto done = [this, side](bool) {
            RefreshSide(side);
            Show(m_shown);
        };
        if ((id == SideId(side, IDC_BODY_PREVIOUS) || id == SideId(side, IDC_BODY_NEXT)) &&
            code == BN_CLICKED) {
            const size_t index =
                id == SideId(side, IDC_BODY_NEXT) ? candidates.chosen + 1 : candidates.chosen - 1;
            RunInBackground([this, side, index] { return m_choices->ChoosePicture(side, index); },
                            done);
        } else if (id == SideId(side, IDC_BODY_PEOPLE) && code == CBN_SELCHANGE) {
            const LRESULT row = SendDlgItemMessageW(m_dialog, id, CB_GETCURSEL, 0, 0);
            const std::vector<std::string>& ids = m_peopleIds[Index(side)];
            if (row < 0 || static_cast<size_t>(row) >= ids.size() ||
                ids[row] == candidates.pictures[candidates.chosen].credit.personId) {
                return;
            }
            const std::string person = ids[row];
            RunInBackground([this, side, person] { return m_choices->ChoosePerson(side, person); },
                            done);
        }
    }
}

void Preview::RunInBackground(std::function<bool()> job, std::function<void(bool)> done) {
    if (Busy()) {
        return;
    }
    SetControlsEnabled(false);
    m_whenDone = std::move(done);
    HWND dialog = m_dialog;
    m_worker = std::thread([this, dialog, job = std::move(job)] {
        m_workResult = job();
        PostMessageW(dialog, kWorkDoneMessage, 0, 0);
    });
}

void Preview::OnWorkDone() {
    if (!m_worker.joinable()) {
        return;
    }
    m_worker.join();
    SetControlsEnabled(true);
    if (m_whenDone) {
        std::exchange(m_whenDone, nullptr)(m_workResult);
    }
}

void Preview::SetControlsEnabled(bool enabled) {
    EnableWindow(GetDlgItem(m_dialog, IDC_NATURAL), enabled && !m_naturalFailed);
    if (!m_choices) {
        return;
    }
    for (RunSide side : {RunSide::Body, RunSide::Face}) {
        const SideCandidates& candidates = m_choices->Side(side);
        EnableWindow(GetDlgItem(m_dialog, SideId(side, IDC_BODY_PEOPLE)), enabled);
        EnableWindow(GetDlgItem(m_dialog, SideId(side, IDC_BODY_PREVIOUS)),
                     enabled && candidates.chosen > 0);
        EnableWindow(GetDlgItem(m_dialog, SideId(side, IDC_BODY_NEXT)),
                     enabled && candidates.chosen + 1 < candidates.pictures.size());
    }
}

void Preview::RefreshSide(RunSide side) {
    const SideCandidates& candidates = m_choices->Side(side);
    m_thumbnails[Index(side)] = ShownCopy(m_choices->Picture(side), kThumbnailHeight);
    InvalidateRect(GetDlgItem(m_dialog, SideId(side, IDC_BODY_THUMBNAIL)), nullptr, TRUE);
    SetText(SideId(side, IDC_BODY_WHO), WhoIsIn(candidates));
    SetText(SideId(side, IDC_BODY_COUNT), std::to_string(candidates.chosen + 1) + " / " +
                                              std::to_string(candidates.pictures.size()));
    // Only a name that stands for several people offers them.
    HWND people = GetDlgItem(m_dialog, SideId(side, IDC_BODY_PEOPLE));
    SendMessageW(people, CB_RESETCONTENT, 0, 0);
    std::vector<std::string>& ids = m_peopleIds[Index(side)];
    ids.clear();
    const std::string& shownId = candidates.pictures[candidates.chosen].credit.personId;
    for (const Person& person : candidates.people) {
        const std::string label =
            person.description.empty() ? person.name : person.name + " — " + person.description;
        SendMessageW(people, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(label).c_str()));
        if (!shownId.empty() && person.id == shownId) {
            SendMessageW(people, CB_SETCURSEL, ids.size(), 0);
        }
        ids.push_back(person.id);
    }
    ShowWindow(people, candidates.people.size() > 1 ? SW_SHOW : SW_HIDE);
    SetControlsEnabled(!Busy());
    if (side == RunSide::Body) {
        ShowWindow(GetDlgItem(m_dialog, IDC_FACE_HINT),
                   m_choices->BodyFaces().size() > 1 ? SW_SHOW : SW_HIDE);
    }
}

void Preview::Show(BlendStyle style) {
    PictureHandle picture = m_portrait.Portrait(style);
    if (!picture) {
        m_naturalFailed = true;
        CheckDlgButton(m_dialog, IDC_NATURAL, BST_UNCHECKED);
        EnableWindow(GetDlgItem(m_dialog, IDC_NATURAL), FALSE);
        style = BlendStyle::Classic;
        picture = m_portrait.Portrait(style);
    }
    m_shown = style;
    m_wanted = style;
    m_shownPicture = ShownCopy(picture, FaceCompositor::kResultHeight);
    if (m_choices) {
        m_problem = m_choices->Problem();
        m_faces = m_choices->BodyFaces();
        m_facesOn = m_choices->FacesOn();
        m_bodyWidth = m_bodyHeight = 0;
        if (PictureHandle body = m_choices->Picture(RunSide::Body)) {
            const PictureDescription* description = DescribePicture(body);
            m_bodyWidth = description->header->biWidth;
            m_bodyHeight = std::abs(description->header->biHeight);
        }
    }
    InvalidateRect(GetDlgItem(m_dialog, IDC_PREVIEW_PICTURE), nullptr, TRUE);
    ShowNote();
}

void Preview::ShowNote() {
    // The natural portrait's note while it is on show, or for good once it failed; then why
    // the last choice could not be made.
    const bool natural = m_shown == BlendStyle::Natural || m_naturalFailed;
    std::string note = natural && m_portrait.Ready(BlendStyle::Natural)
                           ? m_portrait.Note(BlendStyle::Natural)
                           : "";
    if (!m_problem.empty()) {
        note += (note.empty() ? "" : "\n") + m_problem;
    }
    SetText(IDC_PREVIEW_NOTE, note.empty() ? note : UserText(note.c_str()));
}

RECT Preview::FaceRect(size_t index) const {
    if (index >= m_faces.size() || m_bodyWidth <= 0 || m_bodyHeight <= 0) {
        return {};
    }
    const double sx = double(m_drawn.right - m_drawn.left) / m_bodyWidth;
    const double sy = double(m_drawn.bottom - m_drawn.top) / m_bodyHeight;
    const FaceBox& box = m_faces[index];
    return {m_drawn.left + int(box.left * sx), m_drawn.top + int(box.top * sy),
            m_drawn.left + int(box.right * sx), m_drawn.top + int(box.bottom * sy)};
}

void Preview::Draw(const DRAWITEMSTRUCT& item) {
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    if (item.CtlID == IDC_PREVIEW_PICTURE) {
        if (!m_shownPicture) {
            return;
        }
        m_drawn = DrawPicture(item.hDC, item.rcItem, m_shownPicture.get());
        // Each body face outlined: solid while it is replaced, dotted while it keeps its own.
        HGDIOBJ oldBrush = SelectObject(item.hDC, GetStockObject(NULL_BRUSH));
        for (size_t i = 0; i < m_facesOn.size() && i < m_faces.size(); ++i) {
            HPEN pen = m_facesOn[i] ? CreatePen(PS_SOLID, 2, RGB(40, 200, 80))
                                    : CreatePen(PS_DOT, 1, RGB(255, 255, 255));
            HGDIOBJ oldPen = SelectObject(item.hDC, pen);
            const RECT face = FaceRect(i);
            Ellipse(item.hDC, face.left, face.top, face.right, face.bottom);
            SelectObject(item.hDC, oldPen);
            DeleteObject(pen);
        }
        SelectObject(item.hDC, oldBrush);
        return;
    }
    for (RunSide side : {RunSide::Body, RunSide::Face}) {
        if (int(item.CtlID) == SideId(side, IDC_BODY_THUMBNAIL) && m_thumbnails[Index(side)]) {
            DrawPicture(item.hDC, item.rcItem, m_thumbnails[Index(side)].get());
        }
    }
}

void Preview::OnPictureClicked() {
    const DWORD position = GetMessagePos();
    POINT at{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    ScreenToClient(GetDlgItem(m_dialog, IDC_PREVIEW_PICTURE), &at);
    const int drawnWidth = m_drawn.right - m_drawn.left;
    const int drawnHeight = m_drawn.bottom - m_drawn.top;
    if (drawnWidth <= 0 || drawnHeight <= 0) {
        return;
    }
    const std::optional<size_t> hit =
        FaceAt(m_faces, double(at.x - m_drawn.left) * m_bodyWidth / drawnWidth,
               double(at.y - m_drawn.top) * m_bodyHeight / drawnHeight);
    if (!hit) {
        return;
    }
    const size_t index = *hit;
    RunInBackground([this, index] { return m_choices->ToggleFace(index); },
                    [this](bool) { Show(m_shown); });
}

UINT_PTR CALLBACK PreviewHook(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* preview =
            reinterpret_cast<Preview*>(reinterpret_cast<const OPENFILENAMEW*>(lParam)->lCustData);
        SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(preview));
        preview->Init(dialog);
        return TRUE;
    }
    auto* preview = reinterpret_cast<Preview*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
    return preview ? static_cast<UINT_PTR>(preview->OnMessage(message, wParam, lParam)) : 0;
}

}  // namespace

std::optional<std::string> AskSaveFile(HWND owner, PortraitPreview* portrait) {
    // "JPEG(*.jpg)" then its pattern, each ending in a null, and a null after the last.
    std::wstring filter = ToWide(UserText(kSaveFilterText));
    filter += L'\0';
    filter += L"*.jpg";
    filter += L'\0';
    const std::wstring title = ToWide(UserText(kSaveDialogTitleText));
    std::vector<wchar_t> file(32768, L'\0');

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.hInstance = GetModuleHandleW(nullptr);
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrTitle = title.c_str();
    dialog.lpstrDefExt = L"jpg";
    dialog.Flags =
        OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    std::optional<Preview> preview;
    if (portrait) {
        preview.emplace(*portrait);
        dialog.Flags |= OFN_ENABLEHOOK | OFN_ENABLETEMPLATE | OFN_ENABLESIZING;
        dialog.lpTemplateName = MAKEINTRESOURCEW(IDD_SAVE_PREVIEW);
        dialog.lpfnHook = PreviewHook;
        dialog.lCustData = reinterpret_cast<LPARAM>(&*preview);
    }
    const BOOL chosen = GetSaveFileNameW(&dialog);
    if (preview) {
        preview->Finish();
    }
    if (!chosen || file[0] == L'\0') {
        return std::nullopt;
    }
    return FromWide(file.data());
}

}  // namespace norvo::win
