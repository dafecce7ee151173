#include "app/gui/CMainDialog.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QTimerEvent>
#include <algorithm>
#include <utility>

#include "app/gui/CFileDialogTitle.h"
#include "app/gui/CPreviewPane.h"
#include "app/gui/CProgressDialog.h"
#include "app/gui/DialogUnits.h"
#include "app/gui/LocaleText.h"
#include "app/gui/MessageBox.h"
#include "app/gui/ReturnEscapeFilter.h"
#include "app/gui/WindowTexts.h"

namespace norvo {

namespace {

// Client size in dialog units.
constexpr int kWidthUnits = 179;
constexpr int kHeightUnits = 101;

// How often the GUI thread looks at a stopping run while it waits for it to end.

// Places a label at its dialog-unit rectangle, wider or taller only when its text needs it.
void PlaceLabel(QLabel* label, QRect rect) {
    const QSize hint = label->sizeHint();
    rect.setWidth(std::max(rect.width(), hint.width()));
    rect.setHeight(std::max(rect.height(), hint.height()));
    label->setGeometry(rect);
}

}  // namespace

const QString& CMainDialog::Title() {
    static const QString title = ShownText(kMainTitleText);
    return title;
}

CMainDialog::CMainDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("mainDialog"));
    setFont(DialogUnits::DialogFont());
    const DialogUnits du = DialogUnits::ForFont(font());

    m_hIcon = QIcon(QStringLiteral(":/norvo/norvo.png"));
    setWindowIcon(m_hIcon);
    setWindowTitle(Title());

    // Created in tab order: each label precedes its edit, so its mnemonic focuses that edit.
    m_labelBody = new QLabel(ShownText(kBodyLabelText), this);
    m_labelBody->setObjectName(QStringLiteral("labelBody"));
    m_editBody = new QLineEdit(this);
    m_editBody->setObjectName(QStringLiteral("editBody"));
    m_labelBody->setBuddy(m_editBody);

    m_labelFace = new QLabel(ShownText(kFaceLabelText), this);
    m_labelFace->setObjectName(QStringLiteral("labelFace"));
    m_editFace = new QLineEdit(this);
    m_editFace->setObjectName(QStringLiteral("editFace"));
    m_labelFace->setBuddy(m_editFace);

    m_buttonSwap = new QPushButton(QString::fromUtf8(kSwapButtonText), this);
    m_buttonSwap->setObjectName(QStringLiteral("buttonSwap"));
    m_buttonCreate = new QPushButton(ShownText(kCreateButtonText), this);
    m_buttonCreate->setObjectName(QStringLiteral("buttonCreate"));
    // Neither button is a default button: Return must never press one.
    for (QPushButton* button : {m_buttonSwap, m_buttonCreate}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    PlaceLabel(m_labelBody, du.Rect(7, 9, 25, 8));
    m_editBody->setGeometry(du.Rect(35, 7, 138, 14));
    PlaceLabel(m_labelFace, du.Rect(7, 44, 18, 8));
    m_editFace->setGeometry(du.Rect(35, 42, 138, 14));
    m_buttonSwap->setGeometry(du.Rect(94, 24, 23, 14));
    m_buttonCreate->setGeometry(du.Rect(7, 74, 165, 20));
    setFixedSize(du.X(kWidthUnits), du.Y(kHeightUnits));

    setTabOrder(m_editBody, m_editFace);
    setTabOrder(m_editFace, m_buttonSwap);
    setTabOrder(m_buttonSwap, m_buttonCreate);
    m_editBody->setFocus();

    connect(this, &CMainDialog::runWorkPosted, this, &CMainDialog::OnRunWorkPosted,
            Qt::QueuedConnection);
    connect(this, &CMainDialog::runThreadEnding, this, &CMainDialog::OnRunFinished,
            Qt::QueuedConnection);
    connect(m_buttonSwap, &QPushButton::clicked, this, &CMainDialog::OnSwapButton);
    connect(m_buttonCreate, &QPushButton::clicked, this, &CMainDialog::OnCreateButton);
    ReturnEscapeFilter::InstallOn(this);
    UpdateData(false);
}

CMainDialog::~CMainDialog() {
    m_bDestroying = true;
    StopAndJoin();
}

void CMainDialog::SetProgressWindow(CProgressDialog* progress) {
    m_progress = progress;
}

void CMainDialog::SetRunJob(RunJob job) {
    m_runJob = std::move(job);
}

void CMainDialog::UpdateData(bool saveAndValidate) {
    if (saveAndValidate) {
        m_strBody = ToLocaleBytes(m_editBody->text());
        m_strFace = ToLocaleBytes(m_editFace->text());
    } else {
        m_editBody->setText(FromLocaleBytes(m_strBody));
        m_editFace->setText(FromLocaleBytes(m_strFace));
    }
}

void CMainDialog::OnSwapButton() {
    UpdateData(true);
    std::swap(m_strBody, m_strFace);
    UpdateData(false);
}

void CMainDialog::OnCreateButton() {
    if (m_bRunning) {
        return;
    }
    // Disabled here, before the run thread exists, so no second press can slip in.
    m_buttonCreate->setEnabled(false);
    UpdateData(true);
    m_bRunning = true;
    m_stop.Reset();
    m_bThreadDone = false;
    m_runThread = std::thread([this, job = m_runJob, body = m_strBody, face = m_strFace] {
        try {
            if (job) {
                job(*this, body, face);
            }
        } catch (...) {
            // Nothing may escape a thread. Tell the user instead of ending silently; the run's
            // module was unloaded on the way out, and the work folder and whatever is left in
            // it go when the program ends.
            SendProgressStep(kProgressHide);
            ShowMessage(kUnexpectedFailureText, MessageKind::Warning);
        }
        {
            std::lock_guard<std::mutex> lock(m_handOffMutex);
            m_bThreadDone = true;
        }
        m_handOffPosted.notify_all();
        emit runThreadEnding();
    });
}

void CMainDialog::OnRunFinished() {
    if (m_bDestroying || !m_runThread.joinable()) {
        return;
    }
    m_runThread.join();
    m_bRunning = false;
    m_buttonCreate->setEnabled(true);
    emit runFinished();
    if (m_bClosePending) {
        m_bClosePending = false;
        done(QDialog::Rejected);
    }
}

void CMainDialog::StopAndJoin() {
    if (!m_runThread.joinable()) {
        return;
    }
    m_stop.Request();
    std::unique_lock<std::mutex> lock(m_handOffMutex);
    for (;;) {
        m_handOffPosted.wait(lock, [this] { return m_pendingWork != nullptr || m_bThreadDone; });
        if (m_pendingWork == nullptr) {
            break;
        }
        // A call the run made before it saw the stop is waiting for this thread: let it
        // through without touching a window, else the run could never end.
        m_pendingWork = nullptr;
        m_handOffDone.notify_all();
    }
    lock.unlock();
    m_runThread.join();
}

void CMainDialog::closeEvent(QCloseEvent* event) {
    if (!m_bRunning) {
        QDialog::closeEvent(event);
        return;
    }
    // The run's request in flight ends at once and the run cleans up after itself; the windows
    // go away now and the dialog finishes once the run thread has ended.
    m_stop.Request();
    m_bClosePending = true;
    if (m_progress) {
        m_progress->OnProgressStep(kProgressHide);
    }
    hide();
    event->ignore();
}

void CMainDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_bFrontTimerStarted) {
        m_bFrontTimerStarted = true;
        m_nTimer = startTimer(kFrontDelayMs);
    }
}

void CMainDialog::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_nTimer) {
        QDialog::timerEvent(event);
        return;
    }
    killTimer(m_nTimer);
    raise();
    activateWindow();
}

void CMainDialog::SetStopAction(std::function<void()> action) {
    m_stop.SetAction(std::move(action));
}

void CMainDialog::OnGuiThread(const std::function<void()>& work) {
    if (m_stop.Requested()) {
        return;
    }
    if (QThread::currentThread() == thread()) {
        work();
        return;
    }
    // A synchronous call onto the GUI thread: posted as a queued slot call, then waited for.
    std::unique_lock<std::mutex> lock(m_handOffMutex);
    m_pendingWork = &work;
    m_handOffPosted.notify_all();
    emit runWorkPosted();
    m_handOffDone.wait(lock, [this] { return m_pendingWork == nullptr; });
}

void CMainDialog::OnRunWorkPosted() {
    const std::function<void()>* work = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_handOffMutex);
        work = m_pendingWork;
    }
    if (work == nullptr) {
        return;
    }
    // Run without the lock: the work may open a modal box with an event loop of its own.
    if (!m_stop.Requested()) {
        (*work)();
    }
    {
        std::lock_guard<std::mutex> lock(m_handOffMutex);
        m_pendingWork = nullptr;
    }
    m_handOffDone.notify_all();
}

void CMainDialog::SendProgressStep(int step) {
    OnGuiThread([this, step] {
        if (m_progress) {
            m_progress->OnProgressStep(step);
        }
    });
}

void CMainDialog::ShowMessage(const std::string& text, MessageKind kind) {
    OnGuiThread([this, &text, kind] { MessageBox::Show(this, ShownText(text), kind); });
}

void CMainDialog::ShowMessageWithDetails(const std::string& text, MessageKind kind,
                                         const std::string& details) {
    OnGuiThread([this, &text, kind, &details] {
        MessageBox::Show(this, ShownText(text), kind, QString::fromUtf8(details));
    });
}

void CMainDialog::BringMainWindowToFront() {
    OnGuiThread([this] {
        if (windowState() & Qt::WindowMinimized) {
            setWindowState(windowState() & ~Qt::WindowMinimized);
        }
        raise();
        activateWindow();
    });
}

std::optional<std::string> CMainDialog::AskSavePath() {
    return AskSave(nullptr);
}

std::optional<std::string> CMainDialog::AskSavePathFor(PortraitPreview& portrait) {
    return AskSave(&portrait);
}

std::optional<std::string> CMainDialog::AskSave(PortraitPreview* portrait) {
    std::optional<std::string> path;
    OnGuiThread([this, &path, portrait] {
        CFileDialogTitle dialog(false, QStringLiteral(".jpg"), QString(), QFileDialog::Options(),
                                ShownText(kSaveFilterText), this);
        dialog.setObjectName(QStringLiteral("saveDialog"));
        dialog.m_strTitle = ShownText(kSaveDialogTitleText);
        CPreviewPane* pane = nullptr;
        if (portrait) {
            pane = new CPreviewPane(*portrait, &dialog);
            dialog.SetSideWidget(pane);
        }
        const bool accepted = dialog.DoModal() == QDialog::Accepted;
        if (pane) {
            // What is saved is what the pane shows once a portrait still being made is there.
            pane->Finish();
            portrait->Choose(pane->Shown());
        }
        if (accepted) {
            const QString chosen = dialog.GetPathName();
            if (!chosen.isEmpty()) {
                path = QFile::encodeName(chosen).toStdString();
            }
        }
    });
    return path;
}

void CMainDialog::EnableCreate(bool enabled) {
    OnGuiThread([this, enabled] {
        // While the run thread lives Create stays disabled; it is enabled once the thread
        // has ended, so a new run never overlaps the end of the last one.
        if (!enabled || !m_bRunning) {
            m_buttonCreate->setEnabled(enabled);
        }
    });
}

}  // namespace norvo
