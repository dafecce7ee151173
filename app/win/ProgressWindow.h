#pragma once

#include <windows.h>

#include <thread>

namespace norvo::win {

// The progress window's title, by which the run's steps find it.
inline constexpr wchar_t kProgressTitle[] = L"norvo_progress";
// Where the window waits, hidden, between runs (screen coordinates).
inline constexpr int kParkX = 0;
inline constexpr int kParkY = -256;
// The window size the centring on the main window assumes, in pixels.
inline constexpr int kCentringWidth = 329;
inline constexpr int kCentringHeight = 113;

// The progress window on a thread of its own: a dialog without caption, parked above the
// screen, moved by WM_COPYDATA records whose data word is a progress step (0 to 15 show it
// centred on the main window, topmost, in front; 16 fills the bar without showing it; 256
// hides and parks it). The window exists once Start returns; it lives until Stop or the end of
// the object.
class ProgressThread {
public:
    ProgressThread() = default;
    ~ProgressThread();
    ProgressThread(const ProgressThread&) = delete;
    ProgressThread& operator=(const ProgressThread&) = delete;

    // Starts the thread and waits until its window exists; false when it could not be made.
    bool Start(HINSTANCE instance);
    // Ends the window's loop and waits for the thread.
    void Stop();
    HWND Window() const { return m_window; }

private:
    std::thread m_thread;
    HWND m_window = nullptr;
};

// Sends progress step `step` (or kProgressHide) to the progress window found by its title;
// nothing when there is none. Returns once the window has handled it.
void SendProgressStepTo(int step);

// Makes `window` the foreground window even when another thread owns the foreground, and
// puts the system's foreground lock timeout back as it was.
void ForceForegroundWindow(HWND window);

// Finds the main window: a dialog titled as the main window is.
HWND FindMainWindow();

}  // namespace norvo::win
