#pragma once

#include <QDialog>
#include <QIcon>
#include <QPointer>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "app/RunView.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace norvo {

class CProgressDialog;

// One Create run for the two names, executed on the run thread; it reaches the windows only
// through `view`, whose calls block until the GUI thread has carried them out.
using RunJob = std::function<void(RunView& view, const std::string& body, const std::string& face)>;

// The main window: two name edits, Swap and Create. Create starts the run job on a thread of
// its own while the window keeps repainting; the dialog is that run's view. Closing the
// window during a run asks the run to stop and closes once it has.
class CMainDialog : public QDialog, public RunView {
    Q_OBJECT
public:
    // The title by which the program's windows know the main window.
    static const QString& Title();
    // Delay of the one-shot bring-to-front after start-up.
    static constexpr int kFrontDelayMs = 200;

    explicit CMainDialog(QWidget* parent = nullptr);
    ~CMainDialog() override;

    // The progress window the run's steps go to; may be null.
    void SetProgressWindow(CProgressDialog* progress);
    // What Create runs; without a job Create only disables and re-enables itself.
    void SetRunJob(RunJob job);

    // Exchanges the edits with m_strBody / m_strFace in the locale's character set: true reads
    // the edits into the fields, false writes the fields into the edits.
    void UpdateData(bool saveAndValidate);

    // True from the press of Create until the run thread has ended.
    bool IsRunning() const { return m_bRunning; }

    // Locale-encoded names, as last exchanged.
    std::string m_strBody;
    std::string m_strFace;

    // RunView: called from the run thread, carried out on the GUI thread before returning.
    // Once a stop is requested they return at once without touching any window.
    void SendProgressStep(int step) override;
    void ShowMessage(const std::string& text, MessageKind kind) override;
    void ShowMessageWithDetails(const std::string& text, MessageKind kind,
                                const std::string& details) override;
    void BringMainWindowToFront() override;
    std::optional<std::string> AskSavePath() override;
    // The save dialog with the portrait beside the file list and the blend checkbox.
    std::optional<std::string> AskSavePathFor(PortraitPreview& portrait) override;
    void EnableCreate(bool enabled) override;
    bool StopRequested() override { return m_stop.Requested(); }
    void SetStopAction(std::function<void()> action) override;

public slots:
    // Starts a run with the typed names, unless one is going.
    void OnCreateButton();
    // Swaps the typed names.
    void OnSwapButton();

signals:
    // The run thread has ended and Create is enabled again (GUI thread).
    void runFinished();
    // From the run thread: a call waits in m_pendingWork / the thread is about to end. Both
    // reach the GUI thread as queued calls of the slots connected in the constructor.
    void runWorkPosted();
    void runThreadEnding();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    // The save dialog, with the preview pane when `portrait` is given.
    std::optional<std::string> AskSave(PortraitPreview* portrait);
    // Runs `work` on the GUI thread and waits for it, unless a stop was requested.
    void OnGuiThread(const std::function<void()>& work);
    // GUI thread: carries out the call waiting in m_pendingWork.
    void OnRunWorkPosted();
    void OnRunFinished();
    // Asks a running job to stop and waits for its thread, serving its pending calls.
    void StopAndJoin();

    int m_nTimer = 0;
    QIcon m_hIcon;
    QLabel* m_labelBody;
    QLineEdit* m_editBody;
    QLabel* m_labelFace;
    QLineEdit* m_editFace;
    QPushButton* m_buttonSwap;
    QPushButton* m_buttonCreate;
    QPointer<CProgressDialog> m_progress;

    RunJob m_runJob;
    std::thread m_runThread;
    bool m_bRunning = false;
    bool m_bClosePending = false;
    bool m_bDestroying = false;
    bool m_bFrontTimerStarted = false;
    RunStop m_stop;
    std::atomic<bool> m_bThreadDone{true};
    // The run thread's call on the GUI thread: set by the run thread, cleared by the GUI thread
    // once done. The hand-over goes through this mutex and condition so that it is visible as
    // such to the standard library and to race checkers, not only to Qt's event queue.
    std::mutex m_handOffMutex;
    std::condition_variable m_handOffDone;
    // Told when a call waits in m_pendingWork or the run thread ends, for StopAndJoin.
    std::condition_variable m_handOffPosted;
    const std::function<void()>* m_pendingWork = nullptr;
};

}  // namespace norvo
