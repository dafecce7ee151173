#include "app/win/MainWindow.h"

#include <utility>

#include "app/gui/WindowTexts.h"
#include "app/win/ProgressWindow.h"
#include "app/win/SaveDialog.h"
#include "app/win/WinMessageBox.h"
#include "app/win/resource.h"
#include "base/WideText.h"
#include "text/UserText.h"

namespace norvo::win {

namespace {

// A call of the run thread waiting for the GUI thread: lParam points at the work.
constexpr UINT kRunWorkMessage = WM_APP + 1;
// The run thread has ended.
constexpr UINT kRunEndedMessage = WM_APP + 2;
constexpr UINT_PTR kFrontTimer = 1;

// True for a key press of Return or Escape meant for a dialog of this thread.
bool IsReturnOrEscape(const MSG& msg) {
    return msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE);
}

}  // namespace

void DispatchWindowMessage(MSG& msg) {
    if (IsReturnOrEscape(msg)) {
        // A drop-down list still closes with them; nothing else does.
        wchar_t className[16] = {};
        GetClassNameW(msg.hwnd, className, 16);
        if (std::wstring_view(className) != L"ComboLBox") {
            return;
        }
    }
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    if (root && IsDialogMessageW(root, &msg)) {
        return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

int RunMessageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        DispatchWindowMessage(msg);
    }
    return static_cast<int>(msg.wParam);
}

MainWindow::~MainWindow() {
    if (m_runThread.joinable()) {
        // Let the run's pending calls through (they do nothing once the stop is asked) until
        // its thread has ended.
        m_stop.Request();
        while (!m_threadDone) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        m_runThread.join();
    }
    if (m_window) {
        DestroyWindow(m_window);
    }
    if (m_bigIcon) {
        DestroyIcon(m_bigIcon);
    }
    if (m_smallIcon) {
        DestroyIcon(m_smallIcon);
    }
}

bool MainWindow::Create(HINSTANCE instance) {
    m_window = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, DialogProc,
                                  reinterpret_cast<LPARAM>(this));
    if (!m_window) {
        return false;
    }
    ShowWindow(m_window, SW_SHOW);
    return true;
}

INT_PTR CALLBACK MainWindow::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        auto* self = reinterpret_cast<MainWindow*>(lParam);
        self->m_window = window;
        self->OnInitDialog();
        return TRUE;
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    return self ? self->OnMessage(message, wParam, lParam) : FALSE;
}

void MainWindow::OnInitDialog() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    m_bigIcon =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_NORVO), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    m_smallIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_NORVO), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON),
                                                GetSystemMetrics(SM_CYSMICON), 0));
    SendMessageW(m_window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_bigIcon));
    SendMessageW(m_window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon));
    // The template holds the Japanese texts; the user's language's replace them.
    SetWindowTextW(m_window, ToWide(UserText(kMainTitleText)).c_str());
    SetDlgItemTextW(m_window, IDC_LABEL_BODY, ToWide(UserText(kBodyLabelText)).c_str());
    SetDlgItemTextW(m_window, IDC_LABEL_FACE, ToWide(UserText(kFaceLabelText)).c_str());
    SetDlgItemTextW(m_window, IDC_CREATE, ToWide(UserText(kCreateButtonText)).c_str());
    SetTimer(m_window, kFrontTimer, kFrontDelayMs, nullptr);
}

INT_PTR MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_CREATE:
                    OnCreateButton();
                    return TRUE;
                case IDC_SWAP:
                    OnSwapButton();
                    return TRUE;
                case IDCANCEL:  // the close box and Alt+F4 arrive as WM_CLOSE; this is Escape
                case IDOK:
                    return TRUE;
                default:
                    return FALSE;
            }
        case WM_TIMER:
            if (wParam == kFrontTimer) {
                KillTimer(m_window, kFrontTimer);
                SetForegroundWindow(m_window);
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            OnClose();
            return TRUE;
        case kRunWorkMessage:
            if (!m_stop.Requested()) {
                (*reinterpret_cast<const std::function<void()>*>(lParam))();
            }
            return TRUE;
        case kRunEndedMessage:
            OnRunEnded();
            return TRUE;
        case WM_DESTROY:
            PostQuitMessage(0);
            return FALSE;
        default:
            return FALSE;
    }
}

std::string MainWindow::EditText(int id) const {
    HWND edit = GetDlgItem(m_window, id);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
    return FromWide(text);
}

void MainWindow::OnSwapButton() {
    const std::string body = EditText(IDC_EDIT_BODY);
    const std::string face = EditText(IDC_EDIT_FACE);
    SetDlgItemTextW(m_window, IDC_EDIT_BODY, ToWide(face).c_str());
    SetDlgItemTextW(m_window, IDC_EDIT_FACE, ToWide(body).c_str());
}

void MainWindow::OnCreateButton() {
    if (m_running) {
        return;
    }
    // Disabled here, before the run thread exists, so no second press can slip in.
    EnableWindow(GetDlgItem(m_window, IDC_CREATE), FALSE);
    m_running = true;
    m_stop.Reset();
    m_threadDone = false;
    m_runThread = std::thread(
        [this, job = m_runJob, body = EditText(IDC_EDIT_BODY), face = EditText(IDC_EDIT_FACE)] {
            try {
                if (job) {
                    job(*this, body, face);
                }
            } catch (...) {
                // Nothing may escape a thread: tell the user instead of ending silently.
                SendProgressStep(kProgressHide);
                ShowMessage(kUnexpectedFailureText, MessageKind::Warning);
            }
            m_threadDone = true;
            PostMessageW(m_window, kRunEndedMessage, 0, 0);
        });
}

void MainWindow::OnRunEnded() {
    if (!m_runThread.joinable() || !m_threadDone) {
        return;
    }
    m_runThread.join();
    m_running = false;
    EnableWindow(GetDlgItem(m_window, IDC_CREATE), TRUE);
    if (m_runEnded) {
        m_runEnded();
    }
    if (m_closePending) {
        m_closePending = false;
        DestroyWindow(m_window);
        m_window = nullptr;
    }
}

void MainWindow::OnClose() {
    if (!m_running) {
        DestroyWindow(m_window);
        m_window = nullptr;
        return;
    }
    // The run's request in flight ends at once and the run cleans up after itself; the windows
    // go away now and the dialog ends once the run thread has.
    m_stop.Request();
    m_closePending = true;
    SendProgressStepTo(kProgressHide);
    ShowWindow(m_window, SW_HIDE);
}

void MainWindow::SetStopAction(std::function<void()> action) {
    m_stop.SetAction(std::move(action));
}

void MainWindow::OnGuiThread(const std::function<void()>& work) {
    if (m_stop.Requested()) {
        return;
    }
    if (GetWindowThreadProcessId(m_window, nullptr) == GetCurrentThreadId()) {
        work();
        return;
    }
    SendMessageW(m_window, kRunWorkMessage, 0, reinterpret_cast<LPARAM>(&work));
}

void MainWindow::SendProgressStep(int step) {
    if (!m_stop.Requested()) {
        SendProgressStepTo(step);
    }
}

void MainWindow::ShowMessage(const std::string& text, MessageKind kind) {
    OnGuiThread([this, &text, kind] { ShowMessageBox(m_window, text, kind); });
}

void MainWindow::ShowMessageWithDetails(const std::string& text, MessageKind kind,
                                        const std::string& details) {
    // A message box has no place to unfold details: they follow the text.
    OnGuiThread([this, &text, kind, &details] {
        ShowMessageBox(m_window, UserText(text.c_str()) + "\r\n\r\n" + details, kind);
    });
}

void MainWindow::BringMainWindowToFront() {
    OnGuiThread([this] { ForceForegroundWindow(m_window); });
}

std::optional<std::string> MainWindow::AskSavePath() {
    std::optional<std::string> path;
    OnGuiThread([this, &path] { path = AskSaveFile(m_window, nullptr); });
    return path;
}

std::optional<std::string> MainWindow::AskSavePathFor(PortraitPreview& portrait) {
    std::optional<std::string> path;
    OnGuiThread([this, &path, &portrait] { path = AskSaveFile(m_window, &portrait); });
    return path;
}

void MainWindow::EnableCreate(bool enabled) {
    OnGuiThread([this, enabled] {
        // While the run thread lives Create stays disabled; it is enabled once the thread has
        // ended, so a new run never overlaps the end of the last one.
        if (!enabled || !m_running) {
            EnableWindow(GetDlgItem(m_window, IDC_CREATE), enabled);
        }
    });
}

}  // namespace norvo::win
