#include "app/gui/CProgressDialog.h"

#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <algorithm>

#include "app/RunView.h"
#include "app/gui/DialogUnits.h"
#include "app/gui/LocaleText.h"
#include "app/gui/ReturnEscapeFilter.h"
#include "app/gui/WindowTexts.h"

namespace norvo {

namespace {

// Window size and controls in dialog units.
constexpr int kWidthUnits = 187;
constexpr int kHeightUnits = 74;

}  // namespace

CProgressDialog::CProgressDialog(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("norvo_progress"));
    setWindowTitle(QStringLiteral("norvo_progress"));
    setFont(DialogUnits::DialogFont());
    const DialogUnits du = DialogUnits::ForFont(font());

    // A frameless window still wants a visible edge.
    auto* border = new QFrame(this);
    border->setObjectName(QStringLiteral("frameBorder"));
    border->setFrameShape(QFrame::Box);
    border->setGeometry(0, 0, du.X(kWidthUnits), du.Y(kHeightUnits));

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progressBar"));
    m_progress->setRange(0, kFullStep);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_progress->setGeometry(du.Rect(7, 53, 173, 14));

    m_labelBusy = new QLabel(ShownText(kBusyLabelText), this);
    m_labelBusy->setObjectName(QStringLiteral("labelBusy"));
    QRect busy = du.Rect(85, 25, 25, 8);
    // The text must not be clipped when the font runs wider than the layout assumed.
    busy.setWidth(std::max(busy.width(), m_labelBusy->sizeHint().width()));
    busy.setHeight(std::max(busy.height(), m_labelBusy->sizeHint().height()));
    m_labelBusy->setGeometry(busy);

    setFixedSize(du.X(kWidthUnits), du.Y(kHeightUnits));
    ReturnEscapeFilter::InstallOn(this);
    Park();
}

void CProgressDialog::SetMainWindow(QWidget* mainWindow) {
    m_mainWindow = mainWindow;
}

void CProgressDialog::OnProgressStep(int step) {
    Apply(step);
    emit stepHandled(step);
}

void CProgressDialog::Apply(int step) {
    if (step == kProgressHide) {
        m_progress->setValue(0);
        hide();
        Park();
        return;
    }
    if (step == kFullStep) {
        m_progress->setValue(kFullStep);
        return;
    }
    if (step < kFirstStep || step > kLastShownStep) {
        return;
    }
    m_progress->setValue(step);
    if (m_mainWindow) {
        // Centred on the main window's outer rectangle (right and bottom one past the edge)
        // for the assumed size; integer division truncates toward zero as intended.
        const QRect frame = m_mainWindow->frameGeometry();
        const int left = frame.x();
        const int top = frame.y();
        const int right = frame.x() + frame.width();
        const int bottom = frame.y() + frame.height();
        move((left + right - kAssumedWidth) / 2, (top + bottom - kAssumedHeight) / 2);
    }
    show();
    raise();
    activateWindow();
}

int CProgressDialog::Position() const {
    return m_progress->value();
}

void CProgressDialog::Park() {
    move(kParkPosition);
}

}  // namespace norvo
