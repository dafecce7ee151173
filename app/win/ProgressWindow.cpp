#include "app/win/ProgressWindow.h"

#include <commctrl.h>

#include <future>

#include "app/RunView.h"
#include "app/gui/WindowTexts.h"
#include "app/win/resource.h"
#include "base/WideText.h"
#include "text/UserText.h"

namespace norvo::win {

namespace {

// Ends the window's loop (posted by Stop).
constexpr UINT kQuitMessage = WM_APP + 1;
constexpr int kBarMaximum = kProgressComposed;

void Park(HWND window) {
    SetWindowPos(window, HWND_TOP, kParkX, kParkY, 0, 0, SWP_HIDEWINDOW | SWP_NOSIZE);
}

void OnStep(HWND window, int step) {
    HWND bar = GetDlgItem(window, IDC_PROGRESS_BAR);
    if (step == kProgressHide) {
        SendMessageW(bar, PBM_SETPOS, 0, 0);
        ShowWindow(window, SW_HIDE);
        Park(window);
        return;
    }
    if (step == kProgressComposed) {
        // Saved: the bar full, the window still hidden until the closing hide parks it.
        SendMessageW(bar, PBM_SETPOS, kProgressComposed, 0);
        return;
    }
    if (step < kProgressStarted || step > kProgressFaceDownloaded) {
        return;
    }
    SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(step), 0);
    int x = kParkX;
    int y = kParkY;
    if (HWND main = FindMainWindow()) {
        RECT r{};
        GetWindowRect(main, &r);
        x = (r.left + r.right - kCentringWidth) / 2;
        y = (r.top + r.bottom - kCentringHeight) / 2;
    }
    SetWindowPos(window, HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOOWNERZORDER);
    ShowWindow(window, SW_SHOW);
    ForceForegroundWindow(window);
}

INT_PTR CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            SetWindowTextW(window, kProgressTitle);
            SetDlgItemTextW(window, IDC_BUSY_LABEL, ToWide(UserText(kBusyLabelText)).c_str());
            Park(window);
            SetWindowLongPtrW(window, GWL_EXSTYLE, WS_EX_TOOLWINDOW);
            SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, kBarMaximum);
            reinterpret_cast<std::promise<HWND>*>(lParam)->set_value(window);
            return TRUE;
        case WM_COPYDATA: {
            const auto* record = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            OnStep(window, static_cast<int>(static_cast<LONG_PTR>(record->dwData)));
            return TRUE;
        }
        case WM_COMMAND:
            // Return and Escape arrive as IDOK and IDCANCEL: neither ends the window.
            return LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL;
        case kQuitMessage:
            EndDialog(window, 0);
            return TRUE;
        default:
            (void)wParam;
            return FALSE;
    }
}

}  // namespace

ProgressThread::~ProgressThread() {
    Stop();
}

bool ProgressThread::Start(HINSTANCE instance) {
    // The bar's window class.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    std::promise<HWND> made;
    std::future<HWND> window = made.get_future();
    m_thread = std::thread([instance, &made] {
        const INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr,
                                               ProgressProc, reinterpret_cast<LPARAM>(&made));
        if (result == -1) {
            made.set_value(nullptr);
        }
    });
    m_window = window.get();
    if (!m_window) {
        m_thread.join();
    }
    return m_window != nullptr;
}

void ProgressThread::Stop() {
    if (m_thread.joinable()) {
        PostMessageW(m_window, kQuitMessage, 0, 0);
        m_thread.join();
        m_window = nullptr;
    }
}

void SendProgressStepTo(int step) {
    HWND window = FindWindowW(L"#32770", kProgressTitle);
    if (!window) {
        return;
    }
    COPYDATASTRUCT record{};
    record.dwData = static_cast<ULONG_PTR>(static_cast<LONG_PTR>(step));
    SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record));
}

HWND FindMainWindow() {
    return FindWindowW(L"#32770", ToWide(UserText(kMainTitleText)).c_str());
}

void ForceForegroundWindow(HWND window) {
    const DWORD foregroundThread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    const DWORD windowThread = GetWindowThreadProcessId(window, nullptr);
    AttachThreadInput(windowThread, foregroundThread, TRUE);
    DWORD saved = 0;
    SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &saved, 0);
    SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
    SetForegroundWindow(window);
    SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                          reinterpret_cast<PVOID>(static_cast<uintptr_t>(saved)), 0);
    AttachThreadInput(windowThread, foregroundThread, FALSE);
}

}  // namespace norvo::win
