#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "app/RunView.h"

namespace norvo::win {

// One Create run for the two names (UTF-8), executed on the run thread; it reaches the windows
// only through `view`, whose calls return once the GUI thread has carried them out.
using RunJob = std::function<void(RunView& view, const std::string& body, const std::string& face)>;

// The main dialog: two name edits, Swap and Create. Create starts the run job on a thread of
// its own while the window keeps repainting; the dialog is that run's view. Closing the window
// during a run asks the run to stop, hides the window and ends it once the run has ended.
class MainWindow : public RunView {
public:
    // Delay of the one-shot bring-to-front after start-up.
    static constexpr UINT kFrontDelayMs = 200;

    MainWindow() = default;
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Makes and shows the dialog; false when it could not be made.
    bool Create(HINSTANCE instance);
    HWND Handle() const { return m_window; }
    void SetRunJob(RunJob job) { m_runJob = std::move(job); }
    // True from the press of Create until the run thread has ended.
    bool IsRunning() const { return m_running; }
    // Called on the GUI thread each time a run thread has ended.
    void SetRunEndedCallback(std::function<void()> callback) { m_runEnded = std::move(callback); }

    // RunView: from the run thread, carried out on the GUI thread before returning; once a stop
    // was asked they return at once without touching a window.
    void SendProgressStep(int step) override;
    void ShowMessage(const std::string& text, MessageKind kind) override;
    void ShowMessageWithDetails(const std::string& text, MessageKind kind,
                                const std::string& details) override;
    void BringMainWindowToFront() override;
    std::optional<std::string> AskSavePath() override;
    std::optional<std::string> AskSavePathFor(PortraitPreview& portrait) override;
    void EnableCreate(bool enabled) override;
    bool StopRequested() override { return m_stop.Requested(); }
    void SetStopAction(std::function<void()> action) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnCreateButton();
    void OnSwapButton();
    void OnClose();
    void OnRunEnded();
    // Runs `work` on the GUI thread and waits for it, unless a stop was asked.
    void OnGuiThread(const std::function<void()>& work);
    std::string EditText(int id) const;

    HWND m_window = nullptr;
    HICON m_bigIcon = nullptr;
    HICON m_smallIcon = nullptr;
    RunJob m_runJob;
    std::function<void()> m_runEnded;
    std::thread m_runThread;
    std::atomic<bool> m_threadDone{true};
    bool m_running = false;
    bool m_closePending = false;
    RunStop m_stop;
};

// One message of the program's windows: Return and Escape never reach a dialog of this thread
// (neither closes a window nor presses a button), the rest goes through the dialog manager.
void DispatchWindowMessage(MSG& msg);
// The windows' message loop, dispatching as above; returns when WM_QUIT arrives.
int RunMessageLoop();

}  // namespace norvo::win
